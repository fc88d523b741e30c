// Both integer conversions on arbitrary bytes. The text lies in a buffer of exactly
// its size, so a read past it is caught. A text is accepted exactly when a grammar
// written here, with its own big-number arithmetic, accepts it and gives the same
// value; the decimal text of every accepted value converts back to it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/integer_conversion.h"

namespace dartcirc {
namespace {

using Magnitude = unsigned __int128;
constexpr Magnitude Saturated = Magnitude{1} << 80;  // above every limit, never wraps

constexpr Magnitude Pow2(int n) { return Magnitude{1} << n; }

int DigitValue(char c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') digit = c - '0';
  if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
  if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
  return digit < base ? digit : -1;
}

// The value of digits, one or more of the base and nothing else; empty otherwise.
std::optional<Magnitude> Digits(std::string_view digits, int base) {
  if (digits.empty()) return std::nullopt;
  Magnitude value = 0;
  for (char c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    value = value >= Saturated ? Saturated : value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

bool StartsWithHexPrefix(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// spaces, then "-" decimal, "+" decimal, "$", "x", "X" or "0x" hexadecimal
// (up to 32 bits, as a pattern), or decimal; the decimal magnitude is at most
// 2^31 - 1, or 2^31 under "-".
std::optional<std::int32_t> Int32Grammar(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  if (text.empty()) return std::nullopt;
  std::optional<Magnitude> value;
  if (text[0] == '-' || text[0] == '+') {
    const bool negative = text[0] == '-';
    value = Digits(text.substr(1), 10);
    if (!value || *value > Pow2(31) - (negative ? 0 : 1)) return std::nullopt;
    const auto magnitude = static_cast<std::uint32_t>(*value);
    return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  }
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    value = Digits(text.substr(1), 16);
  } else if (StartsWithHexPrefix(text)) {
    value = Digits(text.substr(2), 16);
  } else {
    value = Digits(text, 10);
    if (value && *value >= Pow2(31)) return std::nullopt;
  }
  if (!value || *value >= Pow2(32)) return std::nullopt;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}

// spaces, at most one sign, then "$" or "0x" hexadecimal up to 2^63 - 1, or
// decimal up to 2^63 - 1 (2^63 under "-"); the sign applies to either.
std::optional<std::int64_t> Int64Grammar(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  std::optional<Magnitude> value;
  Magnitude limit = Pow2(63) - 1;
  if (!text.empty() && text[0] == '$') {
    value = Digits(text.substr(1), 16);
  } else if (StartsWithHexPrefix(text)) {
    value = Digits(text.substr(2), 16);
  } else {
    value = Digits(text, 10);
    if (negative) limit = Pow2(63);
  }
  if (!value || *value > limit) return std::nullopt;
  const auto magnitude = static_cast<std::uint64_t>(*value);
  return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

void Require(bool holds, const char* property, std::string_view text) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s, text of %zu bytes\n", property, text.size());
  std::abort();
}

}  // namespace
}  // namespace dartcirc

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  const auto exact = std::make_unique<char[]>(size);
  std::memcpy(exact.get(), data, size);
  const std::string_view text(exact.get(), size);
  // The conversions end a text at its first zero byte.
  const std::string_view proper = text.substr(0, text.find('\0'));
  const std::size_t endPosition = proper.size() + 1;

  const Int32Conversion narrow = ParseInt32(text);
  const std::optional<std::int32_t> narrowExpected = Int32Grammar(proper);
  Require((narrow.errorPosition == 0) == narrowExpected.has_value(), "ParseInt32 accepts its grammar", text);
  if (narrowExpected) Require(narrow.value == *narrowExpected, "ParseInt32 value", text);
  // "$" or "0x" with no digit points one past the end marker.
  Require(narrow.errorPosition >= 0 && static_cast<std::size_t>(narrow.errorPosition) <= endPosition + 1,
          "ParseInt32 position within the text", text);

  const Int64Conversion wide = ParseInt64(text);
  const std::optional<std::int64_t> wideExpected = Int64Grammar(proper);
  Require((wide.errorPosition == 0) == wideExpected.has_value(), "ParseInt64 accepts its grammar", text);
  if (wideExpected) Require(wide.value == *wideExpected, "ParseInt64 value", text);
  Require(wide.errorPosition >= 0 && static_cast<std::size_t>(wide.errorPosition) <= endPosition,
          "ParseInt64 position within the text", text);

  // Decimal round trips.
  if (narrowExpected) {
    const std::string decimal = std::to_string(narrow.value);
    const Int32Conversion again = ParseInt32(decimal);
    Require(again.errorPosition == 0 && again.value == narrow.value, "ParseInt32 round trip", text);
  }
  if (wideExpected) {
    const std::string decimal = std::to_string(wide.value);
    const Int64Conversion again = ParseInt64(decimal);
    Require(again.errorPosition == 0 && again.value == wide.value, "ParseInt64 round trip", text);
  }
  return 0;
}
