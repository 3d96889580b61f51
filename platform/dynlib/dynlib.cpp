#include "platform/dynlib/dynlib.h"

#include <dlfcn.h>

namespace hv {
namespace {

thread_local std::string lastError;

void TakeError() {
    const char* e = dlerror();
    lastError = e ? e : "unknown dynamic loader error";
}

}  // namespace

HMODULE LoadLibrary(const std::string& name) {
    dlerror();
    // RTLD_GLOBAL: C modules that a script loads through require() expect the interpreter's
    // entry points to be visible to them, as they are when the interpreter is linked in.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle) {
        lastError.clear();
    } else {
        TakeError();
    }
    return handle;
}

void* GetProcAddress(HMODULE module, const char* name) {
    if (!module) {
        lastError = "no library loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(module, name);
    // A symbol may legitimately have the address 0 only for special symbols; the host looks up
    // functions, so a null address is a failure whether or not dlerror() has a text.
    if (address) {
        lastError.clear();
    } else {
        TakeError();
    }
    return address;
}

bool FreeLibrary(HMODULE module) {
    if (!module) return false;
    dlerror();
    if (dlclose(module) != 0) {
        TakeError();
        return false;
    }
    lastError.clear();
    return true;
}

std::string LastLibraryError() {
    return lastError;
}

}  // namespace hv
