// The software extended real against the x87 itself, bit for bit: random operands
// of every encoding class through every operation, the x87 run with all its
// exceptions masked so that its status word tells which conditions the start-up
// control word would have raised. DARTCIRC_DIFFERENTIAL_PAIRS sets the operands
// per operation (default 200,000; CI runs 1,000,000).
#include "runtime/soft_extended.h"
#include "runtime/x87_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace dartcirc {
namespace {

#if defined(__x86_64__)

constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63, QuietBit = IntegerBit >> 1;

struct Operands { long double x, y; double d; std::int64_t n; };
struct Register { std::uint64_t significand; std::uint16_t top, unused[3]; };  // the x87's 80 bits in memory

// Extended results as their 80 bits, doubles and integers as 64, truth as 0 or 1.
struct Outcome { std::uint64_t bits; std::uint16_t top; unsigned conditions; };
long double Long(SoftExtended v) { return std::bit_cast<long double>(Register{v.significand, v.signAndExponent, {}}); }
Outcome Of(long double x) { return {std::bit_cast<Register>(x).significand, std::bit_cast<Register>(x).top, 0}; }
Outcome Of(std::uint64_t bits) { return {bits, 0, 0}; }
Outcome Of(SoftResult r) { return {r.value.significand, r.value.signAndExponent, r.conditions}; }
template <class Result> Outcome Of(Result r) { return {std::bit_cast<std::uint64_t>(r.value), 0, r.conditions}; }  // double, integer
// The relational operators are ordered comparisons, equality a quiet one; a > b is b < a.
Outcome Is(SoftComparison c, int accepted) { return {(accepted >> static_cast<int>(c.order)) & 1u, 0, c.conditions}; }
constexpr int Less = 1, Equal = 2;

enum Source { ExtendedPair, ExtendedOperand, DoubleOperand, IntegerOperand };
struct Operation { const char* name; Source source; Outcome (*x87)(const Operands&); Outcome (*soft)(SoftExtended, SoftExtended); };
const Operation Operations[] = {
    {"add", ExtendedPair, [](const Operands& o) { return Of(o.x + o.y); }, [](SoftExtended a, SoftExtended b) { return Of(SoftAdd(a, b)); }},
    {"subtract", ExtendedPair, [](const Operands& o) { return Of(o.x - o.y); }, [](SoftExtended a, SoftExtended b) { return Of(SoftSubtract(a, b)); }},
    {"multiply", ExtendedPair, [](const Operands& o) { return Of(o.x * o.y); }, [](SoftExtended a, SoftExtended b) { return Of(SoftMultiply(a, b)); }},
    {"divide", ExtendedPair, [](const Operands& o) { return Of(o.x / o.y); }, [](SoftExtended a, SoftExtended b) { return Of(SoftDivide(a, b)); }},
    {"less", ExtendedPair, [](const Operands& o) { return Of(std::uint64_t{X87Above(o.y, o.x)}); }, [](SoftExtended a, SoftExtended b) { return Is(SoftCompareOrdered(a, b), Less); }},
    {"less-equal", ExtendedPair, [](const Operands& o) { return Of(std::uint64_t{X87AboveOrEqual(o.y, o.x)}); }, [](SoftExtended a, SoftExtended b) { return Is(SoftCompareOrdered(a, b), Less | Equal); }},
    {"greater", ExtendedPair, [](const Operands& o) { return Of(std::uint64_t{X87Above(o.x, o.y)}); }, [](SoftExtended a, SoftExtended b) { return Is(SoftCompareOrdered(b, a), Less); }},
    {"greater-equal", ExtendedPair, [](const Operands& o) { return Of(std::uint64_t{X87AboveOrEqual(o.x, o.y)}); }, [](SoftExtended a, SoftExtended b) { return Is(SoftCompareOrdered(b, a), Less | Equal); }},
    {"equal", ExtendedPair, [](const Operands& o) { return Of(std::uint64_t{o.x == o.y}); }, [](SoftExtended a, SoftExtended b) { return Is(SoftCompareQuiet(a, b), Equal); }},
    {"to double", ExtendedOperand, [](const Operands& o) { return Of(std::bit_cast<std::uint64_t>(static_cast<double>(o.x))); }, [](SoftExtended a, SoftExtended) { return Of(SoftRoundToDouble(a)); }},
    {"to int64", ExtendedOperand, [](const Operands& o) { std::int64_t n; asm("fistpll %0" : "=m"(n) : "t"(o.x) : "st"); return Of(static_cast<std::uint64_t>(n)); }, [](SoftExtended a, SoftExtended) { return Of(SoftRoundToInt64(a)); }},
    {"from double", DoubleOperand, [](const Operands& o) { return Of(static_cast<long double>(o.d)); }, [](SoftExtended a, SoftExtended) { return Of(SoftFromDouble(std::bit_cast<double>(a.significand))); }},
    {"from int64", IntegerOperand, [](const Operands& o) { return Of(static_cast<long double>(o.n)); }, [](SoftExtended a, SoftExtended) { return Of(SoftResult{SoftFromInt64(static_cast<std::int64_t>(a.significand)), 0}); }},
};

// Runs one operation on the x87 with every exception masked (control word 0x133F);
// the conditions are its whole status word.
Outcome OnX87(const Operation& operation, SoftExtended a, SoftExtended b) {
  Operands o{Long(a), Long(b), std::bit_cast<double>(a.significand), static_cast<std::int64_t>(a.significand)};
  const std::uint16_t allMasked = 0x133F;
  asm volatile("fninit\n\tfldcw %1" : "+m"(o) : "m"(allMasked));
  Outcome outcome = operation.x87(o);
  std::uint16_t word;
  asm volatile("fnstsw %0" : "=m"(word) : "m"(outcome));
  outcome.conditions = word;
  return outcome;
}

// Shapes to draw from: every encoding class, the ends of the range, short odd
// significands (products on and next to ties), operands next to the other one
// (cancellation, half an ulp) and the boundaries and ties of the integer and
// double stores.
SoftExtended RandomOperand(std::mt19937_64& random, SoftExtended other) {
  const auto sign = static_cast<std::uint16_t>(random() & 0x8000);
  const std::uint64_t bits = random(), normal = bits | IntegerBit;
  const auto field = [&](std::uint64_t f) { return static_cast<std::uint16_t>(sign | (f & 0x7FFF)); };
  constexpr int Edges[] = {-2, -1, 0, 52, 53, 62, 63, 64, -1022, -1023, -1074, -1075, 1023, 1024, -16382, 16383};
  const int width = 28 + static_cast<int>(random() % 10), near = (other.signAndExponent & 0x7FFF) - 66;
  switch (random() % 13) {
    case 0: return {0, sign};
    case 1: return {bits >> (1 + random() % 63), sign};  // denormal
    case 2: return {normal, sign};                        // pseudo-denormal
    case 3: return {normal, field(1 + random() % 2)};
    case 4: return {normal, field(0x7FFE - random() % 2)};
    case 5: return {normal, field(1 + random() % 0x7FFE)};
    case 6: return {((bits >> (64 - width)) | 1) << (64 - width) | IntegerBit, field(16351 + random() % 64)};
    case 7: return {IntegerBit, field(0x7FFF)};
    case 8: return {normal | QuietBit, field(0x7FFF)};
    case 9: return {(normal & ~QuietBit) + ((bits << 2) == 0), field(0x7FFF)};  // signalling
    case 10: return {bits & ~IntegerBit, field(1 + random() % 0x7FFF)};  // unnormal, pseudo-NaN, pseudo-infinity
    case 11: return {random() % 2 ? IntegerBit : other.significand + random() % 5 - 2, field(std::max<std::uint64_t>(0, near + random() % 70))};
    default: {
      const int e = Edges[random() % 16];
      const std::uint64_t half = e >= 0 && e <= 62 && random() % 2 ? IntegerBit >> (e + 1) : 0x400;
      std::uint64_t significand = random() % 3 == 0 ? (random() % 2 ? ~std::uint64_t{0} : IntegerBit) : normal;
      if (random() % 2) significand = (significand & ~(2 * half - 1)) | (half - 1 + random() % 3);
      return {significand, field(16383 + e)};
    }
  }
}

// A double or an integer is drawn as the bits of an extended operand reshaped: the
// ends of the exponent range stay ends, and integers reach both ends of their range.
SoftExtended Reshaped(SoftExtended v, Source source, std::mt19937_64& random) {
  const bool negative = (v.signAndExponent & 0x8000) != 0;
  if (source == IntegerOperand) {
    const std::uint64_t n = random() % 4 == 0 ? IntegerBit - random() % 3 : v.significand >> random() % 64;
    return {negative ? 0 - n : n, 0};
  }
  const int f = v.signAndExponent & 0x7FFF;
  const std::uint64_t exponent = f == 0 || f == 0x7FFF ? f & 0x7FF : f <= 2 ? f : f >= 0x7FFD ? f - 0x7800 : 1 + f % 0x7FE;
  return {std::uint64_t{negative} << 63 | exponent << 52 | ((v.significand << 1) >> 12), 0};
}

TEST(ExtendedDifferential, SoftwareGivesTheBitsAndConditionsOfTheX87) {
  const char* requested = std::getenv("DARTCIRC_DIFFERENTIAL_PAIRS");
  const long pairs = requested != nullptr ? std::atol(requested) : 200000;
  std::mt19937_64 random(20261207);
  for (const Operation& operation : Operations) {
    long mismatches = 0;
    for (long pair = 0; pair < pairs; ++pair) {
      const SoftExtended b = RandomOperand(random, {IntegerBit, 16383});
      SoftExtended a = RandomOperand(random, b);
      if (operation.source >= DoubleOperand) a = Reshaped(a, operation.source, random);
      const Outcome hardware = OnX87(operation, a, b), software = operation.soft(a, b);
      // Where the program would fault, the value still is the x87's masked response.
      const unsigned raised = hardware.conditions & (ConditionInvalid | ConditionZeroDivide | ConditionOverflow);
      if ((raised != software.conditions || hardware.bits != software.bits || hardware.top != software.top) && ++mismatches <= 5) ADD_FAILURE() << operation.name << std::hex << " a=" << a.signAndExponent << ":" << a.significand
          << " b=" << b.signAndExponent << ":" << b.significand << " x87=" << hardware.top << ":" << hardware.bits << "/" << raised
          << " soft=" << software.top << ":" << software.bits << "/" << software.conditions;
    }
    EXPECT_EQ(mismatches, 0) << operation.name;
  }
}

#endif

}  // namespace
}  // namespace dartcirc
