// Text to signed integer, with the 1-based byte position where the text stopped
// being a valid number (0 when all of it was one). The 32-bit and the 64-bit
// conversion differ on purpose in their hexadecimal prefixes, in whether a sign may
// stand before a hexadecimal number, in their hexadecimal ranges and in the
// positions they report at a range failure; neither trims its text.
// The text ends at its first zero byte. A position may lie behind the end.
#pragma once

#include <cstdint>
#include <string_view>

namespace dartcirc {

struct Int32Conversion {
  std::int32_t value;
  std::int32_t errorPosition;
  bool operator==(const Int32Conversion&) const = default;
};

struct Int64Conversion {
  std::int64_t value;
  std::int32_t errorPosition;
  bool operator==(const Int64Conversion&) const = default;
};

// A conversion fed its text piece by piece, then finished: the result of converting
// the whole text at once, from a few bytes of state whatever the text's length, so
// that a line can be converted as it is read. Nothing after a zero byte is looked at.
class Int32Scan {
 public:
  void Feed(std::string_view piece);
  Int32Conversion Finish() const;

 private:
  enum class Phase : std::uint8_t { Spaces, Zero, DecimalStart, Decimal, HexStart, Hex, Done };
  void Take(unsigned char byte, std::uint64_t position);
  Int32Conversion AtEnd(std::uint64_t end) const;

  Phase phase_ = Phase::Spaces;
  bool negative_ = false;
  std::uint32_t magnitude_ = 0;
  std::uint64_t taken_ = 0;   // bytes fed so far: the next one stands at taken_ + 1
  Int32Conversion result_{};  // once Done
};

class Int64Scan {
 public:
  void Feed(std::string_view piece);
  Int64Conversion Finish() const;

 private:
  enum class Phase : std::uint8_t { Spaces, Signed, Zero, Decimal, Hex, Done };
  void Take(unsigned char byte, std::uint64_t position);
  Int64Conversion Stopped(std::uint64_t position, bool atEnd) const;

  Phase phase_ = Phase::Spaces;
  bool negative_ = false;
  bool anyDigit_ = false;
  std::uint64_t value_ = 0;  // unsigned, so that the decimal accumulation wraps
  std::uint64_t taken_ = 0;
  Int64Conversion result_{};
};

Int32Conversion ParseInt32(std::string_view text);
Int64Conversion ParseInt64(std::string_view text);

}  // namespace dartcirc
