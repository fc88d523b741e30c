// Extended reals rendered as decimal text by exact 128-bit integer arithmetic,
// apart from the runtime's conversion: the model its output is checked against.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/extended.h"
#include "runtime/fixed_real_output.h"

namespace dartcirc::testing {

using Wide = unsigned __int128;
inline constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63;

inline Wide PowerOfTen(int n) { return n == 0 ? 1 : 10 * PowerOfTen(n - 1); }

inline int BitLength(Wide n) {
  const auto high = static_cast<std::uint64_t>(n >> 64);
  return high != 0 ? 64 + std::bit_width(high) : std::bit_width(static_cast<std::uint64_t>(n));
}

// n / 2^count rounded to nearest, ties to even; n stays below 2^127.
inline Wide ShiftRoundingToEven(Wide n, int count) {
  if (count == 0) return n;
  if (count >= 128) return 0;
  const Wide half = Wide{1} << (count - 1);
  const Wide rest = n & ((half << 1) - 1);
  const Wide quotient = n >> count;
  return quotient + (rest > half || (rest == half && (quotient & 1)) ? 1 : 0);
}

// The extended real nearest to m / 10^d, for d <= 27 (10^d is then exact).
inline Extended Nearest(std::int64_t m, int d) {
  const Wide power = PowerOfTen(d);
  const int drop = std::max(BitLength(power) - 64, 0);
  const auto exact = static_cast<std::uint64_t>(power >> drop) << (64 - BitLength(power >> drop));
  const Extended divisor = ExtendedFromFields(static_cast<std::uint16_t>(16382 + BitLength(power)), exact);
  return ExtendedFromInt64(m) / divisor;
}

// y × 10^17 as the digits are made from it: the exact product rounded to a 64-bit
// significand, then to an integer, both to nearest with ties to even. A product too
// small for a normal extended lies below 1/2 and gives 0 either way.
inline std::uint64_t ScaledInteger(Extended y) {
  const ExtendedBits bits = BitsOf(y);
  Wide product = Wide{bits.significand} * 100'000'000'000'000'000;
  int shift = std::max<int>(bits.exponentField, 1) - 16383 - 63;
  const int drop = std::max(BitLength(product) - 64, 0);
  product = ShiftRoundingToEven(product, drop);
  shift += drop;
  return static_cast<std::uint64_t>(shift >= 0 ? product << shift : ShiftRoundingToEven(product, -shift));
}

inline std::string Decimal(std::uint64_t n, std::size_t atLeast) {
  const std::string digits = std::to_string(n);
  return std::string(atLeast > digits.size() ? atLeast - digits.size() : 0, '0') + digits;
}

// The 19-digit p (its first digit is the carry slot) kept to count digits after the
// slot, half up on the dropped part.
inline std::string SlotAndDigits(std::uint64_t p, int count) {
  if (count >= 18) return Decimal(p, 19) + std::string(static_cast<std::size_t>(count - 18), '0');
  const auto unit = static_cast<std::uint64_t>(PowerOfTen(18 - count));
  return Decimal(p / unit + (p % unit >= unit / 2 ? 1 : 0), static_cast<std::size_t>(count) + 1);
}

inline std::string WithoutLeadingZeros(const std::string& digits, std::size_t keep) {
  return digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - keep));
}

inline std::string ExactFixed(bool negative, DecimalNormal normal, int decimals) {
  const std::string digits = WithoutLeadingZeros(
      SlotAndDigits(ScaledInteger(normal.scaled), normal.exponent + 1 + decimals), decimals + 1u);
  const std::size_t integerDigits = digits.size() - static_cast<std::size_t>(decimals);
  return (negative ? "-" : "") + digits.substr(0, integerDigits) +
         (decimals > 0 ? "." + digits.substr(integerDigits) : "");
}

inline std::string ExactExponent(bool negative, DecimalNormal normal, std::int32_t width) {
  const int shown = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{width} - 8, 2, 18));
  const int count = normal.scaled >= ExtendedFromInt32(10) ? shown - 1 : shown;
  std::string digits = WithoutLeadingZeros(SlotAndDigits(ScaledInteger(normal.scaled), count), 0);
  int exponent = 0;
  if (digits.empty()) {
    digits = std::string(static_cast<std::size_t>(shown), '0');
  } else {
    exponent = static_cast<int>(digits.size()) + normal.exponent - count;
  }
  return std::string(negative ? "-" : " ") + digits[0] + "." + digits.substr(1, shown - 1) + "E" +
         (exponent < 0 ? "-" : "+") + Decimal(static_cast<std::uint64_t>(std::abs(exponent)), 4);
}

// The same value in its canonical encoding, found without the processor, which
// refuses the others as operands: an unnormal or pseudo-denormal is shifted up to
// its integer bit (or to a denormal), a zero significand is a zero.
inline Extended Canonical(Extended x) {
  ExtendedBits bits = BitsOf(x);
  if (bits.exponentField == 0x7FFF) return x;
  if (bits.significand == 0) return ExtendedFromFields(bits.sign ? 0x8000 : 0, 0);
  int exponent = std::max<int>(bits.exponentField, 1);
  for (; !(bits.significand & IntegerBit) && exponent > 1; --exponent) bits.significand <<= 1;
  bits.exponentField = static_cast<std::uint16_t>(bits.significand & IntegerBit ? exponent : 0);
  return ExtendedFromBits(bits);
}

// What FormatFixedReal must give. Values from 10 up are first scaled by the
// runtime's tables (whose rounding the tests check apart); the scaled value is
// rendered exactly here.
inline std::string ExactFixedReal(Extended encoding, std::int32_t width, std::int32_t decimals) {
  const Extended value = Canonical(encoding);
  const ExtendedBits bits = BitsOf(value);
  const Extended a = WithoutSign(value);
  std::string body;
  if (bits.exponentField == 0x7FFF) {
    body = bits.significand != IntegerBit ? "Nan" : bits.sign ? "-Inf" : "+Inf";
  } else if (decimals >= 0 && a < ExtendedFromInt32(10)) {
    body = ExactFixed(bits.sign, {a, 0}, std::min(decimals, LargestDecimals));
  } else {
    const DecimalNormal normal = NormalizeDecimal(a);
    body = decimals >= 0 && normal.exponent <= LargestFixedExponent
               ? ExactFixed(bits.sign, normal, std::min(decimals, LargestDecimals))
               : ExactExponent(bits.sign, normal, width);
  }
  const auto field = static_cast<std::size_t>(std::clamp(width, 0, LargestTextWidth));
  return std::string(field > body.size() ? field - body.size() : 0, ' ') + body;
}

}  // namespace dartcirc::testing
