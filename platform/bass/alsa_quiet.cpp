#include "platform/bass/alsa_quiet.h"

#include <dlfcn.h>

namespace hv {

namespace {

// ALSA's error handler type (alsa/error.h), declared here so that building needs no ALSA headers.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int err,
                                  const char* fmt, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

void Quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void SilenceAlsaErrors() {
    static const bool done = [] {
        // Never closed: unloading would bring back ALSA's default printing for SDL.
        void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
        if (!alsa) return false;
        auto set =
            reinterpret_cast<SetAlsaErrorHandler>(::dlsym(alsa, "snd_lib_error_set_handler"));
        return set && set(&Quiet) == 0;
    }();
    (void)done;
}

}  // namespace hv
