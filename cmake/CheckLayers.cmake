# Fails when a source file of a folder above platform/ includes a header of SDL, OpenGL, X11, the
# dynamic loader or another system interface: only platform/ speaks to the system, and the others
# reach it through platform/'s own headers.
#
# With ORDER, also fails when a folder includes a header of a folder on its own floor or above:
# ORDER names the floors from the bottom, separated by "/", the folders of a floor by ","
# (platform/support,log/lua,engine3d,d3dapp/main/app). Includes that only point down keep the
# graph of the folders free of cycles.
#
# cmake -DROOT=<source folder> -DFOLDERS=support,log,... [-DORDER=...] [-DSTAMP=<file>]
#       -P CheckLayers.cmake
# STAMP, when given, is touched after a clean check (the build's record that it ran).
if(NOT ROOT OR NOT FOLDERS)
  message(FATAL_ERROR "CheckLayers: ROOT and FOLDERS are required")
endif()

# Headers by folder (SDL2/, GL/, X11/, ...) or by name (POSIX and Linux interfaces).
set(system_folders "SDL2|GL|GLES|GLES2|GLES3|EGL|KHR|epoxy|X11|xcb|alsa|fontconfig|vorbis|sys|netinet|arpa|linux|asm")
set(system_names "SDL|SDL_[A-Za-z0-9_]+|dlfcn|unistd|fcntl|pthread|dirent|poll|termios|pwd|grp|spawn|sched|semaphore|syslog|libgen|fnmatch|glob|wordexp|strings|langinfo|iconv|ucontext|execinfo|link|elf|stb_[a-z_]+")
set(forbidden "^((${system_folders})/.*|(${system_names})\\.h)$")

string(REPLACE "," ";" FOLDERS "${FOLDERS}")
set(offences "")
foreach(folder IN LISTS FOLDERS)
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.cpp
       ${ROOT}/${folder}/*.c)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
      if(header MATCHES "${forbidden}")
        file(RELATIVE_PATH where ${ROOT} ${source})
        string(APPEND offences "\n  ${where}: ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(offences)
  message(FATAL_ERROR "Only platform/ may include system headers; found:${offences}")
endif()

if(ORDER)
  string(REPLACE "/" ";" floors "${ORDER}")
  set(floor 0)
  set(named "")
  foreach(members IN LISTS floors)
    string(REPLACE "," ";" members "${members}")
    foreach(folder IN LISTS members)
      set(floor_of_${folder} ${floor})
      list(APPEND named ${folder})
    endforeach()
    math(EXPR floor "${floor} + 1")
  endforeach()
  string(REPLACE ";" "|" named_alternatives "${named}")
  foreach(folder IN LISTS named)
    file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    foreach(source IN LISTS sources)
      file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${named_alternatives})/")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^/]+)/.*$" "\\1" target "${line}")
        if(NOT target STREQUAL folder AND
           NOT floor_of_${target} LESS floor_of_${folder})
          file(RELATIVE_PATH where ${ROOT} ${source})
          string(APPEND offences "\n  ${where}: ${target}/")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(offences)
    message(FATAL_ERROR "A folder may include only the folders below it (${ORDER}); found:${offences}")
  endif()
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
