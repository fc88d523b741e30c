// Jumping ahead in the generator's sequence: any number of steps of the state map
// s -> s x multiplier + increment (mod 2^32) is again such a map, so the states a
// block, a lane or a thread starts from are found in O(log n) without drawing.
#pragma once

#include <cstdint>

#include "runtime/random_source.h"

namespace dartcirc {

struct RandomSteps {
  std::uint32_t multiplier;
  std::uint32_t increment;
};

inline constexpr RandomSteps NoSteps{1, 0};
inline constexpr RandomSteps OneStep{RandomMultiplier, RandomIncrement};

constexpr std::uint32_t Advance(std::uint32_t state, RandomSteps steps) {
  return state * steps.multiplier + steps.increment;
}

// first, then second.
constexpr RandomSteps ThenSteps(RandomSteps first, RandomSteps second) {
  return {first.multiplier * second.multiplier, Advance(first.increment, second)};
}

// The map of count steps, by squaring. The sequence repeats after 2^32 steps, so
// only count mod 2^32 matters and a count that wrapped modulo 2^64 is still right.
constexpr RandomSteps StepsAhead(std::uint64_t count) {
  RandomSteps result = NoSteps;
  RandomSteps power = OneStep;
  for (count &= 0xFFFFFFFFu; count != 0; count >>= 1) {
    if (count & 1) result = ThenSteps(result, power);
    power = ThenSteps(power, power);
  }
  return result;
}

}  // namespace dartcirc
