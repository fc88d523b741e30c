// The run variables: one set per process, set up from the run parameters and
// advanced block by block by the estimation loop.
#pragma once

#include <cstdint>

namespace dartcirc {

extern std::int32_t Radius;         // R, at least 1
extern double RadiusSquared;        // R x R, formed in 64 bits, then rounded to double
extern std::int64_t TrialsLeft;     // trials still owed; may end negative
// Points found inside so far. Unsigned: the largest trial count draws more than
// 2^63 points, and at R = 1 every one of them is inside.
extern std::uint64_t InsideCount;
// Blocks completed so far. 64 bits, so that blocks x 10,000 is always the number of
// points drawn, however many trials were asked for.
extern std::int64_t BlockCount;
extern double PointX;               // the point being tested
extern double PointY;

}  // namespace dartcirc
