// The top-level failure report: what the player sees when an exception reaches the program's
// entry unhandled.
#pragma once

#include <string>

namespace hv {

// "Exception CLASS in module MODULE at ADDRESS.\r\nMESSAGE.\r\n": the address in eight or more
// upper-case hexadecimal digits; the "." after the message only when its last character sorts
// above "." (letters, digits, ":"), so a message ending in ".", "!" or ")" gets none.
std::string FormatFailureReport(const std::string& className, const std::string& module,
                                const void* address, const std::string& message);

// Shows the report in a message box titled "Application Error" (also on standard error), then
// ends the program with exit code 1 after the program-wide finalisation (the log footers).
[[noreturn]] void ShowFailureAndHalt(const std::string& className, const std::string& message,
                                     const void* address);

}  // namespace hv
