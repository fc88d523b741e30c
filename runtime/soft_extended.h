// The 80-bit extended real computed in integer arithmetic, for targets without an
// x87. Each operation gives the bits that the x87 gives under the start-up control
// word (64-bit significand, nearest with ties to even, underflow, denormal operand
// and inexact result masked) together with the conditions it would raise there;
// the value is the x87's masked response, so that a caller may either raise the
// conditions or compare the value with an x87 run whose exceptions are all masked.
#pragma once

#include <cstdint>

namespace dartcirc {

struct SoftExtended {
  std::uint64_t significand;        // integer bit included
  std::uint16_t signAndExponent;    // sign bit above the 15-bit exponent field
};

// Conditions, as the bits of the x87 status word.
inline constexpr unsigned ConditionInvalid = 0x01;
inline constexpr unsigned ConditionZeroDivide = 0x04;
inline constexpr unsigned ConditionOverflow = 0x08;

struct SoftResult {
  SoftExtended value;
  unsigned conditions;
};

struct SoftDoubleResult {
  double value;
  unsigned conditions;
};

struct SoftInt64Result {
  std::int64_t value;
  unsigned conditions;
};

enum class SoftOrder { Less, Equal, Greater, Unordered };

struct SoftComparison {
  SoftOrder order;
  unsigned conditions;
};

SoftExtended SoftFromInt64(std::int64_t n);
SoftResult SoftFromDouble(double d);
SoftResult SoftAdd(SoftExtended a, SoftExtended b);
SoftResult SoftSubtract(SoftExtended a, SoftExtended b);
SoftResult SoftMultiply(SoftExtended a, SoftExtended b);
SoftResult SoftDivide(SoftExtended a, SoftExtended b);
SoftDoubleResult SoftRoundToDouble(SoftExtended x);
SoftInt64Result SoftRoundToInt64(SoftExtended x);

// The ordered comparison signals on any NaN (as the relational operators do); the
// quiet one only on a signalling NaN (as equality does). Both signal on the
// encodings the x87 does not support.
SoftComparison SoftCompareOrdered(SoftExtended a, SoftExtended b);
SoftComparison SoftCompareQuiet(SoftExtended a, SoftExtended b);

// Ends the process with the report of the processor fault that the x87 raises for
// the first of these conditions. Nothing on this path touches the heap.
[[noreturn]] void RaiseFloatingPointConditions(unsigned conditions);

}  // namespace dartcirc
