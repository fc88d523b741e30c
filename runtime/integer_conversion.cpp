#include "runtime/integer_conversion.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace dartcirc {

namespace {

// The bytes of a text by 1-based position, with the zero end marker just behind
// the last byte (and everywhere further on).
class Bytes {
 public:
  explicit Bytes(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

  std::size_t EndPosition() const { return text_.size() + 1; }
  bool Empty() const { return text_.empty(); }
  unsigned char At(std::size_t position) const {
    return position < EndPosition() ? static_cast<unsigned char>(text_[position - 1]) : 0;
  }

 private:
  std::string_view text_;
};

bool IsDecimalDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// -1 for a byte that is no hexadecimal digit.
int HexDigitValue(unsigned char byte) {
  if (IsDecimalDigit(byte)) return byte - '0';
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  return -1;
}

// A text of 2 GiB or more would carry positions past the 32-bit range; they stay
// positive so that a failure never reads as success.
std::int32_t ReportedPosition(std::size_t position) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(position, std::numeric_limits<std::int32_t>::max()));
}

Int32Conversion Failure32(std::uint32_t pattern, std::size_t position) {
  return {static_cast<std::int32_t>(pattern), ReportedPosition(position)};
}

Int32Conversion Decimal32(const Bytes& bytes, std::size_t first, bool negative) {
  if (bytes.At(first) == 0) return {0, ReportedPosition(first)};
  std::uint32_t magnitude = 0;  // at most 2,147,483,649: never wraps
  for (std::size_t position = first; bytes.At(position) != 0; ++position) {
    const unsigned char byte = bytes.At(position);
    if (!IsDecimalDigit(byte) || magnitude > 214748364) return Failure32(magnitude, position);
    magnitude = magnitude * 10 + (byte - '0');
  }
  const std::uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  const std::uint32_t pattern = negative ? 0u - magnitude : magnitude;
  if (magnitude > limit) return Failure32(pattern, bytes.EndPosition());
  return {static_cast<std::int32_t>(pattern), 0};
}

Int32Conversion Hex32(const Bytes& bytes, std::size_t first) {
  if (bytes.At(first) == 0) return {0, ReportedPosition(first + 1)};
  std::uint32_t value = 0;
  for (std::size_t position = first; bytes.At(position) != 0; ++position) {
    const int digit = HexDigitValue(bytes.At(position));
    if (digit < 0 || value > 0x0FFFFFFF) return Failure32(value, position);
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return {static_cast<std::int32_t>(value), 0};
}

}  // namespace

Int32Conversion ParseInt32(std::string_view text) {
  const Bytes bytes(text);
  if (bytes.Empty()) return {0, 1};
  std::size_t position = 1;
  while (bytes.At(position) == ' ') ++position;

  const unsigned char byte = bytes.At(position);
  const unsigned char next = bytes.At(position + 1);
  if (byte == '-') return Decimal32(bytes, position + 1, true);
  if (byte == '+') return Decimal32(bytes, position + 1, false);
  if (byte == '$' || byte == 'x' || byte == 'X') return Hex32(bytes, position + 1);
  if (byte == '0' && (next == 'x' || next == 'X')) return Hex32(bytes, position + 2);
  return Decimal32(bytes, position, false);  // a leading 0 is decimal: 010 is ten
}

Int64Conversion ParseInt64(std::string_view text) {
  const Bytes bytes(text);
  if (bytes.Empty()) return {0, 1};
  std::size_t position = 1;
  while (bytes.At(position) == ' ') ++position;

  const bool negative = bytes.At(position) == '-';
  if (negative || bytes.At(position) == '+') ++position;

  // Unsigned, so that the decimal accumulation wraps instead of overflowing. Read as
  // signed, a value above the limits below is negative or too large to take a digit.
  std::uint64_t value = 0;
  bool anyDigit = false;
  const unsigned char byte = bytes.At(position);
  const unsigned char next = bytes.At(position + 1);
  if (byte == '$' || (byte == '0' && (next == 'x' || next == 'X'))) {
    position += byte == '$' ? 1 : 2;
    for (;; ++position) {
      const int digit = HexDigitValue(bytes.At(position));
      if (digit < 0 || value > 0x07FFFFFFFFFFFFFFu) break;
      value = value * 16 + static_cast<std::uint64_t>(digit);
      anyDigit = true;
    }
    if (negative) value = 0 - value;
  } else {
    for (;; ++position) {
      const unsigned char digit = bytes.At(position);
      if (!IsDecimalDigit(digit) || value > 0x0CCCCCCCCCCCCCCCu) break;
      value = value * 10 + (digit - '0');  // wraps past 2^63 - 1
      anyDigit = true;
    }
    if (negative) value = 0 - value;
    // A magnitude that wrapped leaves a sign that does not match: the failure then
    // points at the last digit taken in.
    const bool valueNegative = static_cast<std::int64_t>(value) < 0;
    if (value != 0 && valueNegative != negative) --position;
  }
  const bool whole = anyDigit && bytes.At(position) == 0;
  return {static_cast<std::int64_t>(value), whole ? 0 : ReportedPosition(position)};
}

}  // namespace dartcirc
