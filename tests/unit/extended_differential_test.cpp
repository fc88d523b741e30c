// The software extended real against the x87 itself, bit for bit: random operands
// of every encoding class through every operation, the x87 run with all its
// exceptions masked so that its status word tells which conditions the start-up
// control word would have raised. DARTCIRC_DIFFERENTIAL_PAIRS sets the operands
// per operation (default 200,000; CI runs 1,000,000).
#include "runtime/soft_extended.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace dartcirc {
namespace {

#if defined(__x86_64__)

constexpr std::uint64_t IntegerBit = std::uint64_t{1} << 63;
constexpr std::uint64_t QuietBit = std::uint64_t{1} << 62;
constexpr unsigned Raised = ConditionInvalid | ConditionZeroDivide | ConditionOverflow;

struct Operands {
  SoftExtended a, b;
  long double x, y;
};

struct Outcome {
  std::uint64_t bits;
  std::uint16_t top;
  unsigned conditions;
  bool operator==(const Outcome&) const = default;
};

long double Long(SoftExtended v) {
  long double x = 0;
  std::memcpy(&x, &v.significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &v.signAndExponent, 2);
  return x;
}

Outcome Of(long double x) {
  Outcome o{};
  std::memcpy(&o.bits, &x, 8);
  std::memcpy(&o.top, reinterpret_cast<char*>(&x) + 8, 2);
  return o;
}
Outcome Of(SoftResult r) { return {r.value.significand, r.value.signAndExponent, r.conditions}; }
Outcome Of(SoftDoubleResult r) { return {std::bit_cast<std::uint64_t>(r.value), 0, r.conditions}; }
Outcome Of(SoftInt64Result r) { return {static_cast<std::uint64_t>(r.value), 0, r.conditions}; }
Outcome Of(bool holds, unsigned conditions = 0) { return {holds, 0, conditions}; }
double DoubleOf(SoftExtended v) { return std::bit_cast<double>(v.significand); }
std::int64_t IntOf(SoftExtended v) { return static_cast<std::int64_t>(v.significand); }
bool Is(SoftComparison c, SoftOrder o1, SoftOrder o2) { return c.order == o1 || c.order == o2; }

// Runs one operation on the x87, all exceptions masked (control word 0x133F), and
// keeps the whole status word for the counts.
template <class Step>
Outcome OnX87(SoftExtended a, SoftExtended b, Step step, unsigned& status) {
  Operands operands{a, b, Long(a), Long(b)};
  const std::uint16_t allMasked = 0x133F;
  asm volatile("fninit\n\tfldcw %1" : "+m"(operands) : "m"(allMasked));
  Outcome outcome = step(operands);
  std::uint16_t word;
  asm volatile("fnstsw %0" : "=m"(word) : "m"(outcome));
  status = word;
  outcome.conditions = word & Raised;
  return outcome;
}

std::int64_t StoreInteger(long double x) {
  std::int64_t n;
  asm("fistpll %0" : "=m"(n) : "t"(x) : "st");
  return n;
}

enum Source { ExtendedPair, ExtendedOperand, DoubleOperand, IntegerOperand };

struct Operation {
  const char* name;
  Source source;
  Outcome (*x87)(const Operands&);
  Outcome (*soft)(SoftExtended, SoftExtended);
};

const Operation Operations[] = {
    {"add", ExtendedPair, [](const Operands& o) { return Of(o.x + o.y); },
     [](SoftExtended a, SoftExtended b) { return Of(SoftAdd(a, b)); }},
    {"subtract", ExtendedPair, [](const Operands& o) { return Of(o.x - o.y); },
     [](SoftExtended a, SoftExtended b) { return Of(SoftSubtract(a, b)); }},
    {"multiply", ExtendedPair, [](const Operands& o) { return Of(o.x * o.y); },
     [](SoftExtended a, SoftExtended b) { return Of(SoftMultiply(a, b)); }},
    {"divide", ExtendedPair, [](const Operands& o) { return Of(o.x / o.y); },
     [](SoftExtended a, SoftExtended b) { return Of(SoftDivide(a, b)); }},
    {"less", ExtendedPair, [](const Operands& o) { return Of(o.x < o.y); },
     [](SoftExtended a, SoftExtended b) { const SoftComparison c = SoftCompareOrdered(a, b); return Of(Is(c, SoftOrder::Less, SoftOrder::Less), c.conditions); }},
    {"less-equal", ExtendedPair, [](const Operands& o) { return Of(o.x <= o.y); },
     [](SoftExtended a, SoftExtended b) { const SoftComparison c = SoftCompareOrdered(a, b); return Of(Is(c, SoftOrder::Less, SoftOrder::Equal), c.conditions); }},
    {"greater", ExtendedPair, [](const Operands& o) { return Of(o.x > o.y); },
     [](SoftExtended a, SoftExtended b) { const SoftComparison c = SoftCompareOrdered(b, a); return Of(Is(c, SoftOrder::Less, SoftOrder::Less), c.conditions); }},
    {"greater-equal", ExtendedPair, [](const Operands& o) { return Of(o.x >= o.y); },
     [](SoftExtended a, SoftExtended b) { const SoftComparison c = SoftCompareOrdered(b, a); return Of(Is(c, SoftOrder::Less, SoftOrder::Equal), c.conditions); }},
    {"equal", ExtendedPair, [](const Operands& o) { return Of(o.x == o.y); },
     [](SoftExtended a, SoftExtended b) { const SoftComparison c = SoftCompareQuiet(a, b); return Of(Is(c, SoftOrder::Equal, SoftOrder::Equal), c.conditions); }},
    {"to double", ExtendedOperand, [](const Operands& o) { const double d = static_cast<double>(o.x); return Outcome{std::bit_cast<std::uint64_t>(d), 0, 0}; },
     [](SoftExtended a, SoftExtended) { return Of(SoftRoundToDouble(a)); }},
    {"to int64", ExtendedOperand, [](const Operands& o) { return Outcome{static_cast<std::uint64_t>(StoreInteger(o.x)), 0, 0}; },
     [](SoftExtended a, SoftExtended) { return Of(SoftRoundToInt64(a)); }},
    {"from double", DoubleOperand, [](const Operands& o) { return Of(static_cast<long double>(DoubleOf(o.a))); },
     [](SoftExtended a, SoftExtended) { return Of(SoftFromDouble(DoubleOf(a))); }},
    {"from int64", IntegerOperand, [](const Operands& o) { return Of(static_cast<long double>(IntOf(o.a))); },
     [](SoftExtended a, SoftExtended) { return Of(SoftResult{SoftFromInt64(IntOf(a)), 0}); }},
};

// The generator draws from these shapes; the counts use the classes below, read
// back from the bits drawn.
SoftExtended RandomOperand(std::mt19937_64& random, SoftExtended other) {
  const auto sign = static_cast<std::uint16_t>(random() & 0x8000);
  const std::uint64_t bits = random();
  const auto field = [&](int f) { return static_cast<std::uint16_t>(sign | (f & 0x7FFF)); };
  constexpr int Edges[] = {-2, -1, 0, 52, 53, 62, 63, 64, -1022, -1023, -1074, -1075, 1023, 1024, -16382, 16383};
  switch (random() % 13) {
    case 0: return {0, sign};
    case 1: return {bits >> (1 + random() % 63), sign};  // denormal
    case 2: return {bits | IntegerBit, sign};             // pseudo-denormal
    case 3: return {bits | IntegerBit, field(1 + random() % 2)};
    case 4: return {bits | IntegerBit, field(0x7FFE - random() % 2)};
    case 5: return {bits | IntegerBit, field(1 + random() % 0x7FFE)};
    case 6: {  // a short odd significand near 1: products land on and next to ties
      const int width = 28 + static_cast<int>(random() % 10);
      return {((bits >> (64 - width)) | 1) << (64 - width) | IntegerBit, field(16383 + static_cast<int>(random() % 64) - 32)};
    }
    case 7: return {IntegerBit, field(0x7FFF)};
    case 8: return {bits | IntegerBit | QuietBit, field(0x7FFF)};
    case 9: return {((bits & ~QuietBit) | IntegerBit) + ((bits << 2) == 0), field(0x7FFF)};  // signalling
    case 10: return {bits & ~IntegerBit, field(1 + random() % 0x7FFF)};  // unnormal, pseudo-NaN, pseudo-infinity
    case 11: {  // next to the other operand: cancellation, half an ulp, a tie
      const int shift = static_cast<int>(random() % 70) - 66;
      const std::uint64_t significand = random() % 2 ? IntegerBit : other.significand + random() % 5 - 2;
      return {significand, field(std::max(0, (other.signAndExponent & 0x7FFF) + shift))};
    }
    default: {  // integer and double boundaries: halves, all ones
      const int exponent = Edges[random() % 16];
      std::uint64_t significand = bits | IntegerBit;
      if (random() % 3 == 0) significand = (significand & ~std::uint64_t{0x7FF}) | (0x3FF + random() % 3);
      if (random() % 3 == 0 && exponent >= 0 && exponent <= 62) {
        const std::uint64_t half = std::uint64_t{1} << (62 - exponent);
        significand = (significand & ~(2 * half - 1)) | half;
      }
      if (random() % 4 == 0) significand = ~std::uint64_t{0};
      return {significand, field(16383 + exponent)};
    }
  }
}

const char* const ClassNames[] = {"zero", "denormal", "pseudo-denormal", "smallest normal", "largest normal",
                                  "normal", "infinity", "quiet NaN", "signalling NaN", "unsupported"};

int ClassOf(SoftExtended v) {
  const int field = v.signAndExponent & 0x7FFF;
  const bool integerBit = (v.significand & IntegerBit) != 0;
  if (field == 0) return v.significand == 0 ? 0 : integerBit ? 2 : 1;
  if (!integerBit) return 9;
  if (field == 0x7FFF) return (v.significand << 1) == 0 ? 6 : (v.significand & QuietBit) ? 7 : 8;
  return field == 1 ? 3 : field == 0x7FFE ? 4 : 5;
}

// A double or an integer drawn as the bits of an extended operand of each class
// gives every class of double and the whole integer range, both ends included.
SoftExtended Reshaped(SoftExtended v, Source source, std::mt19937_64& random) {
  if (source == IntegerOperand) {
    const std::uint64_t n = random() % 4 == 0 ? IntegerBit - random() % 3 : v.significand >> random() % 64;
    return {v.signAndExponent & 0x8000 ? 0 - n : n, 0};
  }
  // The ends of the exponent range stay ends; the rest spreads over the double's.
  const int f = v.signAndExponent & 0x7FFF;
  const std::uint64_t exponent = f == 0 || f == 0x7FFF ? f & 0x7FF : f <= 2 ? f : f >= 0x7FFD ? f - 0x7800 : 1 + f % 0x7FE;
  return {(v.signAndExponent & std::uint64_t{0x8000}) << 48 | exponent << 52 | ((v.significand << 1) >> 12), 0};
}

int DoubleClassOf(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  const auto field = static_cast<std::uint16_t>((bits >> 52 & 0x7FF) == 0x7FF ? 0x7FFF : bits >> 52 & 0x7FF);
  const std::uint64_t fraction = bits << 12;
  return field == 0 ? (fraction == 0 ? 0 : 1) : ClassOf({IntegerBit | fraction >> 1, static_cast<std::uint16_t>(field == 0x7FE ? 0x7FFE : field)});
}

TEST(ExtendedDifferential, SoftwareGivesTheBitsAndConditionsOfTheX87) {
  const char* requested = std::getenv("DARTCIRC_DIFFERENTIAL_PAIRS");
  const long pairs = requested != nullptr ? std::atol(requested) : 200000;
  std::mt19937_64 random(20261207);
  for (const Operation& operation : Operations) {
    long classCounts[10] = {}, statusCounts[6] = {}, mismatches = 0;
    for (long pair = 0; pair < pairs; ++pair) {
      SoftExtended b = RandomOperand(random, {IntegerBit, 16383});
      SoftExtended a = RandomOperand(random, b);
      if (operation.source >= DoubleOperand) a = Reshaped(a, operation.source, random);
      if (operation.source == ExtendedPair) ++classCounts[ClassOf(b)];
      ++classCounts[operation.source == DoubleOperand    ? DoubleClassOf(DoubleOf(a))
                    : operation.source == IntegerOperand ? (a.significand == 0 ? 0 : 5)
                                                         : ClassOf(a)];
      unsigned status = 0;
      const Outcome hardware = OnX87(a, b, operation.x87, status);
      for (int bit = 0; bit < 6; ++bit) statusCounts[bit] += (status >> bit) & 1;
      const Outcome software = operation.soft(a, b);
      // Where the program would fault, only the condition has to agree.
      const bool same = (hardware.conditions & Raised) != 0 ? hardware.conditions == software.conditions
                                                             : hardware == software;
      if (!same && ++mismatches <= 5) {
        ADD_FAILURE() << operation.name << std::hex << " a=" << a.signAndExponent << ":" << a.significand
                      << " b=" << b.signAndExponent << ":" << b.significand << " x87=" << hardware.top << ":"
                      << hardware.bits << "/" << hardware.conditions << " soft=" << software.top << ":"
                      << software.bits << "/" << software.conditions;
      }
    }
    std::printf("%-13s", operation.name);
    for (int c = 0; c < 10; ++c) std::printf(" %s %ld,", ClassNames[c], classCounts[c]);
    std::printf("\n%13s invalid %ld, denormal %ld, zero divide %ld, overflow %ld, underflow %ld, inexact %ld\n", "",
                statusCounts[0], statusCounts[1], statusCounts[2], statusCounts[3], statusCounts[4], statusCounts[5]);
    EXPECT_EQ(mismatches, 0) << operation.name;
  }
}

#endif

}  // namespace
}  // namespace dartcirc
