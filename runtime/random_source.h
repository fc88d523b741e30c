// The program's only source of pseudo-random numbers: a 32-bit linear congruential
// generator with one global state word.
#pragma once

#include <cstdint>

namespace dartcirc {

inline constexpr std::uint32_t RandomMultiplier = 134775813;  // 0x08088405
inline constexpr std::uint32_t RandomIncrement = 1;

// 0 before seeding; setting it repeats a sequence of draws exactly.
extern std::uint32_t RandomState;

// Milliseconds since 00:00:00.000 UTC of the current day.
void SeedFromClock();

// The draw below bound that the state `state` gives, once the generator has
// stepped to it.
inline std::int32_t DrawAtState(std::uint32_t state, std::int32_t bound) {
  const std::uint64_t product = static_cast<std::uint64_t>(static_cast<std::uint32_t>(bound)) * state;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(product >> 32));
}

// Advances the state one step and gives the high word of bound x new state, taking
// the bound as unsigned: for a bound n >= 1 a number in 0 ... n-1.
inline std::int32_t DrawBelow(std::int32_t bound) {
  RandomState = RandomState * RandomMultiplier + RandomIncrement;
  return DrawAtState(RandomState, bound);
}

}  // namespace dartcirc
