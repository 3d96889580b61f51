// The top-level failure report: what the player sees when an exception reaches the program's
// entry unhandled.
#pragma once

#include <string>

namespace hv {

// The text with every control byte other than tab, CR and LF written as \xNN (upper-case hex),
// so that a message quoting binary bytes (a script bundle read with the wrong key) stays
// readable and cannot drive the terminal it is printed on.
std::string EscapeControlBytes(const std::string& text);

// "Exception CLASS in module MODULE at ADDRESS.\r\nMESSAGE.\r\n": the address in eight or more
// upper-case hexadecimal digits; the "." after the message only when its last character sorts
// above "." (letters, digits, ":"), so a message ending in ".", "!" or ")" gets none; the
// message's control bytes escaped (the rule for the "." still looks at the byte itself).
std::string FormatFailureReport(const std::string& className, const std::string& module,
                                const void* address, const std::string& message);

// Sets memory aside for the failure report; called once at start. The report frees it first, so
// that a program that has run out of memory can still show its report and write the log footers.
void ReserveFailureMemory();

// Shows the report in a message box titled "Application Error" (also on standard error), then
// ends the program with exit code 1 after the program-wide finalisation (the log footers).
// Takes plain text so that a caller inside a catch handler allocates nothing; when even the
// report cannot be made, its first line still reaches standard error. Never throws.
[[noreturn]] void ShowFailureAndHalt(const char* className, const char* message,
                                     const void* address) noexcept;

}  // namespace hv
