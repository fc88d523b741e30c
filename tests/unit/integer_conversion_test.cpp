#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "runtime/integer_conversion.h"

namespace dartcirc {
namespace {

using namespace std::string_literals;

struct ConversionCase {
  std::string text;
  Int32Conversion int32;
  Int64Conversion int64;
};

void ExpectConversions(const ConversionCase& c) {
  const Int32Conversion narrow = ParseInt32(c.text);
  const Int64Conversion wide = ParseInt64(c.text);
  EXPECT_EQ(narrow.value, c.int32.value) << "ParseInt32 <" << c.text << ">";
  EXPECT_EQ(narrow.errorPosition, c.int32.errorPosition) << "ParseInt32 <" << c.text << ">";
  EXPECT_EQ(wide.value, c.int64.value) << "ParseInt64 <" << c.text << ">";
  EXPECT_EQ(wide.errorPosition, c.int64.errorPosition) << "ParseInt64 <" << c.text << ">";
}

constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();

TEST(IntegerConversion, DecimalTextsSignsAndStops) {
  const ConversionCase cases[] = {
      {"", {0, 1}, {0, 1}},
      {"0", {0, 0}, {0, 0}},
      {"007", {7, 0}, {7, 0}},
      {"010", {10, 0}, {10, 0}},
      {"  42", {42, 0}, {42, 0}},
      {"\t42", {0, 1}, {0, 1}},
      {"42 ", {42, 3}, {42, 3}},
      {"   ", {0, 4}, {0, 4}},
      {"+7", {7, 0}, {7, 0}},
      {"-7", {-7, 0}, {-7, 0}},
      {"-0", {0, 0}, {0, 0}},
      {"-", {0, 2}, {0, 2}},
      {"- 7", {0, 2}, {0, 2}},
      {"+-7", {0, 2}, {0, 2}},
      {"12a", {12, 3}, {12, 3}},
      {"-12a", {12, 4}, {-12, 4}},
      {"1.0", {1, 2}, {1, 2}},
      {"\x82\x50", {0, 1}, {0, 1}},  // a full-width digit one
      {"12\0"s "34", {12, 0}, {12, 0}},
      {"\0"s "12", {0, 1}, {0, 1}},
  };
  for (const ConversionCase& c : cases) ExpectConversions(c);
}

TEST(IntegerConversion, DecimalRanges) {
  const ConversionCase cases[] = {
      {"2147483647", {2147483647, 0}, {2147483647, 0}},
      {"2147483648", {-2147483647 - 1, 11}, {2147483648, 0}},
      {"2147483649", {-2147483647, 11}, {2147483649, 0}},
      {"2147483650", {214748365, 10}, {2147483650, 0}},
      {"-2147483648", {-2147483647 - 1, 0}, {-2147483648, 0}},
      {"-2147483649", {2147483647, 12}, {-2147483649, 0}},
      {"9223372036854775807", {922337203, 10}, {Int64Max, 0}},
      {"9223372036854775808", {922337203, 10}, {Int64Min, 19}},
      {"-9223372036854775808", {922337203, 11}, {Int64Min, 0}},
      {"-9223372036854775809", {922337203, 11}, {Int64Max, 20}},
      {"92233720368547758070", {922337203, 10}, {Int64Max, 20}},
      {"00000000000000000000000000042", {42, 0}, {42, 0}},
  };
  for (const ConversionCase& c : cases) ExpectConversions(c);
}

TEST(IntegerConversion, HexadecimalPrefixesAndRanges) {
  const ConversionCase cases[] = {
      {"$1f", {31, 0}, {31, 0}},
      {"0X1F", {31, 0}, {31, 0}},
      {"0xaB", {171, 0}, {171, 0}},
      {"x1F", {31, 0}, {0, 1}},
      {"X1F", {31, 0}, {0, 1}},
      {"$", {0, 3}, {0, 2}},
      {"0x", {0, 4}, {0, 3}},
      {"  $", {0, 5}, {0, 4}},
      {"$1G", {1, 3}, {1, 3}},
      {"-$10", {0, 2}, {-16, 0}},
      {"+0x10", {0, 3}, {16, 0}},
      {"$FFFFFFFF", {-1, 0}, {4294967295, 0}},
      {"$100000000", {268435456, 10}, {4294967296, 0}},
      {"$7FFFFFFFFFFFFFFF", {2147483647, 10}, {Int64Max, 0}},
      {"$8000000000000000", {-2147483647 - 1, 10}, {576460752303423488, 17}},
      {"-$7FFFFFFFFFFFFFFF", {0, 2}, {-Int64Max, 0}},
      {"$000000000000000000001", {1, 0}, {1, 0}},
      {"$1\0"s "2", {1, 0}, {1, 0}},
  };
  for (const ConversionCase& c : cases) ExpectConversions(c);
}

// Every number in range, written in decimal as the caller would type it, comes back.
TEST(IntegerConversion, DecimalTextsOfRandomNumbersComeBack) {
  std::mt19937_64 random(20261206);
  for (int round = 0; round < 20000; ++round) {
    const auto wide = static_cast<std::int64_t>(random() >> (1 + random() % 63));
    const std::int64_t signedWide = round % 2 == 0 ? wide : -wide;
    const auto narrow = static_cast<std::int32_t>(signedWide);
    EXPECT_EQ(ParseInt64(std::to_string(signedWide)).value, signedWide);
    EXPECT_EQ(ParseInt64(std::to_string(signedWide)).errorPosition, 0);
    EXPECT_EQ(ParseInt32(std::to_string(narrow)).value, narrow);
    EXPECT_EQ(ParseInt32(std::to_string(narrow)).errorPosition, 0);
  }
}

}  // namespace
}  // namespace dartcirc
