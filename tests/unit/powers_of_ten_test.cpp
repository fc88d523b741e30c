#include "runtime/powers_of_ten.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "runtime/extended.h"

namespace dartcirc {
namespace {

// A non-negative integer of any size, 32 bits per limb, least significant first.
struct BigInteger {
  std::vector<std::uint32_t> limbs{1};

  void MultiplyByTen() {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs) {
      const std::uint64_t product = std::uint64_t{limb} * 10 + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs.push_back(static_cast<std::uint32_t>(carry));
  }

  int BitLength() const {
    return 32 * static_cast<int>(limbs.size() - 1) + std::bit_width(limbs.back());
  }

  bool Bit(int index) const { return index >= 0 && (limbs[index / 32] >> (index % 32)) & 1; }
};

struct RoundedPower {
  ExtendedBits bits;
  bool exact;
};

// The integer rounded to a 64-bit significand, to nearest with ties to even.
RoundedPower RoundTo64Bits(const BigInteger& n) {
  const int length = n.BitLength();
  const int lowest = length - 64;  // bit index of the significand's last bit
  std::uint64_t significand = 0;
  for (int index = length - 1; index >= lowest; --index) {
    significand = significand << 1 | (n.Bit(index) ? 1 : 0);
  }
  const bool half = n.Bit(lowest - 1);
  bool below = false;
  for (int index = lowest - 2; index >= 0 && !below; --index) below = n.Bit(index);
  int exponent = length - 1;
  if (half && (below || (significand & 1))) {
    if (++significand == 0) {
      significand = std::uint64_t{1} << 63;
      ++exponent;
    }
  }
  return {{false, static_cast<std::uint16_t>(exponent + 16383), significand}, !half && !below};
}

void ExpectEntry(Extended entry, const BigInteger& power, int decimalExponent) {
  const RoundedPower expected = RoundTo64Bits(power);
  const ExtendedBits actual = BitsOf(entry);
  EXPECT_FALSE(actual.sign) << decimalExponent;
  EXPECT_EQ(actual.exponentField, expected.bits.exponentField) << "10^" << decimalExponent;
  EXPECT_EQ(actual.significand, expected.bits.significand) << "10^" << decimalExponent;
  // 10^n = 2^n × 5^n fits a 64-bit significand exactly while 5^n < 2^64.
  EXPECT_EQ(expected.exact, decimalExponent <= 27) << decimalExponent;
}

TEST(PowersOfTen, EveryEntryIsTheExactPowerRoundedToNearest) {
  BigInteger power;  // 10^n
  for (int n = 0; n <= 9 * 512; ++n) {
    if (n < 32) ExpectEntry(PowersOfTenLow[n], power, n);
    if (n % 32 == 0 && n / 32 >= 1 && n / 32 <= 15)
      ExpectEntry(PowersOfTenMid[n / 32 - 1], power, n);
    if (n % 512 == 0 && n / 512 >= 1) ExpectEntry(PowersOfTenHigh[n / 512 - 1], power, n);
    power.MultiplyByTen();
  }
}

}  // namespace
}  // namespace dartcirc
