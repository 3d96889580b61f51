#include "log/WinVer.h"

#include <cctype>

namespace hv {
namespace {

bool SameTextAscii(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == 0;
}

std::string Windows9x(const TWinVersionInfo& v) {
    char sp = v.CSDVersion.size() >= 2 ? v.CSDVersion[1] : '\0';
    if (v.MajorVersion == 4 && v.MinorVersion == 0) {
        std::string s = "Microsoft Windows 95";
        if (sp == 'B' || sp == 'C') s += " OSR2";
        return s;
    }
    if (v.MajorVersion == 4 && v.MinorVersion == 10) {
        std::string s = "Microsoft Windows 98";
        if (sp == 'A') s += " SE";
        return s;
    }
    if (v.MajorVersion == 4 && v.MinorVersion == 90) return "Microsoft Windows Millennium Edition";
    return std::string();
}

std::string WindowsNT(const TWinVersionInfo& v) {
    const uint32_t major = v.MajorVersion, minor = v.MinorVersion;
    std::string s;
    if (major == 5 && minor == 2)
        s = "Microsoft Windows Server 2003";
    else if (major == 5 && minor == 1)
        s = "Microsoft Windows XP";
    else if (major == 5 && minor == 0)
        s = "Microsoft Windows 2000";
    else
        s = "Microsoft Windows NT";

    if (v.ExtendedRecord) {
        const uint16_t suite = v.SuiteMask;
        if (v.ProductType == VER_NT_WORKSTATION) {
            if (major == 4)
                s += " Workstation 4.0";
            else if (suite & VER_SUITE_PERSONAL)
                s += " Home Edition";
            else
                s += " Professional";
        } else if (v.ProductType == VER_NT_SERVER) {
            if (major == 5 && minor == 2) {
                if (suite & VER_SUITE_DATACENTER)
                    s += " Datacenter Edition";
                else if (suite & VER_SUITE_ENTERPRISE)
                    s += " Enterprise Edition";
                else if (suite == VER_SUITE_BLADE)
                    s += " Web Edition";
                else
                    s += " Standard Edition";
            } else if (major == 5 && minor == 0) {
                if (suite & VER_SUITE_DATACENTER)
                    s += " Datacenter Server";
                else if (suite & VER_SUITE_ENTERPRISE)
                    s += " Advanced Server";
                else
                    s += " Server";
            } else {
                s += " Server " + std::to_string(major) + "." + std::to_string(minor);
                if (suite & VER_SUITE_ENTERPRISE) s += ", Enterprise Edition";
            }
        }
    }

    if (major == 4 && SameTextAscii(v.CSDVersion, "Service Pack 6") && v.HotfixQ246009)
        s += " Service Pack 6a";
    else
        s += " " + v.CSDVersion;  // the blank is written even without a service pack

    s += " (Build " + std::to_string(v.BuildNumber & 0xFFFFu) + ")";
    return s;
}

}  // namespace

std::string GetWindowsVersionText(const std::optional<TWinVersionInfo>& info) {
    if (!info) return std::string();
    switch (info->PlatformId) {
        case VER_PLATFORM_WIN32s:
            return "Microsoft Win32s";
        case VER_PLATFORM_WIN32_WINDOWS:
            return Windows9x(*info);
        case VER_PLATFORM_WIN32_NT:
            return WindowsNT(*info);
        default:
            return std::string();
    }
}

}  // namespace hv
