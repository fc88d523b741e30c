// Filling in the runtime's message templates, in fixed buffers and without the heap.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace dartcirc {

// One value for a template: "%s" takes text, the other directives take number.
struct FormatArg {
  std::string_view text;
  std::uint64_t number = 0;
};

// Copies pattern into out, replacing "%s" by text, "%p" by an address in at least
// 8 upper-case hexadecimal digits, "%x" by upper-case hexadecimal without leading
// zeros and "%d" by signed decimal. A directive takes the next argument, or the
// one it names in the form "%2:s", after which the count goes on from there. The
// text is cut at capacity, never inside a double-byte character. Gives its length.
std::uint32_t FillTemplate(std::string_view pattern, std::span<const FormatArg> args, char* out,
                           std::uint32_t capacity);

}  // namespace dartcirc
