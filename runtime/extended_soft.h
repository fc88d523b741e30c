// The extended real computed in integer arithmetic (runtime/soft_extended.h), with
// the faults of the x87: a condition that the start-up control word leaves
// unmasked ends in the report of the same processor fault. Include
// runtime/extended.h, which chooses this file where there is no x87.
#pragma once

#include <cstdint>

#include "runtime/soft_extended.h"

namespace dartcirc {

struct Extended {
  SoftExtended value;
};

// The format has no state of its own: the precision, the rounding and the
// exceptions raised are those of the start-up control word, always.
inline void ResetFloatingPointUnit() {}
inline std::uint16_t CurrentControlWord() { return StartupControlWord; }

inline SoftExtended Checked(SoftResult result) {
  if (result.conditions != 0) [[unlikely]] RaiseFloatingPointConditions(result.conditions);
  return result.value;
}

inline SoftOrder CheckedOrder(SoftComparison comparison) {
  if (comparison.conditions != 0) [[unlikely]] RaiseFloatingPointConditions(comparison.conditions);
  return comparison.order;
}

// Conversions into the extended format are exact.
inline Extended ExtendedFromInt32(std::int32_t n) { return {SoftFromInt64(n)}; }
inline Extended ExtendedFromInt64(std::int64_t n) { return {SoftFromInt64(n)}; }
inline Extended ExtendedFromDouble(double d) { return {Checked(SoftFromDouble(d))}; }

inline Extended operator+(Extended a, Extended b) { return {Checked(SoftAdd(a.value, b.value))}; }
inline Extended operator-(Extended a, Extended b) { return {Checked(SoftSubtract(a.value, b.value))}; }
inline Extended operator*(Extended a, Extended b) { return {Checked(SoftMultiply(a.value, b.value))}; }
inline Extended operator/(Extended a, Extended b) { return {Checked(SoftDivide(a.value, b.value))}; }

// The relational operators signal on any NaN, equality only on a signalling one,
// as the x87 comparisons that the compiler chooses for them do.
inline bool operator<(Extended a, Extended b) {
  return CheckedOrder(SoftCompareOrdered(a.value, b.value)) == SoftOrder::Less;
}
inline bool operator<=(Extended a, Extended b) {
  const SoftOrder order = CheckedOrder(SoftCompareOrdered(a.value, b.value));
  return order == SoftOrder::Less || order == SoftOrder::Equal;
}
inline bool operator>(Extended a, Extended b) { return b < a; }
inline bool operator>=(Extended a, Extended b) { return b <= a; }
inline bool operator==(Extended a, Extended b) {
  return CheckedOrder(SoftCompareQuiet(a.value, b.value)) == SoftOrder::Equal;
}

// Rounds to the nearest double (ties to even), as a store to a double does.
inline double RoundToDouble(Extended x) {
  const SoftDoubleResult result = SoftRoundToDouble(x.value);
  if (result.conditions != 0) [[unlikely]] RaiseFloatingPointConditions(result.conditions);
  return result.value;
}

// Rounds to the nearest integer, ties to even (the x87 integer store under the
// start-up control word, not C's truncation). The value must fit 64 bits.
inline std::int64_t RoundToInt64(Extended x) {
  const SoftInt64Result result = SoftRoundToInt64(x.value);
  if (result.conditions != 0) [[unlikely]] RaiseFloatingPointConditions(result.conditions);
  return result.value;
}

inline ExtendedBits BitsOf(Extended x) {
  return {(x.value.signAndExponent & 0x8000) != 0,
          static_cast<std::uint16_t>(x.value.signAndExponent & 0x7FFF), x.value.significand};
}

inline Extended ExtendedFromBits(ExtendedBits bits) {
  return {{bits.significand,
           static_cast<std::uint16_t>((bits.sign ? 0x8000 : 0) | (bits.exponentField & 0x7FFF))}};
}

// A constant given by its exact fields, for tables built at compile time:
// signAndExponent is the sign bit above the 15-bit exponent field.
constexpr Extended ExtendedFromFields(std::uint16_t signAndExponent, std::uint64_t significand) {
  return {{significand, signAndExponent}};
}

inline Extended WithoutSign(Extended x) {
  return {{x.value.significand, static_cast<std::uint16_t>(x.value.signAndExponent & 0x7FFF)}};
}

}  // namespace dartcirc
