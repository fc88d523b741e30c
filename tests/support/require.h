// A property of a fuzz target that must hold: when it does not, the run ends with its
// name, and the fuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace dartcirc::testing {

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  std::abort();
}

}  // namespace dartcirc::testing
