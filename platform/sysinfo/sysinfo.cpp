#include "platform/sysinfo/sysinfo.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define HV_HAS_CPUID 1
#endif

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/files.h"

namespace hv {

bool CpuidAvailable() {
#ifdef HV_HAS_CPUID
    // __get_cpuid_max tests the ID flag of the flags register where that is needed (i386) and
    // gives 0 when CPUID is missing.
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
}

std::optional<CpuidRegs> Cpuid(uint32_t leaf) {
#ifdef HV_HAS_CPUID
    if (!CpuidAvailable()) return std::nullopt;
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, 0, a, b, c, d);
    return CpuidRegs{a, b, c, d};
#else
    (void)leaf;
    return std::nullopt;
#endif
}

std::optional<uint64_t> TotalPhysicalMemory() {
    struct sysinfo si {};
    if (::sysinfo(&si) != 0) return std::nullopt;
    return uint64_t(si.totalram) * uint64_t(si.mem_unit ? si.mem_unit : 1);
}

std::optional<uint64_t> DiskFreeBytes(std::string_view hostPath) {
    std::string path = ResolvePath(hostPath);
    if (path.empty()) path.push_back('.');  // the current folder
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
    uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    return uint64_t(st.f_bfree) * unit;
}

std::string OsReleasePrettyName(std::string_view text) {
    std::string result;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        std::string_view l(line);
        l.remove_prefix(start);
        constexpr std::string_view key = "PRETTY_NAME=";
        if (l.substr(0, key.size()) != key) continue;
        std::string_view v = l.substr(key.size());
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
        result.clear();
        // Shell-style value: unquoted, '...' taken as is, or "..." with backslash escapes.
        if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') {
            result = v.substr(1, v.size() - 2);
        } else if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
            v = v.substr(1, v.size() - 2);
            for (size_t i = 0; i < v.size(); ++i) {
                if (v[i] == '\\' && i + 1 < v.size() &&
                    std::string_view("\"\\$`").find(v[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                result += v[i];
            }
        } else {
            result = v;
        }
        // A later assignment of the same key wins, as when the file is sourced.
    }
    return result;
}

std::optional<std::string> OperatingSystemName() {
    std::string pretty;
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(file, std::ios::binary);
        if (!in) continue;
        std::stringstream buf;
        buf << in.rdbuf();
        pretty = OsReleasePrettyName(buf.str());
        break;
    }
    if (pretty.empty()) pretty = "Linux";
    struct utsname u {};
    if (::uname(&u) != 0) return pretty;
    return pretty + " (Kernel " + u.release + ")";
}

LocalTime LocalNow() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t secs = system_clock::to_time_t(now);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    if (ms < 0) ms += 1000;
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    LocalTime t;
    t.Year = tm.tm_year + 1900;
    t.Month = tm.tm_mon + 1;
    t.Day = tm.tm_mday;
    t.DayOfWeek = tm.tm_wday;
    t.Hour = tm.tm_hour;
    t.Minute = tm.tm_min;
    t.Second = tm.tm_sec;
    t.Millisecond = int(ms);
    return t;
}

namespace {

// One name from the user's time locale, or `fallback` when the locale cannot be had.
std::string LocaleItem(nl_item item, const char* fallback) {
    locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return fallback;
    const char* s = ::nl_langinfo_l(item, loc);
    std::string result = (s && *s) ? s : fallback;
    ::freelocale(loc);
    return result;
}

constexpr const char* kDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

}  // namespace

std::string LocaleDayName(int dayOfWeek, bool abbreviated) {
    dayOfWeek = ((dayOfWeek % 7) + 7) % 7;
    std::string fallback = kDays[dayOfWeek];
    if (abbreviated) fallback.resize(3);
    nl_item item = abbreviated ? ABDAY_1 + dayOfWeek : DAY_1 + dayOfWeek;
    return LocaleItem(item, fallback.c_str());
}

std::string LocaleMonthName(int month, bool abbreviated) {
    if (month < 1 || month > 12) return std::string();
    std::string fallback = kMonths[month - 1];
    if (abbreviated) fallback.resize(3);
    nl_item item = abbreviated ? ABMON_1 + (month - 1) : MON_1 + (month - 1);
    return LocaleItem(item, fallback.c_str());
}

}  // namespace hv
