// The host's one rule for text bytes: text is UTF-8, and a byte that does not start a valid UTF-8
// sequence is a Windows-1252 character, so texts of older games keep their accented letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Length (2 to 4) of the valid UTF-8 sequence of a non-ASCII character starting at text[i], 1
// for an ASCII byte, 0 when no valid sequence starts there (overlong forms, surrogates and
// values past U+10FFFF are not valid). `i` must be below text.size().
size_t Utf8SequenceLength(std::string_view text, size_t i);

// The index after the character starting at text[i]: a valid sequence or one byte.
size_t NextCharacter(std::string_view text, size_t i);

// The Unicode code point of a Windows-1252 byte (0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the code
// page leaves undefined, map to the control characters of the same value, as Windows does).
uint32_t Cp1252ToUnicode(uint8_t byte);

// The characters of host text as code points, by the rule above.
std::vector<uint32_t> DecodeText(std::string_view text);
// The same into `out`, which is emptied first and keeps its capacity (for callers that decode
// every frame without allocating).
void DecodeTextInto(std::string_view text, std::vector<uint32_t>& out);

// The UTF-8 form of a code point; surrogates and values past U+10FFFF give U+FFFD.
std::string EncodeUtf8(char32_t codePoint);

}  // namespace hv
