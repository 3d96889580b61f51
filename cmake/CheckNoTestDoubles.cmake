# Fails when a program binary holds a test double: the recording Direct3D object, device or font
# belongs to the tests, and the program draws through the real device only.
#
# cmake -DBINARY=<file> [-DNM=<nm>] -P CheckNoTestDoubles.cmake
if(NOT BINARY)
  message(FATAL_ERROR "CheckNoTestDoubles: BINARY is required")
endif()
if(NOT NM)
  set(NM nm)
endif()

execute_process(COMMAND ${NM} -C ${BINARY} RESULT_VARIABLE result OUTPUT_VARIABLE symbols
                ERROR_VARIABLE errors)
# A binary without symbols proves nothing: the check must see the program's own names.
if(NOT result EQUAL 0 OR NOT symbols MATCHES "hv::")
  message(FATAL_ERROR "CheckNoTestDoubles: cannot read the symbols of ${BINARY}: ${errors}")
endif()

string(REGEX MATCHALL "[^\n]*Recording[^\n]*" doubles "${symbols}")
if(doubles)
  list(LENGTH doubles count)
  list(SUBLIST doubles 0 5 first)
  list(JOIN first "\n  " first)
  message(NOTICE "Test doubles found: ${count} symbols")
  message(FATAL_ERROR "${BINARY} holds ${count} symbols of test doubles, among them:\n  ${first}")
endif()
