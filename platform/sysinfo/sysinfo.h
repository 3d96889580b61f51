// What the host can learn about the machine it runs on: processor identification, memory, disk
// space, the operating system's name, the local time and the user's names for days and months.
// No query throws; what cannot be determined comes back empty.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hv {

// Registers EAX, EBX, ECX, EDX of one CPUID leaf.
using CpuidRegs = std::array<uint32_t, 4>;

// True when the processor has the CPUID instruction (always false off x86).
bool CpuidAvailable();
// The registers of `leaf` (sub-leaf 0); nothing when CPUID is not available.
std::optional<CpuidRegs> Cpuid(uint32_t leaf);

// Installed physical memory in bytes.
std::optional<uint64_t> TotalPhysicalMemory();

// Free bytes in total on the file system holding `hostPath` (not only those available to an
// unprivileged caller).
std::optional<uint64_t> DiskFreeBytes(std::string_view hostPath);

// The distribution's name followed by the kernel release:
// "Debian GNU/Linux 12 (bookworm) (Kernel 6.1.0-27-amd64)". Nothing when neither is known.
std::optional<std::string> OperatingSystemName();
// The PRETTY_NAME value of an os-release text, quotes and escapes removed; empty if absent.
std::string OsReleasePrettyName(std::string_view osReleaseText);

// A local calendar date and time of day.
struct LocalTime {
    int Year = 1899;
    int Month = 12;     // 1..12
    int Day = 30;       // 1..31
    int DayOfWeek = 6;  // 0 = Sunday .. 6 = Saturday
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
LocalTime LocalNow();

// Day and month names in the user's time locale (LC_ALL, LC_TIME, LANG from the environment),
// falling back to English when that locale is not available. Names are UTF-8 when the locale is.
std::string LocaleDayName(int dayOfWeek, bool abbreviated);  // 0 = Sunday
std::string LocaleMonthName(int month, bool abbreviated);    // 1 = January

}  // namespace hv
