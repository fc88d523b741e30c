// Powers of ten as extended reals, each the exact power rounded to nearest (64-bit
// significand, ties to even); 10^0 to 10^27 are exact. A power 10^n with
// 0 <= n < 5120 is the product of at most one entry of each table.
#pragma once

#include "runtime/extended.h"

namespace dartcirc {

// 10^n for n = 0 to 31.
extern const Extended PowersOfTenLow[32];
// 10^(32 i) for i = 1 to 15, at index i - 1.
extern const Extended PowersOfTenMid[15];
// 10^(512 i) for i = 1 to 9, at index i - 1.
extern const Extended PowersOfTenHigh[9];

}  // namespace dartcirc
