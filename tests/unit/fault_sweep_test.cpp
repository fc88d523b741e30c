// Every failure at every step of a run. The program body runs over the recording
// fake for each scenario: once to count its platform calls and its allocations, then
// once for each call with that call failing (once per error code that
// tests/data/fault_sweep.tsv names for it), and once for each allocation with that
// allocation failing. The table gives the outcome of each failure by the call and
// the step it came at (the run, the end, a report); each is checked against the run
// without a failure: the exit code, the report, every byte produced before the
// failure there, and after it no more than the rest of the failing line.
#include <algorithm>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "estimator/program.h"
#include "tests/support/cp932.h"
#include "tests/support/data_table.h"
#include "tests/support/fake_platform.h"

// The program's allocations while a run is swept, with its output at each (kept
// off the heap); the one asked for fails as an exhausted heap does.
static const dartcirc::testing::FakePlatform* Swept = nullptr;
static dartcirc::testing::FakeCall AtAllocation[1024];
static std::size_t Allocations = 0, FailingAllocation = 0;

void* operator new(std::size_t size) {
  if (Swept != nullptr && dartcirc::testing::InsideFake::depth == 0 && Allocations < std::size(AtAllocation)) {
    AtAllocation[Allocations++] = {"allocation", Swept->bytesWritten, dartcirc::testing::WaitingBytes(), false};
    if (Allocations == FailingAllocation) std::get_new_handler() ? std::get_new_handler()() : throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace dartcirc::testing {
namespace {

// R = 1: every line is 4.00000000, whatever the clock gives. A closed standard output
// is of no known type and takes no write, so no report reaches it.
const std::pair<const char*, FakePlatform> Scenarios[] = {
    {"command line", {.outputFileType = FileTypePipe, .commandLine = "dartcirc 1 30000"}},
    {"workers", {.outputFileType = FileTypeChar, .commandLine = "dartcirc 1 400000"}},  // 40 blocks: a worker on two processors
    {"prompts", {.outputFileType = FileTypeChar, .loads = {{"1\r\n"}, {"30000\r\n"}}, .commandLine = "dartcirc"}},
    {"rejected radius", {.outputFileType = FileTypePipe, .commandLine = "dartcirc 0 5"}},
    {"input ends early", {.outputFileType = FileTypePipe, .loads = {{"1\r\n"}}, .commandLine = "dartcirc"}},
    {"input closed", {.stdInputHandle = InvalidHandleValue, .outputFileType = FileTypeDisk, .commandLine = "dartcirc"}},
    {"output closed", {.outputFileType = FileTypeUnknown, .closedHandles = {1}, .commandLine = "dartcirc 1 30000"}},
};

struct Record { std::int32_t exit; std::string output; FakePlatform fake; std::vector<FakeCall> allocations; };

Record RunScenario(const FakePlatform& scenario, std::size_t failingCall = 0, std::uint32_t code = 0, std::size_t failingAllocation = 0) {
  FakePlatformScope scope;
  scope.fake = scenario;
  scope.fake.failingCall = failingCall, scope.fake.failureCode = code;
  Allocations = 0, FailingAllocation = failingAllocation, Swept = &scope.fake;
  const std::int32_t exit = ExitCodeOf([] { RunProgram(); });
  Swept = nullptr;
  return {exit, scope.fake.Output(), scope.fake, {AtAllocation, AtAllocation + Allocations}};
}

// The checks of a run failed at `at` against the row of its outcome.
void ExpectOutcome(const TableRow& row, const FakePlatform& scenario, const Record& clean, const Record& failed,
                   const FakeCall& at) {
  const std::string name = at.name, outcome = row[3] == "report" && !scenario.closedHandles.empty() ? "no report" : row[3];
  if (outcome == "report" || outcome == "no report") {
    EXPECT_EQ(failed.exit, 1);
    // The program is named by the file name of its path, dartcirc (dartcirc.exe on Windows).
    const std::string program = row[6].empty() ? "" : std::string(FileNameOf(scenario.moduleFileName));
    const std::string head = Cp932FromUtf8(row[4] + "がモジュール ") + program + Cp932FromUtf8(" の "), tail = Cp932FromUtf8(" で発生しました。\n" + row[5] + ".\r\n");
    std::string before = failed.output;
    if (outcome == "report") {
      const std::size_t start = before.size() - std::min(before.size(), head.size() + 8 + tail.size());
      ASSERT_TRUE(before.ends_with(tail) && before.compare(start, head.size(), head) == 0) << failed.output;
      before.resize(start);
    }
    // A write that fails drops the bytes it held; the rest of its statement's line may follow.
    const std::size_t kept = at.written + (name == "WriteFile" ? 0 : at.waiting);
    EXPECT_EQ(before.substr(0, kept), clean.output.substr(0, kept));
    const std::size_t lineEnd = before.find('\n', kept);
    EXPECT_TRUE(lineEnd == std::string::npos || lineEnd + 1 == before.size()) << "after the failure: " << before.substr(kept);
  } else {
    FakePlatform cut = scenario;  // input that ends where the failing read left it
    cut.loads.resize(cut.loads.size() - (outcome == "input ends" ? failed.fake.loads.size() : 0));
    const Record expected = RunScenario(cut);
    EXPECT_TRUE(outcome == "same" || outcome == "input ends") << outcome;
    EXPECT_EQ(failed.exit, expected.exit);
    EXPECT_EQ(failed.output, expected.output);
  }
}

TEST(FaultSweep, EveryCallAndEveryAllocationOfEveryScenarioFailsAsTheTableSays) {
  const std::vector<TableRow> table = ReadTable("fault_sweep.tsv");
  for (const auto& [name, scenario] : Scenarios) {
    const Record clean = RunScenario(scenario);
    // A report begins with the name of the program: its calls and those after it are the report's.
    const auto report = std::ranges::find(clean.fake.calls, std::string_view("GetModuleFileNameA"), &FakeCall::name) - clean.fake.calls.begin();
    for (std::size_t k = 0; k < clean.fake.calls.size() + clean.allocations.size(); ++k) {  // the calls, then the allocations
      const bool allocation = k >= clean.fake.calls.size();
      const std::size_t index = allocation ? k - clean.fake.calls.size() : k;
      const FakeCall& step = allocation ? clean.allocations[index] : clean.fake.calls[index];
      const std::string when = !allocation && std::cmp_greater_equal(k, report) ? "report" : step.ending ? "end" : "run";
      int rows = 0;
      for (const TableRow& row : table) {
        if (row[0] != step.name || row[2] != when) continue;
        SCOPED_TRACE(std::string(name) + ": " + step.name + " " + row[1] + " at " + std::to_string(index + 1));
        const Record failed = allocation ? RunScenario(scenario, 0, 0, index + 1) : RunScenario(scenario, k + 1, std::stoul(row[1]));
        ExpectOutcome(row, scenario, clean, failed, step);
        ++rows;
      }
      EXPECT_GT(rows, 0) << "no outcome for " << step.name << " at the " << when << " of " << name;
    }
  }
}

}  // namespace
}  // namespace dartcirc::testing
