#include "app/FailureReport.h"

#include <cinttypes>
#include <cstdio>

#include "platform/halt.h"
#include "platform/system.h"
#include "platform/win32/win32.h"

namespace hv {

std::string FormatFailureReport(const std::string& className, const std::string& module,
                                const void* address, const std::string& message) {
    char where[32];
    std::snprintf(where, sizeof where, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(address));
    const char* end =
        !message.empty() && static_cast<unsigned char>(message.back()) > '.' ? "." : "";
    return "Exception " + className + " in module " + module + " at " + where + ".\r\n" + message +
           end + "\r\n";
}

void ShowFailureAndHalt(const std::string& className, const std::string& message,
                        const void* address) {
    const std::string text = FormatFailureReport(className, ModuleName(), address, message);
    MessageBox(nullptr, text, "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    Halt(1);
}

}  // namespace hv
