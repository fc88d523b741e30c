// Both integer conversions on arbitrary bytes, held in a buffer of exactly their
// size so that a read past it is caught. A text is accepted exactly when a grammar
// written here, with its own wide arithmetic, accepts it, and then with the same
// value; a rejected text reports a position within it (or just past its end). Fed a
// byte at a time, a text converts as it does whole.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "runtime/integer_conversion.h"
#include "tests/support/require.h"

namespace {

using Magnitude = unsigned __int128;
constexpr Magnitude Pow2(int n) { return Magnitude{1} << n; }

// The value of one or more digits of the base and nothing else, saturating far above
// every limit.
std::optional<Magnitude> Digits(std::string_view digits, unsigned base) {
  Magnitude value = 0;
  for (char c : digits) {
    const auto digit = static_cast<unsigned>(std::string_view("0123456789ABCDEF").find(c >= 'a' ? c - 32 : c));
    if (digit >= base) return std::nullopt;
    value = std::min(value * base + digit, Pow2(80));
  }
  return digits.empty() ? std::nullopt : std::optional(value);
}

// After leading spaces: a sign takes decimals up to 2^31 - 1 (2^31 under "-"); "$",
// "x", "X" or "0x" take hexadecimal up to 32 bits as a pattern; plain decimals stay
// below 2^31.
std::optional<std::int32_t> Int32Grammar(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  const bool sign = text.starts_with('-') || text.starts_with('+'), negative = text.starts_with('-');
  const std::size_t prefix = sign || (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) ? 1
                             : text.starts_with("0x") || text.starts_with("0X")                      ? 2 : 0;
  const std::optional<Magnitude> value = Digits(text.substr(prefix), sign || prefix == 0 ? 10 : 16);
  const Magnitude limit = sign ? Pow2(31) - (negative ? 0 : 1) : prefix == 0 ? Pow2(31) - 1 : Pow2(32) - 1;
  if (!value || *value > limit) return std::nullopt;
  return static_cast<std::int32_t>(negative ? 0u - static_cast<std::uint32_t>(*value) : static_cast<std::uint32_t>(*value));
}

// After leading spaces and at most one sign: "$" or "0x" hexadecimal, or decimals,
// up to 2^63 - 1, or 2^63 for negative decimals.
std::optional<std::int64_t> Int64Grammar(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  const std::size_t prefix = text.starts_with('$') ? 1 : text.starts_with("0x") || text.starts_with("0X") ? 2 : 0;
  const std::optional<Magnitude> value = Digits(text.substr(prefix), prefix == 0 ? 10 : 16);
  if (!value || *value > Pow2(63) - (negative && prefix == 0 ? 0 : 1)) return std::nullopt;
  return static_cast<std::int64_t>(negative ? 0 - static_cast<std::uint64_t>(*value) : static_cast<std::uint64_t>(*value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  using testing::Require;
  const auto exact = std::make_unique<char[]>(size);
  std::memcpy(exact.get(), data, size);
  const std::string_view text(exact.get(), size);
  const std::string_view proper = text.substr(0, text.find('\0'));  // a zero byte ends the text

  const Int32Conversion narrow = ParseInt32(text);
  const std::optional<std::int32_t> narrowExpected = Int32Grammar(proper);
  Require((narrow.errorPosition == 0) == narrowExpected.has_value(), "ParseInt32 accepts its grammar");
  Require(!narrowExpected || narrow.value == *narrowExpected, "ParseInt32 value");
  // "$" or "0x" with no digit points one past the end marker.
  Require(narrow.errorPosition >= 0 && narrow.errorPosition <= static_cast<std::int32_t>(proper.size()) + 2,
          "ParseInt32 position");

  const Int64Conversion wide = ParseInt64(text);
  const std::optional<std::int64_t> wideExpected = Int64Grammar(proper);
  Require((wide.errorPosition == 0) == wideExpected.has_value(), "ParseInt64 accepts its grammar");
  Require(!wideExpected || wide.value == *wideExpected, "ParseInt64 value");
  Require(wide.errorPosition >= 0 && wide.errorPosition <= static_cast<std::int32_t>(proper.size()) + 1,
          "ParseInt64 position");

  Int32Scan narrowScan;
  Int64Scan wideScan;
  for (std::size_t at = 0; at < size; ++at) narrowScan.Feed(text.substr(at, 1)), wideScan.Feed(text.substr(at, 1));
  Require(narrowScan.Finish() == narrow && wideScan.Finish() == wide, "a byte at a time, as whole");

  return 0;
}
