// The machine description: processor text from CPUID leaves, the Windows version rule, the
// Linux probes, and the plain script log file.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "log/CPUInfo.h"
#include "log/ScriptLogFile.h"
#include "log/WinVer.h"
#include "log_test_util.h"

using namespace hv;

namespace {

// A processor described by its CPUID leaves; leaves it lacks read as zero, as on real parts.
struct FakeCpu {
    std::map<uint32_t, CpuidRegs> leaves;
    bool available = true;
    int calls = 0;
    CpuidFunction Fn() {
        return [this](uint32_t leaf) -> std::optional<CpuidRegs> {
            ++calls;
            if (!available) return std::nullopt;
            auto it = leaves.find(leaf);
            return it == leaves.end() ? CpuidRegs{} : it->second;
        };
    }
    void Brand(const char* text) {
        char bytes[48] = {};
        std::memcpy(bytes, text, std::min<size_t>(std::strlen(text), 48));
        leaves[0x80000000u][0] = 0x80000004u;
        for (uint32_t i = 0; i < 3; ++i) {
            CpuidRegs r;
            std::memcpy(r.data(), bytes + 16 * i, 16);
            leaves[0x80000002u + i] = r;
        }
    }
};

}  // namespace

TEST(CPUInfo, BrandAndFeaturesFromTheLeaves) {
    FakeCpu p4;
    p4.leaves[0] = {2, 0, 0, 0};
    p4.leaves[1] = {0, 0, 0, (1u << 8) | (1u << 15) | (1u << 23) | (1u << 25) | (1u << 26)};
    p4.Brand("              Intel(R) Pentium(R) 4 CPU 3.00GHz");
    const std::string brand = GetCPUBrand(p4.Fn());
    EXPECT_EQ(brand, "              Intel(R) Pentium(R) 4 CPU 3.00GHz");
    TCPUFeatures f = GetCPUFeatures(p4.Fn());
    EXPECT_EQ(f, cfCMPXCHG8B | cfCMOV | cfMMX | cfSSE | cfSSE2);
    EXPECT_EQ(ProcessorDescription(brand, f), "Intel(R) Pentium(R) 4 CPU 3.00GHz (MMX SSE SSE2)");

    // Extended leaves: the AMD words, in their fixed order after the standard ones.
    FakeCpu athlon = p4;
    athlon.leaves[0x80000000u][0] = 0x80000008u;
    athlon.leaves[0x80000001u] = {0, 0, 0, (1u << 22) | (1u << 30) | (1u << 31)};
    f = GetCPUFeatures(athlon.Fn());
    EXPECT_EQ(f, 0xFF);
    EXPECT_EQ(ProcessorDescription("AMD Athlon", f), "AMD Athlon (MMX SSE SSE2 MMX2 3DNow 3DNow2)");

    // A 48-character brand has no terminating zero and is kept whole.
    FakeCpu full;
    full.Brand(std::string(48, 'x').c_str());
    EXPECT_EQ(GetCPUBrand(full.Fn()), std::string(48, 'x'));
}

TEST(CPUInfo, OlderProcessorsAndNoCpuid) {
    FakeCpu old;  // no extended leaves: empty brand, standard features still found
    old.leaves[0] = {1, 0, 0, 0};
    old.leaves[0x80000000u] = {0x80000000u, 0, 0, 0};
    old.leaves[1] = {0, 0, 0, (1u << 23) | (1u << 25) | (1u << 26)};
    old.leaves[0x80000001u] = {0, 0, 0, 0xFFFFFFFFu};  // not reported, so not read
    EXPECT_EQ(GetCPUBrand(old.Fn()), "");
    TCPUFeatures f = GetCPUFeatures(old.Fn());
    EXPECT_EQ(f, cfMMX | cfSSE | cfSSE2);
    EXPECT_EQ(ProcessorDescription("", f), "(MMX SSE SSE2)");
    EXPECT_EQ(ProcessorDescription("  Plain CPU  ", 0), "Plain CPU");

    FakeCpu none;
    none.available = false;
    EXPECT_EQ(GetCPUBrand(none.Fn()), "");
    EXPECT_EQ(GetCPUFeatures(none.Fn()), 0);

    // This machine: the real probe agrees with itself and never throws.
    EXPECT_LE(GetCPUBrand().size(), 48u);
    EXPECT_EQ(Cpuid(0).has_value(), CpuidAvailable());
}

TEST(WinVer, DescriptionsOfTheKnownSystems) {
    auto nt = [](uint32_t major, uint32_t minor, uint32_t build, std::string sp, uint8_t type,
                 uint16_t suite) {
        TWinVersionInfo v;
        v.PlatformId = VER_PLATFORM_WIN32_NT;
        v.MajorVersion = major;
        v.MinorVersion = minor;
        v.BuildNumber = build;
        v.CSDVersion = std::move(sp);
        v.ExtendedRecord = true;
        v.ProductType = type;
        v.SuiteMask = suite;
        return v;
    };
    EXPECT_EQ(GetWindowsVersionText(nt(5, 1, 2600, "Service Pack 2", VER_NT_WORKSTATION, 0)),
              "Microsoft Windows XP Professional Service Pack 2 (Build 2600)");
    EXPECT_EQ(GetWindowsVersionText(nt(5, 0, 2195, "Service Pack 4", VER_NT_SERVER, 0x0002)),
              "Microsoft Windows 2000 Advanced Server Service Pack 4 (Build 2195)");
    TWinVersionInfo nt4 = nt(4, 0, 1381, "service pack 6", VER_NT_WORKSTATION, 0);
    nt4.HotfixQ246009 = true;
    EXPECT_EQ(GetWindowsVersionText(nt4),
              "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)");
    nt4.HotfixQ246009 = false;
    EXPECT_EQ(GetWindowsVersionText(nt4),
              "Microsoft Windows NT Workstation 4.0 service pack 6 (Build 1381)");

    // No service pack: the blank before it is still written. The build keeps its low 16 bits.
    EXPECT_EQ(GetWindowsVersionText(nt(5, 1, 0x0A000A28, "", VER_NT_WORKSTATION, 0x0200)),
              "Microsoft Windows XP Home Edition  (Build 2600)");
    // Later versions are "NT" with edition, service pack and build.
    EXPECT_EQ(GetWindowsVersionText(nt(6, 1, 7601, "Service Pack 1", VER_NT_SERVER, 0x0002)),
              "Microsoft Windows NT Server 6.1, Enterprise Edition Service Pack 1 (Build 7601)");
    EXPECT_EQ(GetWindowsVersionText(nt(6, 0, 6000, "", VER_NT_WORKSTATION, 0)),
              "Microsoft Windows NT Professional  (Build 6000)");
    // Server 2003 editions; the web edition only with the blade bit alone.
    EXPECT_EQ(GetWindowsVersionText(nt(5, 2, 3790, "", VER_NT_SERVER, 0x0400)),
              "Microsoft Windows Server 2003 Web Edition  (Build 3790)");
    EXPECT_EQ(GetWindowsVersionText(nt(5, 2, 3790, "", VER_NT_SERVER, 0x0410)),
              "Microsoft Windows Server 2003 Standard Edition  (Build 3790)");
    EXPECT_EQ(GetWindowsVersionText(nt(5, 2, 3790, "", VER_NT_SERVER, 0x0082)),
              "Microsoft Windows Server 2003 Datacenter Edition  (Build 3790)");
    // Without the extended record there is no edition; a domain controller gets none either.
    TWinVersionInfo basic = nt(5, 1, 2600, "Service Pack 1", VER_NT_WORKSTATION, 0);
    basic.ExtendedRecord = false;
    EXPECT_EQ(GetWindowsVersionText(basic), "Microsoft Windows XP Service Pack 1 (Build 2600)");
    EXPECT_EQ(GetWindowsVersionText(nt(5, 0, 2195, "", VER_NT_DOMAIN_CONTROLLER, 0)),
              "Microsoft Windows 2000  (Build 2195)");

    TWinVersionInfo w9x;
    w9x.PlatformId = VER_PLATFORM_WIN32_WINDOWS;
    w9x.MajorVersion = 4;
    w9x.MinorVersion = 10;
    w9x.BuildNumber = 2222;
    w9x.CSDVersion = " A ";
    EXPECT_EQ(GetWindowsVersionText(w9x), "Microsoft Windows 98 SE");
    w9x.MinorVersion = 0;
    w9x.CSDVersion = " C";
    EXPECT_EQ(GetWindowsVersionText(w9x), "Microsoft Windows 95 OSR2");
    w9x.CSDVersion = "";  // too short to carry the letter
    EXPECT_EQ(GetWindowsVersionText(w9x), "Microsoft Windows 95");
    w9x.MinorVersion = 90;
    EXPECT_EQ(GetWindowsVersionText(w9x), "Microsoft Windows Millennium Edition");
    w9x.MinorVersion = 3;
    EXPECT_EQ(GetWindowsVersionText(w9x), "");

    TWinVersionInfo s;
    s.PlatformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(GetWindowsVersionText(s), "Microsoft Win32s");
    s.PlatformId = 7;
    EXPECT_EQ(GetWindowsVersionText(s), "");
    EXPECT_EQ(GetWindowsVersionText(std::nullopt), "");
}

TEST(LinuxSystem, OsReleaseAndProbes) {
    EXPECT_EQ(OsReleasePrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
                                  "(bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME='Single quoted'\r\n"), "Single quoted");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=Bare\n"), "Bare");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"Say \\\"hi\\\" \\\\o/\"\n"), "Say \"hi\" \\o/");
    EXPECT_EQ(OsReleasePrettyName("# PRETTY_NAME=\"comment\"\nNAME=x\n"), "");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\""), "\"");  // unbalanced: taken as written

    auto os = OperatingSystemName();
    ASSERT_TRUE(os.has_value());
    EXPECT_NE(os->find(" (Kernel "), std::string::npos);
    EXPECT_EQ(os->back(), ')');
    auto memory = TotalPhysicalMemory();
    ASSERT_TRUE(memory.has_value());
    EXPECT_GT(*memory, 16u * 1048576u);
    EXPECT_TRUE(DiskFreeBytes("/").has_value());
    EXPECT_FALSE(DiskFreeBytes("/hv/no/such/folder").has_value());
}

TEST(ScriptLogFile, CreatesAppendsAndSurvivesFailures) {
    hvtest::TempDir dir;
    TScriptLogFile log;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(log.Write("before init"));  // not bound: dropped with a notice
    EXPECT_FALSE(log.Write("again"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;

    { std::ofstream(dir.Path() + "Script.txt") << "stale"; }
    ASSERT_TRUE(log.Init(dir.Path(), "Script.txt"));
    EXPECT_EQ(hvtest::ReadAll(dir.Path() + "Script.txt"), "");  // an existing file is emptied
    EXPECT_TRUE(log.Write("one"));
    EXPECT_TRUE(log.Write(""));
    EXPECT_TRUE(log.Write("two"));
    EXPECT_EQ(hvtest::ReadAll(dir.Path() + "Script.txt"), "one\r\n\r\ntwo\r\n");

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(log.Init(dir.Path() + "Script.txt/", "inner.txt"));  // folder is a file
    EXPECT_FALSE(log.Write("lost"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("inner.txt"), std::string::npos);
}
