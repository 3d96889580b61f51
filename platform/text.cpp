#include "platform/text.h"

namespace hv {

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the page equals Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

size_t Utf8SequenceLength(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // overlong
        if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;  // overlong
        if (c == 0xF4) hi = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

size_t NextCharacter(std::string_view text, size_t i) {
    const size_t n = Utf8SequenceLength(text, i);
    return i + (n ? n : 1);
}

uint32_t Cp1252ToUnicode(uint8_t b) {
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

std::vector<uint32_t> DecodeText(std::string_view text) {
    std::vector<uint32_t> out;
    DecodeTextInto(text, out);
    return out;
}

void DecodeTextInto(std::string_view text, std::vector<uint32_t>& out) {
    out.clear();
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t n = Utf8SequenceLength(text, i);
        const auto b = static_cast<unsigned char>(text[i]);
        if (n <= 1) {
            out.push_back(n == 1 ? b : Cp1252ToUnicode(b));
            ++i;
            continue;
        }
        uint32_t cp = b & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
}

std::string EncodeUtf8(char32_t ch) {
    if ((ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF) ch = 0xFFFD;
    std::string text;
    if (ch < 0x80) {
        text += char(ch);
    } else if (ch < 0x800) {
        text += char(0xC0 | (ch >> 6));
        text += char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        text += char(0xE0 | (ch >> 12));
        text += char(0x80 | ((ch >> 6) & 0x3F));
        text += char(0x80 | (ch & 0x3F));
    } else {
        text += char(0xF0 | (ch >> 18));
        text += char(0x80 | ((ch >> 12) & 0x3F));
        text += char(0x80 | ((ch >> 6) & 0x3F));
        text += char(0x80 | (ch & 0x3F));
    }
    return text;
}

}  // namespace hv
