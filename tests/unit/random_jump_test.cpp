#include "runtime/random_jump.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/random_source.h"

namespace dartcirc {
namespace {

std::uint32_t StepByStep(std::uint32_t state, std::uint64_t count) {
  while (count-- > 0) state = state * RandomMultiplier + RandomIncrement;
  return state;
}

TEST(RandomJump, JumpLandsWhereTheStepsDo) {
  for (std::uint32_t state : {0u, 1u, 45296789u, 4294967295u}) {
    for (std::uint64_t count : {0u, 1u, 2u, 3u, 31u, 32u, 33u, 39997u, 40000u, 1000003u}) {
      EXPECT_EQ(Advance(state, StepsAhead(count)), StepByStep(state, count))
          << state << " + " << count;
    }
  }
  EXPECT_EQ(Advance(0, StepsAhead(40000)), 1347873728u);  // one block from state 0
}

TEST(RandomJump, OnlyTheCountModuloTheCycleMatters) {
  const std::uint64_t cycle = std::uint64_t{1} << 32;
  for (std::uint32_t state : {0u, 1347873728u}) {
    EXPECT_EQ(Advance(state, StepsAhead(cycle)), state);
    EXPECT_EQ(Advance(state, StepsAhead(cycle + 40000)), Advance(state, StepsAhead(40000)));
    // A count that wrapped 64 bits: 2^64 - 1 steps are one step short of a whole cycle.
    EXPECT_EQ(StepByStep(Advance(state, StepsAhead(~std::uint64_t{0})), 1), state);
  }
}

}  // namespace
}  // namespace dartcirc
