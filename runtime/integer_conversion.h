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
};

struct Int64Conversion {
  std::int64_t value;
  std::int32_t errorPosition;
};

Int32Conversion ParseInt32(std::string_view text);
Int64Conversion ParseInt64(std::string_view text);

}  // namespace dartcirc
