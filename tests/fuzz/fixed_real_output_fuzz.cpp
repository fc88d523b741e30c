// FormatFixedReal on any 80-bit pattern, unsupported encodings included, with any
// width and decimals, under the process's floating-point setting (invalid
// operation, division by zero and overflow fault): the text is the exact rendering
// of the value. Flag bits after the fixed fields steer values to where the forms
// and the rounding ties change.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/fixed_real_output.h"
#include "tests/support/exact_real.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  if (size < 18) return 0;
  ResetFloatingPointUnit();  // first: it empties the register stack
  std::uint64_t significand;
  std::uint16_t signAndExponent;
  std::int32_t width, decimals;
  std::memcpy(&significand, data, 8);
  std::memcpy(&signAndExponent, data + 8, 2);
  std::memcpy(&width, data + 10, 4);
  std::memcpy(&decimals, data + 14, 4);
  const std::uint8_t flags = size > 18 ? data[18] : 0;
  if (flags & 1) {  // small widths and decimals, where the shapes change
    width = static_cast<std::int8_t>(width);
    decimals = static_cast<std::int8_t>(decimals);
  }
  if (flags & 2) {  // from about 10^-21 to 2^125, mostly the fixed form
    signAndExponent = static_cast<std::uint16_t>((signAndExponent & 0x8000) | (16313 + signAndExponent % 196));
    significand |= testing::IntegerBit;
  }
  if (flags & 4) significand &= ~std::uint64_t{0} << (flags >> 3) % 64;  // short binary fractions
  Extended value = ExtendedFromFields(signAndExponent, significand);
  if (flags & 8) {  // short decimals, where the rounding ties lie
    const auto digits = static_cast<std::int64_t>(significand % testing::PowerOfTen(1 + flags / 16 % 18));
    value = testing::Nearest(signAndExponent & 0x8000 ? -digits : digits, signAndExponent % 28);
  }

  ShortText text;
  FormatFixedReal(value, width, decimals, text);
  const std::string expected = testing::ExactFixedReal(value, width, decimals);
  if (text.View() != expected) {
    std::fprintf(stderr, "%04X %016llX width %d decimals %d: \"%s\", not \"%s\"\n",
                 signAndExponent, static_cast<unsigned long long>(significand), width, decimals,
                 std::string(text.View()).c_str(), expected.c_str());
    std::abort();
  }
  return 0;
}
