// Run-time loading of shared libraries, in the shape of the Windows module calls the host uses
// (load a library, look up an entry point by name, free the library), over the dynamic loader.
#pragma once

#include <string>

namespace hv {

// An opaque handle of a loaded library; nullptr means "none".
using HMODULE = void*;

// Loads a shared library with every symbol resolved at once. A name with a "/" is a path; a bare
// name is looked up along the dynamic loader's search path (LD_LIBRARY_PATH, the cache, the
// system folders). Returns nullptr on failure; LastLibraryError() then says why.
HMODULE LoadLibrary(const std::string& name);

// The address of the exported symbol `name` of `module`, or nullptr when it is not exported
// (LastLibraryError() then says why).
void* GetProcAddress(HMODULE module, const char* name);

// Releases a handle from LoadLibrary; the library is unmapped once its last handle is released.
// True on success. A nullptr handle does nothing and reports false.
bool FreeLibrary(HMODULE module);

// The loader's text for the last failure of the three calls above in this thread; empty when the
// last call succeeded.
std::string LastLibraryError();

}  // namespace hv
