#include "runtime/fixed_real_output.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/powers_of_ten.h"

namespace dartcirc {
namespace {

constexpr std::uint16_t SpecialExponentField = 0x7FFF;  // infinities and NaNs
constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63;
constexpr std::int32_t ExponentBias = 16383;
constexpr std::int32_t Log10Of2Fixed16 = 19728;  // log10 2 × 65536, rounded down
constexpr std::int32_t IntegerDigits = 18;
constexpr std::int64_t CarryThreshold = 1'000'000'000'000'000'000;  // 10^18
constexpr std::int32_t ExponentFormOverhead = 8;  // sign, point, E, exponent sign, 4 digits

// All three are exact doubles.
Extended Ten() { return ExtendedFromDouble(10.0); }
Extended DigitScale() { return ExtendedFromDouble(1e17); }

// The processor refuses an unnormal (exponent field 1 to 32766, integer bit clear) as
// an operand, which under the start-up control word is a fault. Arithmetic never makes
// one, but a value built from its bits can be one: it gets the encoding of the same
// value as a normal, a denormal or a zero.
Extended WithSupportedEncoding(Extended a) {
  ExtendedBits bits = BitsOf(a);
  if (bits.exponentField == 0 || (bits.significand & IntegerBit) != 0) return a;
  if (bits.significand == 0) {
    bits.exponentField = 0;
    return ExtendedFromBits(bits);
  }
  const int shift = std::min(std::countl_zero(bits.significand), bits.exponentField - 1);
  bits.significand <<= shift;
  bits.exponentField = static_cast<std::uint16_t>(bits.exponentField - shift);
  // Exponent fields 0 and 1 scale the significand alike.
  if ((bits.significand & IntegerBit) == 0) bits.exponentField = 0;
  return ExtendedFromBits(bits);
}

Extended SignedInfinity(bool negative) {
  return ExtendedFromFields(negative ? 0xFFFF : 0x7FFF, IntegerBit);
}

Extended SignedZero(bool negative) { return ExtendedFromFields(negative ? 0x8000 : 0, 0); }

void Put(ShortText& text, char c) { text.bytes[text.length++] = c; }

void Put(ShortText& text, const char* bytes, std::int32_t count) {
  std::memcpy(text.bytes + text.length, bytes, static_cast<std::size_t>(count));
  text.length = static_cast<std::uint8_t>(text.length + count);
}

// Moves the body right so that body and spaces fill the width; width <= 255.
void AlignRight(ShortText& text, std::int32_t width) {
  if (width <= text.length) return;  // compared first: width may be near INT32_MIN
  const std::int32_t spaces = width - text.length;
  std::memmove(text.bytes + spaces, text.bytes, text.length);
  std::memset(text.bytes, ' ', static_cast<std::size_t>(spaces));
  text.length = static_cast<std::uint8_t>(width);
}

void PutExponentForm(ShortText& text, bool negative, DecimalNormal normal, std::int32_t width) {
  // Clamping the width first keeps width − 8 from overflowing for the most negative widths.
  const std::int32_t shown =
      std::clamp(width, 2 + ExponentFormOverhead, 18 + ExponentFormOverhead) - ExponentFormOverhead;
  // From 10 up the slot takes the first significant digit.
  const bool slotTakesFirst = normal.scaled >= Ten();
  DigitString digits;
  GenerateDigits(normal.scaled, slotTakesFirst ? shown - 1 : shown, digits);
  const char* sequence = digits.chars + 1;
  std::int32_t exponent = normal.exponent;
  if (digits.chars[0] == '1') {
    --sequence;
    ++exponent;
  }
  Put(text, negative ? '-' : ' ');
  Put(text, sequence[0]);
  Put(text, '.');
  Put(text, sequence + 1, shown - 1);
  Put(text, 'E');
  Put(text, exponent < 0 ? '-' : '+');
  std::int32_t magnitude = exponent < 0 ? -exponent : exponent;
  char exponentDigits[4];
  for (int position = 3; position >= 0; --position) {
    exponentDigits[position] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  Put(text, exponentDigits, 4);
}

void PutFixedForm(ShortText& text, bool negative, Extended a, std::int32_t width,
                  std::int32_t decimals) {
  decimals = std::min(decimals, LargestDecimals);
  // Below 10 the value is not scaled, so a magnitude below 1 keeps its leading zeros
  // among the 18 digits.
  DecimalNormal normal{a, 0};
  if (a >= Ten()) {
    normal = NormalizeDecimal(a);
    if (normal.exponent > LargestFixedExponent) {
      PutExponentForm(text, negative, normal, width);
      return;
    }
  }
  std::int32_t integerDigits = normal.exponent + 1;
  DigitString digits;
  GenerateDigits(normal.scaled, integerDigits + decimals, digits);
  const char* sequence = digits.chars + 1;
  if (digits.chars[0] == '1') {
    --sequence;
    ++integerDigits;
  }
  if (negative) Put(text, '-');
  Put(text, sequence, integerDigits);
  if (decimals > 0) {
    Put(text, '.');
    Put(text, sequence + integerDigits, decimals);
  }
}

}  // namespace

void FormatFixedReal(Extended value, std::int32_t width, std::int32_t decimals, ShortText& text) {
  width = std::min(width, LargestTextWidth);
  text.length = 0;
  const ExtendedBits bits = BitsOf(value);
  if (bits.exponentField == SpecialExponentField) {
    // A NaN never shows a sign, an infinity always does.
    if (bits.significand != IntegerBit) {
      Put(text, "Nan", 3);
    } else {
      Put(text, bits.sign ? "-Inf" : "+Inf", 4);
    }
  } else {
    const Extended a = WithSupportedEncoding(WithoutSign(value));
    if (decimals < 0) {
      PutExponentForm(text, bits.sign, NormalizeDecimal(a), width);
    } else {
      PutFixedForm(text, bits.sign, a, width, decimals);
    }
  }
  AlignRight(text, width);
}

DecimalNormal NormalizeDecimal(Extended a) {
  std::int32_t exponent = 0;
  for (;;) {
    const ExtendedBits bits = BitsOf(a);
    if (bits.exponentField == 0 && bits.significand == 0) return {a, exponent};
    const std::int32_t binaryExponent =
        bits.exponentField == 0 ? -ExponentBias : bits.exponentField - ExponentBias;
    // The floor of binaryExponent × log10 2, also for negative exponents; it is 0
    // exactly when a lies in [1, 16).
    const std::int32_t estimate = (binaryExponent * Log10Of2Fixed16) >> 16;
    if (estimate == 0) return {a, exponent};
    exponent += estimate;
    a = ScaleByPowerOfTen(a, -estimate);
  }
}

Extended ScaleByPowerOfTen(Extended a, std::int32_t n) {
  if (n == 0) return a;
  const bool negative = BitsOf(a).sign;
  if (n >= ScalingLimit) return BitsOf(a).significand == 0 ? a : SignedInfinity(negative);
  if (n <= -ScalingLimit) return SignedZero(negative);
  const bool up = n > 0;
  const std::int32_t m = up ? n : -n;
  // Each step is rounded by itself, in this order.
  const auto apply = [&](Extended power) { a = up ? a * power : a / power; };
  apply(PowersOfTenLow[m % 32]);
  const std::int32_t q = m / 32;
  if (q % 16 != 0) apply(PowersOfTenMid[q % 16 - 1]);
  if (q / 16 != 0) apply(PowersOfTenHigh[q / 16 - 1]);
  return a;
}

void GenerateDigits(Extended y, std::int32_t count, DigitString& digits) {
  count = std::clamp(count, 1, MostDigits);
  // Below 1.6 × 10^18: the integer conversion cannot overflow.
  std::int64_t p = RoundToInt64(y * DigitScale());
  digits.chars[0] = '0';
  if (p >= CarryThreshold) {
    p -= CarryThreshold;
    digits.chars[0] = '1';
  }
  for (std::int32_t position = IntegerDigits; position >= 1; --position) {
    digits.chars[position] = static_cast<char>('0' + p % 10);
    p /= 10;
  }
  if (count >= IntegerDigits) {
    std::memset(digits.chars + IntegerDigits + 1, '0',
                static_cast<std::size_t>(count - IntegerDigits));
    return;
  }
  // Half up, decided by the first dropped digit alone. With the slot set the first
  // digit is at most 5, so a carry never passes a '1' slot.
  if (digits.chars[count + 1] >= '5') {
    std::int32_t position = count;
    while (digits.chars[position] == '9') digits.chars[position--] = '0';
    ++digits.chars[position];
  }
}

ConsoleStream& WriteFixedReal(ConsoleStream& stream, std::int32_t width, std::int32_t decimals,
                              Extended value) {
  ShortText text;
  FormatFixedReal(value, width, decimals, text);
  return WritePadded(stream, text.View(), width);
}

}  // namespace dartcirc
