// Fixed-point output: the worked rows of its table, through the conversion and
// through the stream, which writes the whole field; the fuzz target checks any value
// against an exact rendering, which takes the scaling by powers of ten from the
// runtime. So the tables of powers are checked here on their own, and rows with
// every digit shown pin values scaled through each of the tables.
#include "runtime/fixed_real_output.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/powers_of_ten.h"
#include "tests/support/data_table.h"
#include "tests/support/exact_real.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

class FixedRealOutput : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }
};

TEST_F(FixedRealOutput, RowsOfTheTable) {
  for (const TableRow& row : ReadTable("fixed_real_output.tsv")) {
    const Extended value = ExtendedFromFields(static_cast<std::uint16_t>(std::stoul(row[1], nullptr, 16)),
                                              std::stoull(row[2], nullptr, 16));
    const std::int32_t width = std::stoi(row[3]), decimals = std::stoi(row[4]);
    const std::string field = std::string(std::stoul(row[5]), ' ') + row[6];
    ShortText text;
    FormatFixedReal(value, width, decimals, text);
    EXPECT_EQ(text.View(), field.substr(field.size() - std::min<std::size_t>(field.size(), 255))) << row[0];
    FakePlatformScope scope;
    EndOutputLine(WriteFixedReal(ConsoleOut, width, decimals, value));
    EXPECT_EQ(scope.fake.Output(), field + "\r\n") << row[0];
  }
}

TEST_F(FixedRealOutput, EveryPowerOfTenInTheTablesIsTheExactPowerRoundedToNearest) {
  std::vector<std::uint32_t> power{1};  // 10^n, base 2^32, least significant limb first
  for (int n = 0; n <= 9 * 512; ++n) {
    const auto bit = [&](int i) { return i >= 0 && (power[i / 32] >> (i % 32)) & 1; };
    const int length = 32 * static_cast<int>(power.size() - 1) + std::bit_width(power.back());
    std::uint64_t significand = 0;
    for (int i = length - 1; i >= length - 64; --i) significand = significand << 1 | bit(i);
    bool below = false;
    for (int i = length - 66; i >= 0 && !below; --i) below = bit(i);
    int exponent = length - 1 + 16383;
    if (bit(length - 65) && (below || (significand & 1)) && ++significand == 0) {
      significand = IntegerBit;
      ++exponent;
    }
    const Extended expected = ExtendedFromFields(static_cast<std::uint16_t>(exponent), significand);
    std::vector<Extended> entries;
    if (n < 32) entries.push_back(PowersOfTenLow[n]);
    if (n % 32 == 0 && n > 0 && n < 512) entries.push_back(PowersOfTenMid[n / 32 - 1]);
    if (n % 512 == 0 && n > 0) entries.push_back(PowersOfTenHigh[n / 512 - 1]);
    for (Extended entry : entries) EXPECT_EQ(entry, expected) << n;
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : power) {
      carry += std::uint64_t{limb} * 10;
      limb = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0) power.push_back(static_cast<std::uint32_t>(carry));
  }
}

}  // namespace
}  // namespace dartcirc::testing
