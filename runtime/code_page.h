// Code page 932 (Shift_JIS): which bytes begin a double-byte character. A trail
// byte is never looked at as a separator, quote or backslash.
#pragma once

namespace dartcirc {

inline bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace dartcirc
