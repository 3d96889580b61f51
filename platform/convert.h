// Conversions between text and numbers as the host's messages and files expect them. Every
// function here is independent of the process locale: numbers are written and read with ".".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hv {

// Strict integer reading: optional leading blanks, an optional "+" or "-", then decimal digits
// or a hexadecimal form introduced by "$", "0x" or "0X"; nothing may follow. Values outside the
// 32-bit signed range fail. Throws EConvertError "'TEXT' is not a valid integer value".
int32_t StrToInt(std::string_view text);
// As StrToInt for 64-bit values (hexadecimal takes the full 64 bits).
int64_t StrToInt64(std::string_view text);
// As StrToInt, but reports success instead of throwing; `value` is untouched on failure.
bool TryStrToInt(std::string_view text, int32_t& value);
// Lenient integer reading that never throws: blanks, sign and the same number forms as
// StrToInt, read as far as they go; text that does not start a number gives 0, trailing
// text is ignored and values beyond the 32-bit range saturate.
int32_t StrToIntLenient(std::string_view text);

// "True"/"False" in any letter case, or a number (0 is false, anything else true).
// Throws EConvertError "'TEXT' is not a valid boolean value" for anything else.
bool StrToBool(std::string_view text);
// "True" or "False".
const char* BoolToStr(bool value);

std::string IntToStr(int64_t value);
// Shortest general form with up to 15 significant digits and "." as decimal separator:
// 1.5 -> "1.5", 100 -> "100", 1e20 -> "1E20", 0.00001 -> "1E-5".
std::string FloatToStr(double value);
// Reads a decimal number with "." as separator (optional exponent); false if the whole text,
// blanks around it aside, is not a number.
bool TryStrToFloat(std::string_view text, double& value);

// Nearest integer, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, -2.5 -> -2).
int64_t RoundHalfEven(double value);

}  // namespace hv
