// FormatFixedReal on every 80-bit pattern, unsupported encodings included, with
// any width and any decimals, under the floating-point setting of the process
// (invalid operation, division by zero and overflow are faults). The text never
// passes 255 bytes, holds only the bytes a number, "Nan" or "Inf" can show, and has
// the shape its form prescribes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/extended.h"
#include "runtime/fixed_real_output.h"

namespace dartcirc {
namespace {

void Require(bool holds, const char* property, std::string_view text) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s: \"%.*s\"\n", property, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t CountDigits(std::string_view text) {
  return static_cast<std::size_t>(std::find_if_not(text.begin(), text.end(), IsDigit) - text.begin());
}

// [-]d.d…dE±dddd with the given number of significant digits; a space in place of "-".
bool IsExponentForm(std::string_view body, bool negative, std::size_t shown) {
  if (body.size() != shown + 8 || body[0] != (negative ? '-' : ' ')) return false;
  body.remove_prefix(1);
  if (!IsDigit(body[0]) || body[1] != '.' || CountDigits(body.substr(2)) != shown - 1) return false;
  body.remove_prefix(shown + 1);
  return body[0] == 'E' && (body[1] == '+' || body[1] == '-') && CountDigits(body.substr(2)) == 4;
}

// [-]digits[.decimals]: at most 37 integer digits without a leading zero (but
// for a lone 0), and a point only when there are decimals.
bool IsFixedForm(std::string_view body, bool negative, std::int32_t decimals) {
  if (negative != (!body.empty() && body[0] == '-')) return false;
  if (negative) body.remove_prefix(1);
  const std::size_t integerDigits = CountDigits(body);
  if (integerDigits == 0 || integerDigits > 37 || (body[0] == '0' && integerDigits > 1)) return false;
  body.remove_prefix(integerDigits);
  const auto shownDecimals = static_cast<std::size_t>(std::min(decimals, LargestDecimals));
  if (shownDecimals == 0) return body.empty();
  return body.size() == shownDecimals + 1 && body[0] == '.' && CountDigits(body.substr(1)) == shownDecimals;
}

}  // namespace
}  // namespace dartcirc

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  if (size < 18) return 0;
  std::uint8_t pattern[10];
  std::int32_t width, decimals;
  std::memcpy(pattern, data, 10);
  std::memcpy(&width, data + 10, 4);
  std::memcpy(&decimals, data + 14, 4);
  // Small widths and decimals, where the shapes change, far more often than huge ones.
  if (size > 18 && data[18] % 2 == 0) {
    width = static_cast<std::int8_t>(width);
    decimals = static_cast<std::int8_t>(decimals);
  }
  ExtendedBits bits;
  std::memcpy(&bits.significand, pattern, 8);
  bits.sign = (pattern[9] & 0x80) != 0;
  bits.exponentField = static_cast<std::uint16_t>((pattern[9] & 0x7F) << 8 | pattern[8]);

  ResetFloatingPointUnit();
  ShortText text;
  FormatFixedReal(ExtendedFromBits(bits), width, decimals, text);
  const std::string_view shown = text.View();

  Require(std::all_of(shown.begin(), shown.end(),
                      [](char c) { return std::string_view(" -+.0123456789ENanIf").find(c) != std::string_view::npos; }),
          "only permitted bytes", shown);
  // Right-aligned: spaces fill the field up to the width, limited to 255.
  const std::int32_t field = std::min(width, LargestTextWidth);
  std::size_t spaces = shown.find_first_not_of(' ');
  Require(spaces != std::string_view::npos, "a body after the spaces", shown);
  std::string_view body = shown.substr(spaces);
  const bool exponentForm = decimals < 0 || body.find('E') != std::string_view::npos;
  if (exponentForm && !bits.sign && bits.exponentField != 0x7FFF) {
    --spaces;  // the exponent form shows a positive sign as a space of its own
    body = shown.substr(spaces);
  }
  Require(spaces == 0 || static_cast<std::int32_t>(shown.size()) == field, "spaces only fill the field", shown);
  Require(static_cast<std::int32_t>(shown.size()) >= field, "the field is filled", shown);

  const std::uint64_t integerBit = std::uint64_t{1} << 63;
  if (bits.exponentField == 0x7FFF) {
    const std::string_view special = bits.significand != integerBit ? "Nan" : bits.sign ? "-Inf" : "+Inf";
    Require(body == special, "Nan or a signed Inf", shown);
  } else if (exponentForm) {
    const auto digits = static_cast<std::size_t>(std::clamp(field, 10, 26) - 8);
    Require(IsExponentForm(body, bits.sign, digits), "exponent form", shown);
    // Asked for with decimals, the exponent form stands only for magnitudes from 10^36 up.
    const std::string_view exponent = body.substr(body.size() - 5);
    Require(decimals < 0 || (exponent[0] == '+' && exponent.substr(1) >= "0036"),
            "exponent form only when asked or from 10^36", shown);
  } else {
    Require(IsFixedForm(body, bits.sign, decimals), "fixed form", shown);
  }
  return 0;
}
