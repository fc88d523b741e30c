// Points per second of the point-by-point loop and of the engine, on one thread and
// on every hardware thread, and the engine's speed-up over the loop, for a small and
// the largest radius. Each vector path the machine has is measured on one thread too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "engine/block_filter.h"
#include "estimator/estimation.h"
#include "engine/block_counter.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

constexpr std::int64_t BlocksPerRun = 2000;
constexpr std::int32_t Radii[] = {1000, 2147483647};

void PointByPoint(benchmark::State& state) {
  ResetFloatingPointUnit();
  const auto radius = static_cast<std::int32_t>(state.range(0));
  const double radiusSquared = SquareOfRadius(radius);
  RandomState = 0;
  for (auto _ : state) benchmark::DoNotOptimize(CountBlockPointByPoint(radius, radiusSquared));
  state.SetItemsProcessed(state.iterations() * BlockSize);
}

// Counts BlocksPerRun blocks an iteration, handed out in order as in a run.
void Engine(benchmark::State& state, VectorPath path, int threads) {
  ResetFloatingPointUnit();
  const auto radius = static_cast<std::int32_t>(state.range(0));
  const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
  std::uint32_t firstState = 0;
  BlockTally total{0, 0};
  for (auto _ : state) {
    CountBlocksInOrder(firstState, filter, BlocksPerRun, {path, threads},
                       [&](const BlockTally& tally) {
                         total.inside += tally.inside;
                         total.exactPoints += tally.exactPoints;
                       });
    firstState = firstState * 69069 + 12345;  // a fresh run each time
  }
  const double points = static_cast<double>(state.iterations() * BlocksPerRun * BlockSize);
  state.SetItemsProcessed(state.iterations() * BlocksPerRun * BlockSize);
  state.counters["exact_share"] = static_cast<double>(total.exactPoints) / points;
}

void RegisterAll() {
  const int allThreads = MachineEngineSetting().threads;
  const VectorPath fastest = FastestPath();
  for (std::int32_t radius : Radii) {
    benchmark::RegisterBenchmark("PointByPoint", PointByPoint)->Arg(radius);
    benchmark::RegisterBenchmark("EngineOneThread", Engine, fastest, 1)->Arg(radius)->UseRealTime();
    benchmark::RegisterBenchmark("EngineAllThreads", Engine, fastest, allThreads)
        ->Arg(radius)
        ->UseRealTime();
  }
  const struct {
    VectorPath path;
    const char* name;
  } paths[] = {{VectorPath::Baseline, "PathBaseline"},
               {VectorPath::Avx2, "PathAvx2"},
               {VectorPath::Avx512Ifma, "PathAvx512"}};
  for (const auto& p : paths) {
    if (!MachineHasPath(p.path)) continue;
    for (std::int32_t radius : Radii) {
      benchmark::RegisterBenchmark(p.name, Engine, p.path, 1)->Arg(radius)->UseRealTime();
    }
  }
}

// Keeps the points per second of every run, for the table of speed-ups.
class RateKeeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second;
      const auto share = run.counters.find("exact_share");
      if (share != run.counters.end()) exactShares[run.benchmark_name()] = share->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::map<std::string, double> rates;
  std::map<std::string, double> exactShares;
};

void PrintSpeedUps(const RateKeeper& keeper) {
  std::printf("\nSpeed-up over the point-by-point loop (%d threads in all):\n",
              MachineEngineSetting().threads);
  for (std::int32_t radius : Radii) {
    const auto find = [&](const std::map<std::string, double>& values, const char* name,
                          const char* suffix) {
      const auto found = values.find(name + ("/" + std::to_string(radius)) + suffix);
      return found == values.end() ? 0.0 : found->second;
    };
    const double reference = find(keeper.rates, "PointByPoint", "");
    const double one = find(keeper.rates, "EngineOneThread", "/real_time");
    const double all = find(keeper.rates, "EngineAllThreads", "/real_time");
    if (reference == 0 || one == 0 || all == 0) continue;
    std::printf(
        "R = %10d: loop %6.1f M/s, one thread %6.1f M/s (%5.2fx), all threads %6.1f M/s "
        "(%5.2fx), exact path %.2g of the points\n",
        radius, reference / 1e6, one / 1e6, one / reference, all / 1e6, all / reference,
        find(keeper.exactShares, "EngineAllThreads", "/real_time"));
  }
}

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  dartcirc::RegisterAll();
  dartcirc::RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  dartcirc::PrintSpeedUps(keeper);
  benchmark::Shutdown();
}
