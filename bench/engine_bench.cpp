// Points per second of the point-by-point loop and of the engine for each radius
// given on the command line (by default 1, 5, 40, 64, 100, 1000 and 2147483647):
// every vector path the machine has with every method that applies, on one thread,
// and the path and method the run itself chooses for that radius on one thread and
// on every usable processor. The tables at the end give each as a ratio to the
// point-by-point loop measured in the same run, so that the machine's own speed
// cancels out, and name the choice.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/block_counter.h"
#include "engine/block_filter.h"
#include "engine/counting_choice.h"
#include "estimator/estimation.h"
#include "platform/processor_count.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

constexpr std::int64_t BlocksPerRun = 2000;

struct Radius {
  std::int32_t radius;
  BlockCounting chosen;  // the run's own choice for a long run
};

std::string NameOf(BlockCounting counting) {
  return std::string(PathName(counting.path)) + "/" + std::string(MethodName(counting.method));
}

void PointByPoint(benchmark::State& state) {
  ResetFloatingPointUnit();
  const auto radius = static_cast<std::int32_t>(state.range(0));
  const double radiusSquared = SquareOfRadius(radius);
  RandomState = 0;
  for (auto _ : state) benchmark::DoNotOptimize(CountBlockPointByPoint(radius, radiusSquared));
  state.SetItemsProcessed(state.iterations() * BlockSize);
}

// Counts BlocksPerRun blocks an iteration, handed out in order as in a run.
void Engine(benchmark::State& state, BlockCounting counting, int threads) {
  ResetFloatingPointUnit();
  const auto radius = static_cast<std::int32_t>(state.range(0));
  const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
  std::uint32_t firstState = 0;
  BlockTally total{0, 0};
  for (auto _ : state) {
    CountBlocksInOrder(firstState, filter, BlocksPerRun, {counting, threads},
                       [&](const BlockTally& tally) { total += tally; });
    firstState = firstState * 69069 + 12345;  // a fresh run each time
  }
  const std::int64_t points = state.iterations() * BlocksPerRun * BlockSize;
  state.SetItemsProcessed(points);
  state.counters["exact_share"] =
      static_cast<double>(total.exactPoints) / static_cast<double>(points);
}

// A path and method on one thread is timed by its processor time, which other
// loads of a shared machine disturb less; the choice on one and on every thread by
// the clock, for the speed-up that the threads bring.
void RegisterAll(const std::vector<Radius>& radii) {
  for (const Radius& radius : radii) {
    benchmark::RegisterBenchmark("PointByPoint", PointByPoint)->Arg(radius.radius);
    const BlockFilter filter = FilterFor(radius.radius, SquareOfRadius(radius.radius));
    for (VectorPath path : MachinePaths()) {
      for (BlockMethod method : MethodsFor(filter)) {
        benchmark::RegisterBenchmark(NameOf({path, method}).c_str(), Engine, BlockCounting{path, method}, 1)
            ->Arg(radius.radius);
      }
    }
    benchmark::RegisterBenchmark("OneThread", Engine, radius.chosen, 1)->Arg(radius.radius)->UseRealTime();
    benchmark::RegisterBenchmark("AllThreads", Engine, radius.chosen, UsableProcessorCount())
        ->Arg(radius.radius)
        ->UseRealTime();
  }
}

// Keeps the points per second and the exact share of every run, for the tables.
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

  double Find(const std::map<std::string, double>& values, std::string_view name, std::int32_t radius,
              const char* suffix) const {
    const auto found = values.find(std::string(name) + "/" + std::to_string(radius) + suffix);
    return found == values.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> rates;
  std::map<std::string, double> exactShares;
};

// A row for each radius and method, a column for each path; then a row for each
// radius with the choice. Points per second and the multiple of the point-by-point
// loop.
void PrintTables(const RateKeeper& keeper, const std::vector<Radius>& radii) {
  const std::vector<VectorPath> paths = MachinePaths();
  std::printf("\n%-11s %-9s %-9s", "R", "method", "loop");
  for (VectorPath path : paths) std::printf(" %-17.*s", static_cast<int>(PathName(path).size()), PathName(path).data());
  std::printf("\n");
  const auto cell = [&](double rate, double loop) {
    std::printf(" %6.3f G (%5.1fx)", rate / 1e9, loop > 0 ? rate / loop : 0.0);
  };
  for (const Radius& radius : radii) {
    const double loop = keeper.Find(keeper.rates, "PointByPoint", radius.radius, "");
    for (BlockMethod method : MethodsFor(FilterFor(radius.radius, SquareOfRadius(radius.radius)))) {
      std::printf("%-11d %-9.*s %5.1f M ", static_cast<int>(radius.radius), static_cast<int>(MethodName(method).size()),
                  MethodName(method).data(), loop / 1e6);
      for (VectorPath path : paths) cell(keeper.Find(keeper.rates, NameOf({path, method}), radius.radius, ""), loop);
      std::printf("\n");
    }
  }
  std::printf("\n%-11s %-18s %-17s %-17s %s\n", "R", "chosen", "1 thread", "all threads", "exact share");
  for (const Radius& radius : radii) {
    const double loop = keeper.Find(keeper.rates, "PointByPoint", radius.radius, "");
    std::printf("%-11d %-18s", static_cast<int>(radius.radius), NameOf(radius.chosen).c_str());
    cell(keeper.Find(keeper.rates, "OneThread", radius.radius, "/real_time"), loop);
    cell(keeper.Find(keeper.rates, "AllThreads", radius.radius, "/real_time"), loop);
    std::printf(" %.1e\n", keeper.Find(keeper.exactShares, "OneThread", radius.radius, "/real_time"));
  }
  std::printf("(%d threads; exact share: the share of points that took the exact test)\n", UsableProcessorCount());
}

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  dartcirc::ResetFloatingPointUnit();
  std::vector<dartcirc::Radius> radii;
  std::vector<long> given;
  for (int n = 1; n < argc; ++n) {
    char* end = nullptr;
    given.push_back(std::strtol(argv[n], &end, 10));
    if (*end != '\0' || given.back() < 1 || given.back() > 2147483647) {
      std::fprintf(stderr, "engine_bench: a radius is a whole number from 1 to 2147483647, not %s\n", argv[n]);
      return 2;
    }
  }
  if (given.empty()) given = {1, 5, 40, 64, 100, 1000, 2147483647};
  for (long radius : given) {
    const auto r = static_cast<std::int32_t>(radius);
    radii.push_back({r, dartcirc::CountingForRun(dartcirc::FilterFor(r, dartcirc::SquareOfRadius(r)), 1 << 20)});
  }
  dartcirc::RegisterAll(radii);
  dartcirc::RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  dartcirc::PrintTables(keeper, radii);
  benchmark::Shutdown();
}
