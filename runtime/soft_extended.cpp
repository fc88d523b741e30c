#include "runtime/soft_extended.h"

#include <bit>
#include <utility>

#include "runtime/termination.h"

namespace dartcirc {

namespace {

using Wide = unsigned __int128;

constexpr int Bias = 16383;
constexpr int MaxField = 0x7FFF;
constexpr std::uint16_t SignBit = 0x8000;
constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63;
constexpr std::uint64_t QuietBit = std::uint64_t{1} << 62;

// The NaN the x87 makes when an operation has no meaningful result.
constexpr SoftExtended Indefinite = {0xC000000000000000, 0xFFFF};
constexpr std::uint64_t DoubleIndefinite = 0xFFF8000000000000;
constexpr std::int64_t IntegerIndefinite = INT64_MIN;

// Unnormals, pseudo-infinities and pseudo-NaNs are Unsupported: the x87 treats
// them as invalid operands. Denormals and pseudo-denormals are Finite.
enum class Kind { Zero, Finite, Infinity, QuietNan, SignallingNan, Unsupported };

struct Unpacked {
  Kind kind;
  bool sign;
  int exponent;               // of the integer bit, unbiased (Finite only)
  std::uint64_t significand;  // integer bit set (Finite only)
};

Unpacked Unpack(SoftExtended x) {
  const bool sign = (x.signAndExponent & SignBit) != 0;
  const int field = x.signAndExponent & MaxField;
  const std::uint64_t s = x.significand;
  if (field == MaxField) {
    if ((s & IntegerBit) == 0) return {Kind::Unsupported, sign, 0, 0};
    if ((s << 1) == 0) return {Kind::Infinity, sign, 0, 0};
    return {(s & QuietBit) != 0 ? Kind::QuietNan : Kind::SignallingNan, sign, 0, 0};
  }
  if (field == 0) {
    if (s == 0) return {Kind::Zero, sign, 0, 0};
    const int shift = std::countl_zero(s);  // a field of 0 scales as a field of 1
    return {Kind::Finite, sign, 1 - Bias - shift, s << shift};
  }
  if ((s & IntegerBit) == 0) return {Kind::Unsupported, sign, 0, 0};
  return {Kind::Finite, sign, field - Bias, s};
}

bool IsNan(const Unpacked& x) { return x.kind == Kind::QuietNan || x.kind == Kind::SignallingNan; }

std::uint16_t SignOf(bool sign) { return sign ? SignBit : 0; }
SoftExtended Zero(bool sign) { return {0, SignOf(sign)}; }
SoftExtended Infinity(bool sign) { return {IntegerBit, static_cast<std::uint16_t>(SignOf(sign) | MaxField)}; }

// Shifts right, keeping every bit shifted out as a one in bit 0, so that the
// result still rounds as the exact value does when at least two bits lie below
// the rounding place.
Wide ShiftRightSticky(Wide m, int count) {
  if (count == 0) return m;
  if (count >= 128) return m != 0;
  return (m >> count) | ((m << (128 - count)) != 0);
}

int LeadingZeros(Wide m) {
  const auto high = static_cast<std::uint64_t>(m >> 64);
  return high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<std::uint64_t>(m));
}

// Rounds m * 2^(exponent - 127), m nonzero, once to the format: to nearest with
// ties to even at 64 bits, or at the denormal places when the result is tiny
// (underflow is masked); overflow gives the masked infinity and the condition.
SoftResult Round(bool sign, int exponent, Wide m) {
  const int shift = LeadingZeros(m);
  m <<= shift;
  int field = exponent - shift + Bias;
  const bool tiny = field < 1;
  if (tiny) m = ShiftRightSticky(m, 1 - field);
  auto kept = static_cast<std::uint64_t>(m >> 64);
  const auto rest = static_cast<std::uint64_t>(m);
  if (rest > IntegerBit || (rest == IntegerBit && (kept & 1) != 0)) {
    ++kept;
    if (kept == 0) {
      kept = IntegerBit;
      ++field;
    }
  }
  if (tiny) field = (kept & IntegerBit) != 0 ? 1 : 0;
  if (field >= MaxField) return {Infinity(sign), ConditionOverflow};
  return {{kept, static_cast<std::uint16_t>(SignOf(sign) | field)}, 0};
}

// significand * 2^-dropped rounded to an integer, to nearest with ties to even,
// for dropped from 0 to 64.
Wide RoundedShift(std::uint64_t significand, int dropped) {
  const Wide whole = Wide{significand} << 1;  // a bit more, so that a half exists when dropped is 0
  Wide kept = whole >> (dropped + 1);
  const Wide rest = whole & ((Wide{1} << (dropped + 1)) - 1);
  const Wide half = Wide{1} << dropped;
  if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
  return kept;
}

SoftResult Reencoded(const Unpacked& x) { return Round(x.sign, x.exponent, Wide{x.significand} << 64); }

// An unsupported operand gives the indefinite NaN; otherwise a NaN operand is
// passed on quieted, the one with the larger significand (the positive one of
// two equal ones) when both are NaNs. A signalling NaN is an invalid operation.
bool TakeNanOperand(SoftExtended a, SoftExtended b, const Unpacked& x, const Unpacked& y,
                    SoftResult& result) {
  if (x.kind == Kind::Unsupported || y.kind == Kind::Unsupported) {
    result = {Indefinite, ConditionInvalid};
    return true;
  }
  if (!IsNan(x) && !IsNan(y)) return false;
  SoftExtended chosen = IsNan(x) ? a : b;
  if (IsNan(x) && IsNan(y) &&
      (b.significand > a.significand || (b.significand == a.significand && (b.signAndExponent & SignBit) == 0))) {
    chosen = b;
  }
  chosen.significand |= QuietBit;
  const bool signalling = x.kind == Kind::SignallingNan || y.kind == Kind::SignallingNan;
  result = {chosen, signalling ? ConditionInvalid : 0};
  return true;
}

SoftResult AddSigned(SoftExtended a, SoftExtended b, bool negateB) {
  Unpacked x = Unpack(a);
  Unpacked y = Unpack(b);
  SoftResult result;
  if (TakeNanOperand(a, b, x, y, result)) return result;
  y.sign = y.sign != negateB;
  if (x.kind == Kind::Infinity || y.kind == Kind::Infinity) {
    if (x.kind == y.kind && x.sign != y.sign) return {Indefinite, ConditionInvalid};
    return {Infinity(x.kind == Kind::Infinity ? x.sign : y.sign), 0};
  }
  if (y.kind == Kind::Zero) {
    if (x.kind == Kind::Zero) return {Zero(x.sign && y.sign), 0};
    return Reencoded(x);
  }
  if (x.kind == Kind::Zero) return Reencoded(y);
  if (x.exponent < y.exponent || (x.exponent == y.exponent && x.significand < y.significand)) {
    std::swap(x, y);
  }
  const Wide larger = Wide{x.significand} << 63;  // a spare bit above for the carry
  const Wide smaller = ShiftRightSticky(Wide{y.significand} << 63, x.exponent - y.exponent);
  if (x.sign == y.sign) return Round(x.sign, x.exponent + 1, larger + smaller);
  if (larger == smaller) return {Zero(false), 0};  // an exact zero difference is +0
  return Round(x.sign, x.exponent + 1, larger - smaller);
}

}  // namespace

SoftExtended SoftFromInt64(std::int64_t n) {
  if (n == 0) return Zero(false);
  const bool sign = n < 0;
  const std::uint64_t magnitude = sign ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  const int shift = std::countl_zero(magnitude);
  return {magnitude << shift, static_cast<std::uint16_t>(SignOf(sign) | (63 - shift + Bias))};
}

SoftResult SoftFromDouble(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  const bool sign = (bits >> 63) != 0;
  const int field = static_cast<int>(bits >> 52) & 0x7FF;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (field == 0x7FF) {
    const auto top = static_cast<std::uint16_t>(SignOf(sign) | MaxField);
    if (fraction == 0) return {Infinity(sign), 0};
    const std::uint64_t significand = IntegerBit | fraction << 11;
    if ((significand & QuietBit) != 0) return {{significand, top}, 0};
    return {{significand | QuietBit, top}, ConditionInvalid};
  }
  if (field == 0) {
    if (fraction == 0) return {Zero(sign), 0};
    const int shift = std::countl_zero(fraction);
    return {{fraction << shift, static_cast<std::uint16_t>(SignOf(sign) | (63 - shift - 1074 + Bias))}, 0};
  }
  return {{IntegerBit | fraction << 11, static_cast<std::uint16_t>(SignOf(sign) | (field - 1023 + Bias))}, 0};
}

SoftResult SoftAdd(SoftExtended a, SoftExtended b) { return AddSigned(a, b, false); }
SoftResult SoftSubtract(SoftExtended a, SoftExtended b) { return AddSigned(a, b, true); }

SoftResult SoftMultiply(SoftExtended a, SoftExtended b) {
  const Unpacked x = Unpack(a);
  const Unpacked y = Unpack(b);
  SoftResult result;
  if (TakeNanOperand(a, b, x, y, result)) return result;
  const bool sign = x.sign != y.sign;
  if (x.kind == Kind::Infinity || y.kind == Kind::Infinity) {
    if (x.kind == Kind::Zero || y.kind == Kind::Zero) return {Indefinite, ConditionInvalid};
    return {Infinity(sign), 0};
  }
  if (x.kind == Kind::Zero || y.kind == Kind::Zero) return {Zero(sign), 0};
  return Round(sign, x.exponent + y.exponent + 1, Wide{x.significand} * y.significand);
}

SoftResult SoftDivide(SoftExtended a, SoftExtended b) {
  const Unpacked x = Unpack(a);
  const Unpacked y = Unpack(b);
  SoftResult result;
  if (TakeNanOperand(a, b, x, y, result)) return result;
  const bool sign = x.sign != y.sign;
  if (x.kind == Kind::Infinity) {
    if (y.kind == Kind::Infinity) return {Indefinite, ConditionInvalid};
    return {Infinity(sign), 0};
  }
  if (y.kind == Kind::Infinity) return {Zero(sign), 0};
  if (y.kind == Kind::Zero) {
    if (x.kind == Kind::Zero) return {Indefinite, ConditionInvalid};
    return {Infinity(sign), ConditionZeroDivide};
  }
  if (x.kind == Kind::Zero) return {Zero(sign), 0};
  // A quotient of 64 bits, then 64 more from the remainder and a sticky bit.
  int exponent = x.exponent - y.exponent;
  Wide dividend = Wide{x.significand} << 63;
  if (x.significand < y.significand) {
    dividend <<= 1;
    --exponent;
  }
  const auto high = static_cast<std::uint64_t>(dividend / y.significand);
  const Wide remainder = (dividend - Wide{high} * y.significand) << 64;
  const auto low = static_cast<std::uint64_t>(remainder / y.significand);
  const bool sticky = remainder != Wide{low} * y.significand;
  return Round(sign, exponent, (Wide{high} << 64) | low | sticky);
}

SoftDoubleResult SoftRoundToDouble(SoftExtended a) {
  const Unpacked x = Unpack(a);
  const std::uint64_t sign = x.sign ? std::uint64_t{1} << 63 : 0;
  const std::uint64_t infinity = std::uint64_t{0x7FF} << 52;
  switch (x.kind) {
    case Kind::Unsupported: return {std::bit_cast<double>(DoubleIndefinite), ConditionInvalid};
    case Kind::QuietNan:
    case Kind::SignallingNan: {
      const std::uint64_t fraction = (a.significand << 1) >> 12 | std::uint64_t{1} << 51;
      return {std::bit_cast<double>(sign | infinity | fraction),
              x.kind == Kind::SignallingNan ? ConditionInvalid : 0};
    }
    case Kind::Infinity: return {std::bit_cast<double>(sign | infinity), 0};
    case Kind::Zero: return {std::bit_cast<double>(sign), 0};
    case Kind::Finite: break;
  }
  // A normal double keeps 53 of the 64 bits; a denormal keeps the bits down to 2^-1074.
  if (x.exponent > 1023) return {std::bit_cast<double>(sign | infinity), ConditionOverflow};
  const int dropped = x.exponent >= -1022 ? 11 : 11 + (-1022 - x.exponent);
  if (dropped > 64) return {std::bit_cast<double>(sign), 0};
  const auto kept = static_cast<std::uint64_t>(RoundedShift(x.significand, dropped));
  // The integer bit of a normal adds one to the field, as does a carry out of it.
  const std::uint64_t magnitude =
      x.exponent >= -1022 ? (static_cast<std::uint64_t>(x.exponent + 1022) << 52) + kept : kept;
  if (magnitude >= infinity) return {std::bit_cast<double>(sign | infinity), ConditionOverflow};
  return {std::bit_cast<double>(sign | magnitude), 0};
}

SoftInt64Result SoftRoundToInt64(SoftExtended a) {
  const Unpacked x = Unpack(a);
  if (x.kind == Kind::Zero) return {0, 0};
  if (x.kind != Kind::Finite || x.exponent > 63) return {IntegerIndefinite, ConditionInvalid};
  if (x.exponent < -1) return {0, 0};
  const Wide kept = RoundedShift(x.significand, 63 - x.exponent);
  const Wide limit = (Wide{1} << 63) - (x.sign ? 0 : 1);
  if (kept > limit) return {IntegerIndefinite, ConditionInvalid};
  const auto magnitude = static_cast<std::uint64_t>(kept);
  return {static_cast<std::int64_t>(x.sign ? 0 - magnitude : magnitude), 0};
}

namespace {

int Rank(Kind kind) { return kind == Kind::Zero ? 0 : kind == Kind::Finite ? 1 : 2; }

SoftComparison Compare(SoftExtended a, SoftExtended b, bool signalOnQuietNan) {
  const Unpacked x = Unpack(a);
  const Unpacked y = Unpack(b);
  if (x.kind == Kind::Unsupported || y.kind == Kind::Unsupported) {
    return {SoftOrder::Unordered, ConditionInvalid};
  }
  if (IsNan(x) || IsNan(y)) {
    const bool signalling = x.kind == Kind::SignallingNan || y.kind == Kind::SignallingNan;
    return {SoftOrder::Unordered, signalling || signalOnQuietNan ? ConditionInvalid : 0};
  }
  const bool xNegative = x.sign && x.kind != Kind::Zero;
  const bool yNegative = y.sign && y.kind != Kind::Zero;
  if (xNegative != yNegative) return {xNegative ? SoftOrder::Less : SoftOrder::Greater, 0};
  int magnitude = Rank(x.kind) - Rank(y.kind);
  if (magnitude == 0 && x.kind == Kind::Finite) {
    magnitude = x.exponent != y.exponent ? (x.exponent < y.exponent ? -1 : 1)
                : x.significand != y.significand ? (x.significand < y.significand ? -1 : 1)
                                                 : 0;
  }
  if (xNegative) magnitude = -magnitude;
  if (magnitude == 0) return {SoftOrder::Equal, 0};
  return {magnitude < 0 ? SoftOrder::Less : SoftOrder::Greater, 0};
}

// The exception codes of the faults the x87 raises under the start-up control word.
constexpr std::uint32_t ExceptionFltDivideByZero = 0xC000008E;
constexpr std::uint32_t ExceptionFltInvalidOperation = 0xC0000090;
constexpr std::uint32_t ExceptionFltOverflow = 0xC0000091;

OsExceptionRecord ConditionRecord;

}  // namespace

SoftComparison SoftCompareOrdered(SoftExtended a, SoftExtended b) { return Compare(a, b, true); }
SoftComparison SoftCompareQuiet(SoftExtended a, SoftExtended b) { return Compare(a, b, false); }

__attribute__((noinline)) void RaiseFloatingPointConditions(unsigned conditions) {
  const std::uint32_t code = (conditions & ConditionInvalid) != 0      ? ExceptionFltInvalidOperation
                             : (conditions & ConditionZeroDivide) != 0 ? ExceptionFltDivideByZero
                                                                       : ExceptionFltOverflow;
  ConditionRecord = {code, reinterpret_cast<CodePlace>(__builtin_return_address(0)), {0, 0}};
  TopLevelExceptionHandler(ConditionRecord);
}

}  // namespace dartcirc
