// The Windows description of the operating system ("Microsoft Windows XP Professional Service
// Pack 2 (Build 2600)"), built from the version record a Windows build would query. On Linux
// the log reports the distribution instead (platform/sysinfo); this is the Windows rule, kept
// as a pure function.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hv {

constexpr uint32_t VER_PLATFORM_WIN32s = 0;
constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

constexpr uint8_t VER_NT_WORKSTATION = 1;
constexpr uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
constexpr uint8_t VER_NT_SERVER = 3;

constexpr uint16_t VER_SUITE_ENTERPRISE = 0x0002;
constexpr uint16_t VER_SUITE_DATACENTER = 0x0080;
constexpr uint16_t VER_SUITE_PERSONAL = 0x0200;
constexpr uint16_t VER_SUITE_BLADE = 0x0400;

// What the version query gave.
struct TWinVersionInfo {
    uint32_t PlatformId = VER_PLATFORM_WIN32_NT;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    std::string CSDVersion;  // service-pack text, e.g. "Service Pack 2"
    // Product type and suite mask are known only when the system accepted the extended record.
    bool ExtendedRecord = false;
    uint8_t ProductType = 0;
    uint16_t SuiteMask = 0;
    // The hotfix key of Service Pack 6a could be opened for querying.
    bool HotfixQ246009 = false;
};

// The description; empty when the query failed (no record) or for an unknown platform.
std::string GetWindowsVersionText(const std::optional<TWinVersionInfo>& info);

}  // namespace hv
