#include "platform/convert.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/exceptions.h"

namespace hv {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads blanks, sign, and one number form from `text`. `end` is where reading stopped, `digits`
// how many digits were taken. The magnitude may not pass `hexLimit` (hexadecimal, which takes
// the full width: "$FFFFFFFF" is -1 in 32 bits) or `decLimit` (decimal); past it `overflow` is
// set and the magnitude stays at the limit.
struct NumberScan {
    uint64_t magnitude = 0;
    bool negative = false;
    bool hex = false;
    size_t end = 0;
    size_t digits = 0;
    bool overflow = false;
};

NumberScan ScanInteger(std::string_view text, uint64_t hexLimit, uint64_t decLimit) {
    NumberScan s;
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) s.negative = text[i++] == '-';
    if (i < text.size() && text[i] == '$') {
        s.hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        s.hex = true;
        i += 2;
    }
    const uint64_t base = s.hex ? 16 : 10;
    const uint64_t limit = s.hex ? hexLimit : decLimit;
    for (; i < text.size(); ++i) {
        const int d =
            s.hex ? HexDigit(text[i]) : (std::isdigit((unsigned char)text[i]) ? text[i] - '0' : -1);
        if (d < 0) break;
        ++s.digits;
        if (s.overflow) continue;
        if (s.magnitude > (limit - uint64_t(d)) / base) {
            s.overflow = true;
            s.magnitude = limit;
        } else {
            s.magnitude = s.magnitude * base + uint64_t(d);
        }
    }
    s.end = i;
    return s;
}

constexpr uint64_t kInt32DecLimit = uint64_t(std::numeric_limits<int32_t>::max()) + 1;
constexpr uint64_t kInt64DecLimit = uint64_t(std::numeric_limits<int64_t>::max()) + 1;

// The signed value of a 32-bit scan, before range checks (hexadecimal wraps to 32 bits).
int64_t Value32(const NumberScan& s) {
    const int64_t v = s.hex ? int64_t(int32_t(uint32_t(s.magnitude))) : int64_t(s.magnitude);
    return s.negative ? -v : v;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) {
    const NumberScan s = ScanInteger(text, 0xFFFFFFFFull, kInt32DecLimit);
    if (s.digits == 0 || s.end != text.size() || s.overflow) return false;
    const int64_t v = Value32(s);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    value = int32_t(v);
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return v;
}

int64_t StrToInt64(std::string_view text) {
    const NumberScan s = ScanInteger(text, std::numeric_limits<uint64_t>::max(), kInt64DecLimit);
    if (s.digits == 0 || s.end != text.size() || s.overflow ||
        (!s.hex && !s.negative && s.magnitude == kInt64DecLimit))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return int64_t(s.negative ? ~s.magnitude + 1 : s.magnitude);
}

int32_t StrToIntLenient(std::string_view text) {
    const NumberScan s = ScanInteger(text, 0xFFFFFFFFull, kInt32DecLimit);
    if (s.overflow)
        return s.negative ? std::numeric_limits<int32_t>::min()
                          : std::numeric_limits<int32_t>::max();
    const int64_t v = Value32(s);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return int32_t(v);
}

bool StrToBool(std::string_view text) {
    auto equalsNoCase = [&](std::string_view word) {
        if (text.size() != word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i)
            if (std::tolower((unsigned char)text[i]) != std::tolower((unsigned char)word[i]))
                return false;
        return true;
    };
    if (equalsNoCase("true")) return true;
    if (equalsNoCase("false")) return false;
    double number = 0;
    if (TryStrToFloat(text, number)) return number != 0;
    throw EConvertError("'" + std::string(text) + "' is not a valid boolean value");
}

const char* BoolToStr(bool value) {
    return value ? "True" : "False";
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    // to_chars writes "1e+20" / "1e-05"; the host's form is "1E20" / "1E-5".
    size_t e = s.find('e');
    if (e == std::string::npos) return s;
    std::string mantissa = s.substr(0, e);
    std::string exponent = s.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    size_t first = exponent.find_first_not_of("+-0");
    std::string digits = first == std::string::npos ? "0" : exponent.substr(first);
    return mantissa + "E" + (negative ? "-" : "") + digits;
}

bool TryStrToFloat(std::string_view text, double& value) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    std::string_view t = text.substr(b, e - b);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
    value = v;
    return true;
}

int64_t RoundHalfEven(double value) {
    double r = std::nearbyint(value);  // the default rounding mode rounds halves to even
    if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) return 0;
    return int64_t(r);
}

}  // namespace hv
