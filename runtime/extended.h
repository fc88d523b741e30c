// The 80-bit extended real: a sign bit, a 15-bit exponent field with bias 16383 and
// a 64-bit significand with an explicit integer bit. Each operation rounds exactly
// once, to a 64-bit significand, to nearest with ties to even, under the control
// word that the core runtime loads at start-up. On x86 the format is the x87's own
// register and each operation one x87 instruction; elsewhere, or when
// DARTCIRC_SOFT_EXTENDED is defined, it is computed in integer arithmetic with the
// same bits and the same faults. No program file outside these headers touches long
// double.
#pragma once

#include <cstdint>

namespace dartcirc {

// 64-bit significand, round to nearest; invalid operation, division by zero and
// overflow raise; denormal operand, underflow and inexact result are masked.
inline constexpr std::uint16_t StartupControlWord = 0x1332;

// The fields of the format.
struct ExtendedBits {
  bool sign;
  std::uint16_t exponentField;  // 15 bits
  std::uint64_t significand;    // integer bit included
};

}  // namespace dartcirc

#if defined(DARTCIRC_SOFT_EXTENDED) || !(defined(__x86_64__) || defined(__i386__))
#include "runtime/extended_soft.h"
#else
#include "runtime/extended_x87.h"
#endif
