#include "runtime/fixed_real_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/powers_of_ten.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakePlatformScope;
using Wide = unsigned __int128;

constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63;

// Invalid operation, zero divide and overflow trap, as in the running program.
class FixedRealOutput : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }
};

Wide PowerOfTen(int n) {
  Wide power = 1;
  while (n-- > 0) power *= 10;
  return power;
}

int BitLength(Wide n) {
  const auto high = static_cast<std::uint64_t>(n >> 64);
  return high != 0 ? 64 + std::bit_width(high) : std::bit_width(static_cast<std::uint64_t>(n));
}

// n / 2^count rounded to nearest, ties to even.
Wide ShiftRoundingToEven(Wide n, int count) {
  if (count == 0) return n;
  if (count >= 128) return 0;  // callers' n stays below 2^127
  const Wide half = Wide{1} << (count - 1);
  const Wide rest = n & ((half << 1) - 1);
  Wide quotient = n >> count;
  if (rest > half || (rest == half && (quotient & 1))) ++quotient;
  return quotient;
}

// The extended real nearest to n.
Extended Nearest(Wide n) {
  if (n == 0) return ExtendedFromFields(0, 0);
  const int drop = std::max(BitLength(n) - 64, 0);
  Wide significand = ShiftRoundingToEven(n, drop) << (drop == 0 ? 64 - BitLength(n) : 0);
  int exponent = BitLength(n) - 1;
  if (BitLength(significand) > 64) {  // rounded up to the next power of two
    significand >>= 1;
    ++exponent;
  }
  return ExtendedFromFields(static_cast<std::uint16_t>(exponent + 16383),
                            static_cast<std::uint64_t>(significand));
}

// The extended real nearest to m / 10^d for d <= 27: one rounded quotient of two exact values.
Extended Nearest(std::int64_t m, int d) { return ExtendedFromInt64(m) / Nearest(PowerOfTen(d)); }

Extended Int(std::int64_t n) { return ExtendedFromInt64(n); }

Extended Negated(Extended x) {
  ExtendedBits bits = BitsOf(x);
  bits.sign = !bits.sign;
  return ExtendedFromBits(bits);
}

const Extended NegativeZero = ExtendedFromFields(0x8000, 0);
const Extended PlusInfinity = ExtendedFromFields(0x7FFF, IntegerBit);
const Extended MinusInfinity = ExtendedFromFields(0xFFFF, IntegerBit);
const Extended QuietNan = ExtendedFromFields(0x7FFF, 0xC000000000000000);
const Extended NegativeNan = ExtendedFromFields(0xFFFF, 0xC000000000000000);
const Extended SmallestDenormal = ExtendedFromFields(0, 1);
const Extended LargestFinite = ExtendedFromFields(0x7FFE, ~std::uint64_t{0});
const Extended TenTo100 = ExtendedFromFields(0x414B, 0x924D692CA61BE758);  // 10^100, nearest

std::string Format(Extended value, std::int32_t width, std::int32_t decimals) {
  ShortText text;
  FormatFixedReal(value, width, decimals, text);
  return std::string(text.View());
}

struct Row {
  const char* name;
  Extended value;
  std::int32_t width;
  std::int32_t decimals;
  std::size_t spaces;
  std::string rest;
};

// The stream receives the whole field; the conversion alone stops at 255 bytes.
void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    const std::string expected = std::string(row.spaces, ' ') + row.rest;
    const std::size_t converted = std::min<std::size_t>(expected.size(), LargestTextWidth);
    EXPECT_EQ(Format(row.value, row.width, row.decimals),
              expected.substr(expected.size() - converted))
        << row.name;
    FakePlatformScope scope;
    EndOutputLine(WriteFixedReal(ConsoleOut, row.width, row.decimals, row.value));
    EXPECT_EQ(scope.fake.Output(), expected + "\r\n") << row.name;
  }
}

std::string Zeros(std::size_t count) { return std::string(count, '0'); }

TEST_F(FixedRealOutput, ProgressLineField) {
  ExpectRows({
      {"4 × 7854 / 10000", Int(4 * 7854) / Int(10000), 10, 8, 0, "3.14160000"},
      {"4 × 785398 / 1000000", Int(4 * 785398) / Int(1000000), 10, 8, 0, "3.14159200"},
      {"nearest 3.14159265358979", Nearest(314159265358979, 14), 10, 8, 0, "3.14159265"},
      {"4", Int(4), 10, 8, 0, "4.00000000"},
      {"2 / 3", Int(2) / Int(3), 10, 8, 0, "0.66666667"},
      {"0", Int(0), 10, 8, 0, "0.00000000"},
      {"nearest 3.99999999995", Nearest(399999999995, 11), 10, 8, 0, "4.00000000"},
      {"2.5", Nearest(25, 1), 10, 8, 0, "2.50000000"},
      {"nearest 0.000000005", Nearest(5, 9), 10, 8, 0, "0.00000001"},
      {"nearest 0.0000000049", Nearest(49, 10), 10, 8, 0, "0.00000000"},
      {"negative zero", NegativeZero, 10, 8, 0, "-0.00000000"},
      {"nearest -1e-20", Nearest(-1, 20), 10, 8, 0, "-0.00000000"},
      {"-1.5", Nearest(-15, 1), 10, 8, 0, "-1.50000000"},
      {"nearest 9.999999999", Nearest(9999999999, 9), 10, 8, 0, "10.00000000"},
      {"nearest 9.9999999949", Nearest(99999999949, 10), 10, 8, 0, "9.99999999"},
      {"nearest -9.999999999", Nearest(-9999999999, 9), 10, 8, 0, "-10.00000000"},
      {"10", Int(10), 10, 8, 0, "10.00000000"},
      {"nearest 12.345", Nearest(12345, 3), 10, 8, 0, "12.34500000"},
      {"10^18", Nearest(PowerOfTen(18)), 10, 8, 0, "1" + Zeros(18) + ".00000000"},
      {"10^20", Nearest(PowerOfTen(20)), 10, 8, 0, "1" + Zeros(20) + ".00000000"},
      {"10^36", Nearest(PowerOfTen(36)), 10, 8, 0, "1" + Zeros(36) + ".00000000"},
      {"nearest 1.2e36", Nearest(12 * PowerOfTen(35)), 10, 8, 0, "12" + Zeros(35) + ".00000000"},
      {"nearest 1.5e36", Nearest(15 * PowerOfTen(35)), 10, 8, 1, "1.5E+0036"},
      {"2e36", Nearest(2 * PowerOfTen(36)), 10, 8, 1, "2.0E+0036"},
      {"NaN", QuietNan, 10, 8, 7, "Nan"},
      {"negative NaN", NegativeNan, 10, 8, 7, "Nan"},
      {"+inf", PlusInfinity, 10, 8, 6, "+Inf"},
      {"-inf", MinusInfinity, 10, 8, 6, "-Inf"},
  });
}

TEST_F(FixedRealOutput, OtherWidthsAndDecimals) {
  ExpectRows({
      {"2.5", Nearest(25, 1), 10, 0, 9, "3"},
      {"0.5", Nearest(5, 1), 0, 0, 0, "1"},
      {"-2.5", Nearest(-25, 1), 0, 0, 0, "-3"},
      {"99999.5", Nearest(999995, 1), 0, 0, 0, "100000"},
      {"nearest 123.456", Nearest(123456, 3), 12, 3, 5, "123.456"},
      {"nearest -123.456", Nearest(-123456, 3), 12, 3, 4, "-123.456"},
      {"1 / 3", Int(1) / Int(3), 0, 20, 0, "0.33333333333333333000"},
      {"nearest 0.1", Nearest(1, 1), 0, 20, 0, "0.10000000000000000000"},
      {"1, decimals above the limit", Int(1), 0, 250, 0, "1." + Zeros(216)},
      {"3, width below the body", Int(3), 4, 2, 0, "3.00"},
      {"3, negative width", Int(3), -5, 2, 0, "3.00"},
      {"+inf, narrow", PlusInfinity, 2, 8, 0, "+Inf"},
      {"3.25, width above 255", Nearest(325, 2), 300, 2, 296, "3.25"},
  });
}

TEST_F(FixedRealOutput, ExponentForm) {
  ExpectRows({
      {"0.125", Nearest(125, 3), 10, -1, 1, "1.3E-0001"},
      {"1.25", Nearest(125, 2), 10, -1, 1, "1.3E+0000"},
      {"12.5", Nearest(125, 1), 10, -1, 1, "1.3E+0001"},
      {"125", Int(125), 10, -1, 1, "1.3E+0002"},
      {"12", Int(12), 10, -1, 1, "1.2E+0001"},
      {"nearest 9.96", Nearest(996, 2), 10, -1, 1, "1.0E+0001"},
      {"nearest 15.99", Nearest(1599, 2), 10, -1, 1, "1.6E+0001"},
      {"0", Int(0), 10, -1, 1, "0.0E+0000"},
      {"negative zero", NegativeZero, 10, -1, 0, "-0.0E+0000"},
      {"pi, width 5", Nearest(314159265358979, 14), 5, -1, 1, "3.1E+0000"},
      {"pi, width 20", Nearest(314159265358979, 14), 20, -1, 1, "3.14159265359E+0000"},
      {"pi, width 30", Nearest(314159265358979, 14), 30, -1, 5, "3.14159265358979000E+0000"},
      {"10^100", TenTo100, 12, -1, 1, "1.000E+0100"},
      {"nearest 1e-5", Nearest(1, 5), 12, -1, 1, "1.000E-0005"},
      {"-1.5", Nearest(-15, 1), 12, -1, 0, "-1.500E+0000"},
      {"smallest denormal", SmallestDenormal, 26, -1, 1, "3.64519953188247460E-4951"},
  });
}

TEST_F(FixedRealOutput, EdgesOfTheRanges) {
  ExpectRows({
      {"largest finite", LargestFinite, 26, -1, 1, "1.18973149535723177E+4932"},
      {"largest finite, fixed", LargestFinite, 0, 2, 1, "1.2E+4932"},
      {"longest fixed text", Negated(Nearest(13 * PowerOfTen(35))), 0, INT32_MAX, 0,
       "-13" + Zeros(35) + "." + Zeros(216)},
      {"most negative width", Int(7), INT32_MIN, -1, 1, "7.0E+0000"},
      {"most negative decimals", Int(7), 10, INT32_MIN, 1, "7.0E+0000"},
      {"denormal, fixed", SmallestDenormal, 0, 3, 0, "0.000"},
      {"signalling NaN", ExtendedFromFields(0x7FFF, IntegerBit | 1), 0, 8, 0, "Nan"},
      {"pseudo-infinity", ExtendedFromFields(0x7FFF, 0), 0, 8, 0, "Nan"},
  });
}

// Encodings that no arithmetic produces and that the processor refuses as operands
// (a fault under the start-up control word) show the value they encode.
TEST_F(FixedRealOutput, UnsupportedEncodingsShowTheirValue) {
  struct Case {
    Extended encoding;
    Extended same;
  } cases[] = {
      {ExtendedFromFields(0x4002, 0x5000000000000000), Int(5)},
      {ExtendedFromFields(0xC002, 0x0000000000000001), ExtendedFromFields(0xBFC3, IntegerBit)},
      {ExtendedFromFields(0x0001, 0x0000000000000001), SmallestDenormal},
      {ExtendedFromFields(0x4005, 0), Int(0)},
      {ExtendedFromFields(0x8005, 0), NegativeZero},
      // A pseudo-denormal is an accepted operand with the value of exponent field 1.
      {ExtendedFromFields(0x0000, IntegerBit | 7), ExtendedFromFields(0x0001, IntegerBit | 7)},
  };
  for (const Case& c : cases) {
    for (std::int32_t decimals : {-1, 8}) {
      EXPECT_EQ(Format(c.encoding, 26, decimals), Format(c.same, 26, decimals)) << decimals;
    }
  }
}

TEST_F(FixedRealOutput, WriteLeavesAFailureForTheCheck) {
  FakePlatformScope scope;
  scope.fake.writeError = 232;  // the pipe is being closed
  ConsoleStream& returned = WriteFixedReal(ConsoleOut, 10, 8, Int(3));
  EXPECT_EQ(&returned, &ConsoleOut);
  EndOutputLine(returned);
  EXPECT_EQ(IoResultCode, 232);
}

TEST_F(FixedRealOutput, ScalingBeyondTheTablesKeepsSign) {
  struct Case {
    Extended a;
    std::int32_t n;
    Extended expected;
  } cases[] = {
      {Int(1), ScalingLimit, PlusInfinity}, {Int(-1), INT32_MAX, MinusInfinity},
      {Int(0), ScalingLimit, Int(0)},       {Int(1), -ScalingLimit, Int(0)},
      {Int(-1), INT32_MIN, NegativeZero},   {NegativeZero, 0, NegativeZero},
  };
  for (const Case& c : cases) {
    const ExtendedBits result = BitsOf(ScaleByPowerOfTen(c.a, c.n));
    const ExtendedBits expected = BitsOf(c.expected);
    EXPECT_EQ(result.sign, expected.sign) << c.n;
    EXPECT_EQ(result.exponentField, expected.exponentField) << c.n;
    EXPECT_EQ(result.significand, expected.significand) << c.n;
  }
}

// Each table step is rounded by itself: low, then middle, then high.
TEST_F(FixedRealOutput, ScalingRoundsEachTableStepInOrder) {
  std::mt19937_64 random(512);
  for (int trial = 0; trial < 200; ++trial) {
    const std::uint64_t significand = random() | IntegerBit;
    for (std::int32_t n : {1, 31, 32, 37, 511, 512, 1000, 4931, 4932, 5119}) {
      const Extended small = ExtendedFromFields(16383 - 16000, significand);
      const Extended large = ExtendedFromFields(16383 + 16000, significand);
      Extended up = small * PowersOfTenLow[n % 32];
      Extended down = large / PowersOfTenLow[n % 32];
      if (n / 32 % 16 != 0) {
        up = up * PowersOfTenMid[n / 32 % 16 - 1];
        down = down / PowersOfTenMid[n / 32 % 16 - 1];
      }
      if (n / 512 != 0) {
        up = up * PowersOfTenHigh[n / 512 - 1];
        down = down / PowersOfTenHigh[n / 512 - 1];
      }
      ASSERT_EQ(BitsOf(ScaleByPowerOfTen(small, n)).significand, BitsOf(up).significand) << n;
      ASSERT_EQ(BitsOf(ScaleByPowerOfTen(large, -n)).significand, BitsOf(down).significand) << n;
    }
  }
}

// ---- Random values against an exact rendering ----

// y × 10^17 as the digits are made from it: the exact product rounded once to a 64-bit
// significand (the extended product), then to an integer, both to nearest with ties
// to even. This double rounding is what the conversion prescribes; it differs from
// rounding the exact product directly when that lies just beside a half-way point, so it
// is modelled here. A product too small for a normal
// extended would round to fewer bits, but it lies below 1/2 and gives 0 either way.
std::uint64_t ScaledInteger(Extended y) {
  const ExtendedBits bits = BitsOf(y);
  Wide product = Wide{bits.significand} * 100'000'000'000'000'000;  // below 2^121
  int shift = std::max<int>(bits.exponentField, 1) - 16383 - 63;    // value = product × 2^shift
  const int drop = std::max(BitLength(product) - 64, 0);
  product = ShiftRoundingToEven(product, drop);
  shift += drop;
  return static_cast<std::uint64_t>(shift >= 0 ? product << shift
                                               : ShiftRoundingToEven(product, -shift));
}

std::string Decimal(std::uint64_t n, std::size_t atLeast) {
  std::string digits = std::to_string(n);
  return std::string(atLeast > digits.size() ? atLeast - digits.size() : 0, '0') + digits;
}

// The 19-digit integer p (the slot is its first digit) kept to `count` digits after the
// slot, half up on the dropped part, as count + 1 digits.
std::string SlotAndDigits(std::uint64_t p, int count) {
  if (count >= 18) return Decimal(p, 19) + Zeros(static_cast<std::size_t>(count - 18));
  std::uint64_t unit = 1;
  for (int i = count; i < 18; ++i) unit *= 10;
  const std::uint64_t kept = p / unit + (p % unit >= unit / 2 ? 1 : 0);
  return Decimal(kept, static_cast<std::size_t>(count) + 1);
}

std::string StripLeadingZeros(const std::string& digits, std::size_t keep) {
  const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - keep);
  return digits.substr(first);
}

std::string ReferenceFixed(bool negative, DecimalNormal normal, std::int32_t decimals) {
  // The digits are the value in units of 10^-decimals.
  const std::string digits =
      StripLeadingZeros(SlotAndDigits(ScaledInteger(normal.scaled), normal.exponent + 1 + decimals),
                        static_cast<std::size_t>(decimals) + 1);
  const std::size_t integerDigits = digits.size() - static_cast<std::size_t>(decimals);
  return (negative ? "-" : "") + digits.substr(0, integerDigits) +
         (decimals > 0 ? "." + digits.substr(integerDigits) : "");
}

std::string ReferenceExponent(bool negative, DecimalNormal normal, std::int32_t width) {
  const int shown = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{width} - 8, 2, 18));
  const int count = normal.scaled >= Int(10) ? shown - 1 : shown;
  // The digits are the value in units of 10^(exponent + 1 - count).
  std::string digits = StripLeadingZeros(SlotAndDigits(ScaledInteger(normal.scaled), count), 0);
  int exponent = 0;
  if (digits.empty()) {
    digits = Zeros(static_cast<std::size_t>(shown));
  } else {
    exponent = static_cast<int>(digits.size()) - 1 + normal.exponent + 1 - count;
  }
  return std::string(negative ? "-" : " ") + digits[0] + "." + digits.substr(1, shown - 1) + "E" +
         (exponent < 0 ? "-" : "+") + Decimal(static_cast<std::uint64_t>(std::abs(exponent)), 4);
}

std::string Reference(Extended value, std::int32_t width, std::int32_t decimals) {
  const ExtendedBits bits = BitsOf(value);
  std::string body;
  if (bits.exponentField == 0x7FFF) {
    body = bits.significand != IntegerBit ? "Nan" : bits.sign ? "-Inf" : "+Inf";
  } else {
    // From 10 up the value is first scaled by the tables; the scaled value is rendered
    // exactly here (NormalizeDecimalKeepsTheValue checks the scaling itself).
    const Extended a = WithoutSign(value);
    if (decimals >= 0 && a < Int(10)) {
      body = ReferenceFixed(bits.sign, {a, 0}, std::min(decimals, 216));  // no scaling
    } else {
      const DecimalNormal normal = NormalizeDecimal(a);
      body = decimals >= 0 && normal.exponent <= 35
                 ? ReferenceFixed(bits.sign, normal, std::min(decimals, 216))
                 : ReferenceExponent(bits.sign, normal, width);
    }
  }
  const auto field = static_cast<std::size_t>(std::clamp(width, 0, 255));
  return std::string(field > body.size() ? field - body.size() : 0, ' ') + body;
}

// Canonical encodings of every class; most land where the fixed form applies.
Extended RandomExtended(std::mt19937_64& random) {
  const std::uint64_t choice = random();
  const std::uint16_t sign = (choice & 1) ? 0x8000 : 0;
  std::uint64_t significand = random() | IntegerBit;
  if (choice & 2) significand &= ~std::uint64_t{0} << (choice >> 8) % 64;  // short binary fractions
  std::uint16_t field;
  switch ((choice >> 2) % 10) {
    case 0:
    case 1:
    case 2:
      field = static_cast<std::uint16_t>(1 + (choice >> 16) % 32766);
      break;
    case 3:
    case 4:
    case 5:  // from about 10^-21 to 2^125
      field = static_cast<std::uint16_t>(16383 - 70 + (choice >> 16) % 196);
      break;
    case 6:
      field = 0;
      significand = random() >> (choice >> 16) % 64;
      break;
    case 7: {  // short decimals, where the rounding ties lie
      const std::int64_t digits =
          static_cast<std::int64_t>((random() >> 1) % PowerOfTen(1 + (choice >> 16) % 18));
      return Nearest(sign ? -digits : digits, static_cast<int>((choice >> 24) % 28));
    }
    case 8:
      return ExtendedFromFields(sign, 0);
    default:
      field = 0x7FFF;
      if (choice & 4) significand = IntegerBit;
      break;
  }
  return ExtendedFromFields(static_cast<std::uint16_t>(sign | field), significand);
}

TEST_F(FixedRealOutput, RandomValuesMatchAnExactRendering) {
  std::mt19937_64 random(20261206);
  std::uniform_int_distribution<std::int32_t> widths(-3, 300);
  std::uniform_int_distribution<std::int32_t> decimals(-2, 230);
  for (int trial = 0; trial < 100'000; ++trial) {
    const Extended value = RandomExtended(random);
    const std::int32_t width = widths(random);
    const std::int32_t places = decimals(random);
    const ExtendedBits bits = BitsOf(value);
    ASSERT_EQ(Format(value, width, places), Reference(value, width, places))
        << std::hex << bits.sign << " " << bits.exponentField << " " << bits.significand << std::dec
        << " width " << width << " decimals " << places;
  }
}

// log10 of a finite positive value, from its fields.
double Log10(Extended a) {
  const ExtendedBits bits = BitsOf(a);
  const int binaryExponent = std::max<int>(bits.exponentField, 1) - 16383 - 63;
  return std::log10(static_cast<double>(bits.significand)) + binaryExponent * std::log10(2.0);
}

TEST_F(FixedRealOutput, NormalizeDecimalKeepsTheValue) {
  EXPECT_EQ(NormalizeDecimal(Int(0)).exponent, 0);
  std::mt19937_64 random(4951);
  for (int trial = 0; trial < 20'000; ++trial) {
    const Extended a = WithoutSign(RandomExtended(random));
    const ExtendedBits bits = BitsOf(a);
    if (bits.exponentField == 0x7FFF || bits.significand == 0) continue;
    const DecimalNormal normal = NormalizeDecimal(a);
    ASSERT_TRUE(normal.scaled >= Int(1) && normal.scaled < Int(16)) << bits.exponentField;
    ASSERT_NEAR(Log10(normal.scaled) + normal.exponent, Log10(a), 1e-9) << bits.exponentField;
  }
}

}  // namespace
}  // namespace dartcirc
