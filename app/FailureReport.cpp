#include "app/FailureReport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "platform/halt.h"
#include "platform/system.h"
#include "platform/win32/win32.h"

namespace hv {

std::string EscapeControlBytes(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x20 && byte != 0x7F) || c == '\t' || c == '\r' || c == '\n') {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string FormatFailureReport(const std::string& className, const std::string& module,
                                const void* address, const std::string& message) {
    char where[32];
    std::snprintf(where, sizeof where, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(address));
    const char* end =
        !message.empty() && static_cast<unsigned char>(message.back()) > '.' ? "." : "";
    return "Exception " + className + " in module " + module + " at " + where + ".\r\n" +
           EscapeControlBytes(message) + end + "\r\n";
}

namespace {

// Enough for the report, the message box's text on standard error and the log footers.
constexpr size_t kFailureReserveBytes = 4 << 20;
void* failureReserve = nullptr;

}  // namespace

void ReserveFailureMemory() {
    if (failureReserve) return;
    failureReserve = std::malloc(kFailureReserveBytes);
    // One byte of every page touched, so that the pages are the program's own and not only
    // promised; writing every byte cost more than ten milliseconds of every start.
    constexpr size_t kPage = 4096;  // the smallest page of the systems the game runs on
    if (failureReserve)
        for (size_t at = 0; at < kFailureReserveBytes; at += kPage)
            static_cast<volatile char*>(failureReserve)[at] = 0;
}

void ShowFailureAndHalt(const char* className, const char* message, const void* address) noexcept {
    std::free(failureReserve);
    failureReserve = nullptr;
    try {
        const std::string text = FormatFailureReport(className, ModuleName(), address, message);
        MessageBox(nullptr, text, "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    } catch (...) {
        std::fprintf(stderr, "Application Error\nException %s: %s\n", className, message);
    }
    Halt(1);
}

}  // namespace hv
