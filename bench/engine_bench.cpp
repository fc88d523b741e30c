// Points per second of the point-by-point loop and of the engine, for a small and
// the largest radius: every vector path the machine has on one thread, and the
// fastest on one thread and on every usable processor. One table at the end gives each as a ratio
// to the point-by-point loop measured in the same run, so that the machine's own speed cancels out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "engine/block_counter.h"
#include "engine/block_filter.h"
#include "estimator/estimation.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

constexpr std::int64_t BlocksPerRun = 2000;
constexpr std::int32_t Radii[] = {1000, 2147483647};

struct NamedPath {
  VectorPath path;
  const char* name;
};
constexpr NamedPath Paths[] = {{VectorPath::Baseline, "Baseline"},
                               {VectorPath::Avx2, "Avx2"},
                               {VectorPath::Avx512F, "Avx512F"},
                               {VectorPath::Avx512Ifma, "Avx512Ifma"}};

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
                       [&](const BlockTally& tally) { total += tally; });
    firstState = firstState * 69069 + 12345;  // a fresh run each time
  }
  const std::int64_t points = state.iterations() * BlocksPerRun * BlockSize;
  state.SetItemsProcessed(points);
  state.counters["exact_share"] =
      static_cast<double>(total.exactPoints) / static_cast<double>(points);
}

// A path on one thread is timed by its processor time, which other loads of a
// shared machine disturb less; the fastest path on one and on every thread by the
// clock, for the speed-up that the threads bring.
void RegisterAll() {
  for (std::int32_t radius : Radii) {
    benchmark::RegisterBenchmark("PointByPoint", PointByPoint)->Arg(radius);
    for (const NamedPath& path : Paths) {
      if (MachineHasPath(path.path)) {
        benchmark::RegisterBenchmark(path.name, Engine, path.path, 1)->Arg(radius);
      }
    }
    benchmark::RegisterBenchmark("OneThread", Engine, FastestPath(), 1)->Arg(radius)->UseRealTime();
    benchmark::RegisterBenchmark("AllThreads", Engine, FastestPath(),
                                 MachineEngineSetting().threads)
        ->Arg(radius)
        ->UseRealTime();
  }
}

// Keeps the points per second and the exact share of every run, for the table.
class RateKeeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[name] = rate->second;
      const auto share = run.counters.find("exact_share");
      if (share != run.counters.end()) exactShares[name] = share->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  double Find(const std::map<std::string, double>& values, const char* name, std::int32_t radius,
              const char* suffix) const {
    char key[64];
    std::snprintf(key, sizeof key, "%s/%d%s", name, static_cast<int>(radius), suffix);
    const auto found = values.find(key);
    return found == values.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> rates;
  std::map<std::string, double> exactShares;
};

void PrintTable(const RateKeeper& keeper) {
  const VectorPath fastest = FastestPath();
  std::printf("\n%-22s", "points/s (x loop)");
  for (std::int32_t radius : Radii) std::printf("   R = %-18d", static_cast<int>(radius));
  std::printf("\n%-22s", "point-by-point loop");
  for (std::int32_t radius : Radii) {
    std::printf("   %7.1f M (1.00x)      ",
                keeper.Find(keeper.rates, "PointByPoint", radius, "") / 1e6);
  }
  const auto row = [&](const char* label, const char* name, const char* suffix) {
    std::printf("\n%-22s", label);
    for (std::int32_t radius : Radii) {
      const double reference = keeper.Find(keeper.rates, "PointByPoint", radius, "");
      const double rate = keeper.Find(keeper.rates, name, radius, suffix);
      const double share = keeper.Find(keeper.exactShares, name, radius, suffix);
      std::printf("   %7.1f M (%5.2fx) %.1e", rate / 1e6, reference > 0 ? rate / reference : 0.0,
                  share);
    }
  };
  for (const NamedPath& path : Paths) {
    if (!MachineHasPath(path.path)) continue;
    char label[48];
    std::snprintf(label, sizeof label, "%s, 1 thread%s", path.name,
                  path.path == fastest ? " *" : "");
    row(label, path.name, "");
  }
  row("* on 1 thread, clock", "OneThread", "/real_time");
  char label[48];
  std::snprintf(label, sizeof label, "* on %d threads, clock", MachineEngineSetting().threads);
  row(label, "AllThreads", "/real_time");
  std::printf("\n(the last figure of each cell: the share of points that took the exact test)\n");
}

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  dartcirc::RegisterAll();
  dartcirc::RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  dartcirc::PrintTable(keeper);
  benchmark::Shutdown();
}
