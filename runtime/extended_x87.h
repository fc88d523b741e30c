// The extended real as the x87 register: each operation is one x87 instruction.
// Include runtime/extended.h, which chooses this file on x86.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "runtime/x87_compare.h"

namespace dartcirc {

struct Extended {
  long double value;
};

inline void ResetFloatingPointUnit() {
  const std::uint16_t word = StartupControlWord;
  asm volatile("fninit\n\tfldcw %0" : : "m"(word));
}

inline std::uint16_t CurrentControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

// Conversions into the extended format are exact.
inline Extended ExtendedFromInt32(std::int32_t n) { return {static_cast<long double>(n)}; }
inline Extended ExtendedFromInt64(std::int64_t n) { return {static_cast<long double>(n)}; }
inline Extended ExtendedFromDouble(double d) { return {static_cast<long double>(d)}; }

inline Extended operator+(Extended a, Extended b) { return {a.value + b.value}; }
inline Extended operator-(Extended a, Extended b) { return {a.value - b.value}; }
inline Extended operator*(Extended a, Extended b) { return {a.value * b.value}; }
inline Extended operator/(Extended a, Extended b) { return {a.value / b.value}; }
inline bool operator<(Extended a, Extended b) { return X87Above(b.value, a.value); }
inline bool operator<=(Extended a, Extended b) { return X87AboveOrEqual(b.value, a.value); }
inline bool operator>(Extended a, Extended b) { return X87Above(a.value, b.value); }
inline bool operator>=(Extended a, Extended b) { return X87AboveOrEqual(a.value, b.value); }
inline bool operator==(Extended a, Extended b) { return a.value == b.value; }

// Rounds to the nearest double (ties to even), as a store to a double does.
inline double RoundToDouble(Extended x) { return static_cast<double>(x.value); }

// Rounds to the nearest integer, ties to even (the x87 integer store under the
// start-up control word, not C's truncation). The value must fit 64 bits.
inline std::int64_t RoundToInt64(Extended x) {
  std::int64_t result;
  asm("fistpll %0" : "=m"(result) : "t"(x.value) : "st");
  return result;
}

inline ExtendedBits BitsOf(Extended x) {
  unsigned char bytes[sizeof(long double)];
  std::memcpy(bytes, &x.value, sizeof bytes);
  ExtendedBits bits;
  std::memcpy(&bits.significand, bytes, 8);
  const std::uint16_t top = static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8);
  bits.sign = (top & 0x8000) != 0;
  bits.exponentField = top & 0x7FFF;
  return bits;
}

inline Extended ExtendedFromBits(ExtendedBits bits) {
  unsigned char bytes[sizeof(long double)] = {};
  std::memcpy(bytes, &bits.significand, 8);
  const std::uint16_t top = static_cast<std::uint16_t>((bits.sign ? 0x8000 : 0) |
                                                       (bits.exponentField & 0x7FFF));
  bytes[8] = static_cast<unsigned char>(top);
  bytes[9] = static_cast<unsigned char>(top >> 8);
  Extended x;
  std::memcpy(&x.value, bytes, sizeof bytes);
  return x;
}

// A constant given by its exact fields, for tables built at compile time:
// signAndExponent is the sign bit above the 15-bit exponent field.
constexpr Extended ExtendedFromFields(std::uint16_t signAndExponent, std::uint64_t significand) {
  struct Layout {  // the 10 bytes of the format, then the padding of this target
    std::uint32_t significandLow;
    std::uint32_t significandHigh;
    std::uint16_t signAndExponent;
    std::uint16_t unused[(sizeof(long double) - 10) / 2];
  };
  return {std::bit_cast<long double>(Layout{static_cast<std::uint32_t>(significand),
                                            static_cast<std::uint32_t>(significand >> 32), signAndExponent, {}})};
}

inline Extended WithoutSign(Extended x) {
  ExtendedBits bits = BitsOf(x);
  bits.sign = false;
  return ExtendedFromBits(bits);
}

}  // namespace dartcirc
