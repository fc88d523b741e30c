#include <benchmark/benchmark.h>

#include "runtime/extended.h"
#include "runtime/fixed_real_output.h"

namespace dartcirc {
namespace {

// One value of a progress line: width 10, 8 decimals, an estimate near pi.
void BM_FormatProgressValue(benchmark::State& state) {
  ResetFloatingPointUnit();
  const Extended estimate = ExtendedFromInt64(4 * 785398) / ExtendedFromInt64(1000000);
  ShortText text;
  for (auto _ : state) {
    FormatFixedReal(estimate, 10, 8, text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FormatProgressValue);

// The costliest path: two scaling passes for the smallest denormal, 18 digits.
void BM_FormatSmallestDenormal(benchmark::State& state) {
  ResetFloatingPointUnit();
  const Extended denormal = ExtendedFromFields(0, 1);
  ShortText text;
  for (auto _ : state) {
    FormatFixedReal(denormal, 26, -1, text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FormatSmallestDenormal);

}  // namespace
}  // namespace dartcirc
