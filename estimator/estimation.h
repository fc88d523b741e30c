// The estimation loop: blocks of 10,000 points, one progress line per block with
// the running estimate 4 x inside / drawn.
#pragma once

#include <cstdint>

#include "engine/exact_point.h"
#include "runtime/extended.h"

namespace dartcirc {

// Runs blocks while trials are left, writing one line per block to ConsoleOut, on
// every core through the path chosen for the run. The lines, the run variables and
// RandomState come out the same whatever the path and the number of threads.
void RunEstimation();

// Tests one block of points the plain way, one point after another, drawing from
// RandomState; gives the number inside. Every faster way of counting must match it.
std::int64_t CountBlockPointByPoint(std::int32_t radius, double radiusSquared);

// 4 x inside / (blocks x 10,000), both formed exactly, the quotient rounded once to
// the extended format; right for every count of blocks a trial count gives.
Extended RunningEstimate(std::uint64_t inside, std::int64_t blocks);

// R x R formed in 64 bits (no wrap for any 32-bit radius), rounded to double.
double SquareOfRadius(std::int32_t radius);

}  // namespace dartcirc
