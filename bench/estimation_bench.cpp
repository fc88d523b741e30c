// Points per second of the plain per-point loop, one block of 10,000 points an
// iteration.
#include <benchmark/benchmark.h>

#include "estimator/estimation.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

void BlockPointByPoint(benchmark::State& state) {
  ResetFloatingPointUnit();
  const auto radius = static_cast<std::int32_t>(state.range(0));
  const double radiusSquared = SquareOfRadius(radius);
  RandomState = 0;
  for (auto _ : state) benchmark::DoNotOptimize(CountBlockPointByPoint(radius, radiusSquared));
  state.SetItemsProcessed(state.iterations() * BlockSize);
}
BENCHMARK(BlockPointByPoint)->Arg(1000)->Arg(2147483647);

}  // namespace
}  // namespace dartcirc
