// The exact test of one point, as the program defines it: every block-counting path
// either makes this computation or proves that it would give the same answer.
#pragma once

#include <cstdint>

#include "runtime/extended.h"

namespace dartcirc {

inline constexpr std::int64_t BlockSize = 10000;  // points between two progress lines

// i + j / R for the draws j, then i: the quotient and the sum each rounded to the
// extended format, then the sum rounded to double as it is stored.
double CoordinateFromDraws(std::int32_t fractionDraw, std::int32_t integerDraw,
                           std::int32_t radius);

// x^2 + y^2 <= R^2 with each product and the sum rounded to the extended format.
bool IsInside(double pointX, double pointY, Extended radiusSquared);

}  // namespace dartcirc
