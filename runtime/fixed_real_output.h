// Fixed-point output of an extended real: the text of a number in a field of a given
// width with a given number of decimals, or in the exponent form when the decimals
// are negative or the magnitude is too large. The conversion allocates nothing: the
// text and the digit scratch are fixed 256-byte buffers on the stack.
#pragma once

#include <cstdint>

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/text.h"

namespace dartcirc {

inline constexpr std::int32_t LargestTextWidth = 255;
// With a sign, 37 integer digits and the point, the fixed text stays within 255 bytes.
inline constexpr std::int32_t LargestDecimals = 216;
inline constexpr std::int32_t LargestFixedExponent = 35;
// ScaleByPowerOfTen handles |n| below this through its tables.
inline constexpr std::int32_t ScalingLimit = 5120;

// A value a as scaled × 10^exponent with scaled in [1, 16); both are 0 for a zero.
struct DecimalNormal {
  Extended scaled;
  std::int32_t exponent;
};

// chars[0] is the carry slot ('0' or '1'), chars[1] to chars[count] the digits.
inline constexpr std::int32_t MostDigits = 252;  // 36 integer digits and 216 decimals
struct DigitString {
  char chars[256];
};

// The value right-aligned with spaces to the width (a width above 255 counts as 255);
// never fails, never cuts the number.
void FormatFixedReal(Extended value, std::int32_t width, std::int32_t decimals, ShortText& text);

// For a finite a >= 0.
DecimalNormal NormalizeDecimal(Extended a);

// a × 10^n, one rounded product (or quotient for n < 0) per table entry used. Like any
// extended product it must not overflow: the start-up control word makes that a fault.
Extended ScaleByPowerOfTen(Extended a, std::int32_t n);

// For 0 <= y < 16: the slot and count digits (count limited to 1..252) of y × 10^17
// rounded to an integer, then rounded half up at the last digit.
void GenerateDigits(Extended y, std::int32_t count, DigitString& digits);

// Writes the text of FormatFixedReal with the caller's full width; no line end, no
// check: a stream failure stays in IoResultCode.
ConsoleStream& WriteFixedReal(ConsoleStream& stream, std::int32_t width, std::int32_t decimals,
                              Extended value);

}  // namespace dartcirc
