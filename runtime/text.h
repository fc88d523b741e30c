// The two text shapes of the runtime: a byte string of any length, and the counted
// short text (one length byte, at most 255 bytes) that number formatting produces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dartcirc {

using Text = std::string;

struct ShortText {
  std::uint8_t length = 0;
  char bytes[255];

  std::string_view View() const { return {bytes, length}; }
};

}  // namespace dartcirc
