// Both conversions are folds over the bytes of their text: a byte's meaning never
// depends on more than the byte before it (the 0 of a 0x prefix), so a phase and the
// digits taken so far carry everything from one byte to the next.
#include "runtime/integer_conversion.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace dartcirc {

namespace {

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
std::int32_t ReportedPosition(std::uint64_t position) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(position, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

// ParseInt32: after leading spaces, "-" or "+" and decimal digits, "$", "x", "X" or
// "0x" and hexadecimal digits, or decimal digits at once (a leading 0 is decimal:
// 010 is ten). A stop at a byte fails there, with the unsigned magnitude taken so
// far; the range of a decimal number is decided at the end.
void Int32Scan::Feed(std::string_view piece) {
  for (std::size_t i = 0; i < piece.size() && phase_ != Phase::Done; ++i) {
    Take(static_cast<unsigned char>(piece[i]), ++taken_);
  }
}

Int32Conversion Int32Scan::Finish() const { return phase_ == Phase::Done ? result_ : AtEnd(taken_ + 1); }

void Int32Scan::Take(unsigned char byte, std::uint64_t position) {
  if (byte == 0) {  // the end of the text
    result_ = AtEnd(position);
    phase_ = Phase::Done;
    return;
  }
  switch (phase_) {
    case Phase::Spaces:
      if (byte == ' ') return;
      if (byte == '-' || byte == '+') {
        negative_ = byte == '-';
        phase_ = Phase::DecimalStart;
        return;
      }
      if (byte == '$' || byte == 'x' || byte == 'X') {
        phase_ = Phase::HexStart;
        return;
      }
      if (byte == '0') {
        phase_ = Phase::Zero;
        return;
      }
      phase_ = Phase::Decimal;
      break;
    case Phase::Zero:
      if (byte == 'x' || byte == 'X') {
        phase_ = Phase::HexStart;
        return;
      }
      phase_ = Phase::Decimal;  // the 0 was a digit
      break;
    case Phase::DecimalStart: phase_ = Phase::Decimal; break;
    case Phase::HexStart: phase_ = Phase::Hex; break;
    default: break;
  }
  const bool hex = phase_ == Phase::Hex;
  const int digit = hex ? HexDigitValue(byte) : IsDecimalDigit(byte) ? byte - '0' : -1;
  if (digit < 0 || magnitude_ > (hex ? 0x0FFFFFFFu : 214748364u)) {  // a decimal magnitude never wraps
    result_ = {static_cast<std::int32_t>(magnitude_), ReportedPosition(position)};
    phase_ = Phase::Done;
    return;
  }
  magnitude_ = magnitude_ * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
}

Int32Conversion Int32Scan::AtEnd(std::uint64_t end) const {
  const std::uint32_t pattern = negative_ ? 0u - magnitude_ : magnitude_;
  switch (phase_) {
    case Phase::Zero: return {0, 0};
    case Phase::HexStart: return {0, ReportedPosition(end + 1)};  // "$" alone fails at 3
    case Phase::Hex: return {static_cast<std::int32_t>(magnitude_), 0};  // a 32-bit pattern: $FFFFFFFF is -1
    case Phase::Decimal: {
      const bool outOfRange = magnitude_ > (negative_ ? 0x80000000u : 0x7FFFFFFFu);  // -2147483648 is in range
      return {static_cast<std::int32_t>(pattern), outOfRange ? ReportedPosition(end) : 0};
    }
    default: return {0, ReportedPosition(end)};  // no digit at all
  }
}

// ParseInt64: after leading spaces and at most one sign, "$" or "0x" and
// hexadecimal digits, or decimal digits. The digits stop at a byte that is none, or
// once the value can take no further digit; the value is negated under "-", and a
// decimal magnitude that wrapped past 2^63 leaves a sign that does not match, which
// points the failure back at the last digit taken in.
void Int64Scan::Feed(std::string_view piece) {
  for (std::size_t i = 0; i < piece.size() && phase_ != Phase::Done; ++i) {
    Take(static_cast<unsigned char>(piece[i]), ++taken_);
  }
}

Int64Conversion Int64Scan::Finish() const { return phase_ == Phase::Done ? result_ : Stopped(taken_ + 1, true); }

void Int64Scan::Take(unsigned char byte, std::uint64_t position) {
  if (byte == 0) {
    result_ = Stopped(position, true);
    phase_ = Phase::Done;
    return;
  }
  switch (phase_) {
    case Phase::Spaces:
      if (byte == ' ') return;
      if (byte == '-' || byte == '+') {
        negative_ = byte == '-';
        phase_ = Phase::Signed;
        return;
      }
      [[fallthrough]];
    case Phase::Signed:
      phase_ = byte == '$' ? Phase::Hex : byte == '0' ? Phase::Zero : Phase::Decimal;
      if (phase_ != Phase::Decimal) return;
      break;
    case Phase::Zero:
      if (byte == 'x' || byte == 'X') {
        phase_ = Phase::Hex;
        return;
      }
      phase_ = Phase::Decimal;  // the 0 was a digit
      anyDigit_ = true;
      break;
    default: break;
  }
  const bool hex = phase_ == Phase::Hex;
  const int digit = hex ? HexDigitValue(byte) : IsDecimalDigit(byte) ? byte - '0' : -1;
  if (digit < 0 || value_ > (hex ? 0x07FFFFFFFFFFFFFFu : 0x0CCCCCCCCCCCCCCCu)) {
    result_ = Stopped(position, false);
    phase_ = Phase::Done;
    return;
  }
  value_ = value_ * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);  // decimal wraps past 2^63 - 1
  anyDigit_ = true;
}

Int64Conversion Int64Scan::Stopped(std::uint64_t position, bool atEnd) const {
  if (phase_ == Phase::Zero) return {0, 0};  // a lone 0 at the end
  const std::uint64_t value = negative_ ? 0 - value_ : value_;
  const bool wrapped = phase_ == Phase::Decimal && value != 0 && (static_cast<std::int64_t>(value) < 0) != negative_;
  if (wrapped) return {static_cast<std::int64_t>(value), ReportedPosition(position - 1)};
  return {static_cast<std::int64_t>(value), atEnd && anyDigit_ ? 0 : ReportedPosition(position)};
}

Int32Conversion ParseInt32(std::string_view text) {
  Int32Scan scan;
  scan.Feed(text);
  return scan.Finish();
}

Int64Conversion ParseInt64(std::string_view text) {
  Int64Scan scan;
  scan.Feed(text);
  return scan.Finish();
}

}  // namespace dartcirc
