// The cost of each extended operation computed in software against the same
// operation on the x87, measured in the same run over the same operands (values
// of the sizes the estimation meets), and the ratio as a table.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "runtime/soft_extended.h"

namespace dartcirc {
namespace {

constexpr int OperandCount = 1024;

struct Operands {
  std::vector<SoftExtended> soft;
  std::vector<long double> x87;
  std::vector<double> doubles;
};

const Operands& TestOperands() {
  static const Operands operands = [] {
    Operands made;
    std::mt19937_64 random(7);
    for (int i = 0; i < OperandCount; ++i) {
      const double d = static_cast<double>(random() % 2000000) / 997.0 + 1.0;
      made.doubles.push_back(d);
      made.soft.push_back(SoftFromDouble(d).value);
      made.x87.push_back(d);
    }
    return made;
  }();
  return operands;
}

enum class Op { Add, Multiply, Divide, Compare, FromDouble, ToDouble };

void Soft(benchmark::State& state, Op op) {
  const Operands& o = TestOperands();
  for (auto _ : state) {
    for (int i = 0; i + 1 < OperandCount; ++i) {
      switch (op) {
        case Op::Add: benchmark::DoNotOptimize(SoftAdd(o.soft[i], o.soft[i + 1])); break;
        case Op::Multiply: benchmark::DoNotOptimize(SoftMultiply(o.soft[i], o.soft[i + 1])); break;
        case Op::Divide: benchmark::DoNotOptimize(SoftDivide(o.soft[i], o.soft[i + 1])); break;
        case Op::Compare: benchmark::DoNotOptimize(SoftCompareOrdered(o.soft[i], o.soft[i + 1])); break;
        case Op::FromDouble: benchmark::DoNotOptimize(SoftFromDouble(o.doubles[i])); break;
        case Op::ToDouble: benchmark::DoNotOptimize(SoftRoundToDouble(o.soft[i])); break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * (OperandCount - 1));
}

void X87(benchmark::State& state, Op op) {
  const Operands& o = TestOperands();
  const std::uint16_t startup = 0x1332;
  asm volatile("fninit\n\tfldcw %0" : : "m"(startup));
  for (auto _ : state) {
    for (int i = 0; i + 1 < OperandCount; ++i) {
      switch (op) {
        case Op::Add: benchmark::DoNotOptimize(o.x87[i] + o.x87[i + 1]); break;
        case Op::Multiply: benchmark::DoNotOptimize(o.x87[i] * o.x87[i + 1]); break;
        case Op::Divide: benchmark::DoNotOptimize(o.x87[i] / o.x87[i + 1]); break;
        case Op::Compare: benchmark::DoNotOptimize(o.x87[i] < o.x87[i + 1]); break;
        case Op::FromDouble: benchmark::DoNotOptimize(static_cast<long double>(o.doubles[i])); break;
        case Op::ToDouble: benchmark::DoNotOptimize(static_cast<double>(o.x87[i])); break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * (OperandCount - 1));
}

const struct {
  Op op;
  const char* name;
} Ops[] = {{Op::Add, "add"},       {Op::Multiply, "multiply"},      {Op::Divide, "divide"},
           {Op::Compare, "compare"}, {Op::FromDouble, "from double"}, {Op::ToDouble, "to double"}};

class RateKeeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  using namespace dartcirc;
  benchmark::Initialize(&argc, argv);
  for (const auto& op : Ops) {
    benchmark::RegisterBenchmark((std::string("X87/") + op.name).c_str(), X87, op.op);
    benchmark::RegisterBenchmark((std::string("Soft/") + op.name).c_str(), Soft, op.op);
  }
  RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  std::printf("\n%-12s %10s %10s %8s\n", "operation", "x87 ns", "soft ns", "ratio");
  for (const auto& op : Ops) {
    const double x87 = keeper.rates[std::string("X87/") + op.name];
    const double soft = keeper.rates[std::string("Soft/") + op.name];
    if (x87 == 0 || soft == 0) continue;
    std::printf("%-12s %10.2f %10.2f %7.1fx\n", op.name, 1e9 / x87, 1e9 / soft, x87 / soft);
  }
  benchmark::Shutdown();
}
