// Every failure at every step of a run. The program body runs over the recording
// fake for each scenario: once to count its platform calls and its allocations, then
// once for each call with that call failing (once per error code that
// tests/data/fault_sweep.tsv names for it), and once for each allocation with that
// allocation failing. The table gives the outcome of each failure by the call and
// the step it came at (the run, the end, a report); each outcome is checked against
// the run without a failure: the exit code, the report, every byte written before
// the failure there and nothing after it but the rest of the failing statement.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimator/program.h"
#include "runtime/console_stream.h"
#include "tests/support/cp932.h"
#include "tests/support/data_table.h"
#include "tests/support/fake_platform.h"

namespace {

// The program's allocations, counted while a run is swept; the one asked for fails as
// an exhausted heap does, through the new handler.
std::size_t Allocations = 0, FailingAllocation = 0;
const dartcirc::testing::FakePlatform* Swept = nullptr;  // counting while set
dartcirc::testing::FakeCall AtAllocation[1024];  // the program's output at each; no heap

}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // the replacements below pair malloc and free
#endif

void* operator new(std::size_t size) {
  using dartcirc::testing::InsideFake;
  if (Swept != nullptr && InsideFake::depth == 0 && Allocations < std::size(AtAllocation)) {
    AtAllocation[Allocations++] = {"allocation", Swept->bytesWritten, Swept->ProducedBytes() - Swept->bytesWritten, false};
    if (Allocations == FailingAllocation) {
      if (const std::new_handler handler = std::get_new_handler()) handler();
      throw std::bad_alloc();
    }
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace dartcirc::testing {
namespace {

struct Scenario {
  const char* name;
  std::string commandLine;
  std::vector<std::string> loads;
  std::uint32_t outputType = FileTypePipe;
  Handle input = 0;
  std::uint32_t writeError = 0;  // a closed standard output takes no write
};

// R = 1: every line is 4.00000000, whatever the clock gives.
const Scenario Scenarios[] = {
    {"command line", "dartcirc 1 30000", {}},
    {"workers", "dartcirc 1 400000", {}, FileTypeChar},  // 40 blocks, a worker on two processors
    {"prompts", "dartcirc", {"1\r\n", "30000\r\n"}, FileTypeChar},
    {"rejected radius", "dartcirc 0 5", {}},
    {"input ends early", "dartcirc", {"1\r\n"}},
    {"input closed", "dartcirc", {}, FileTypeDisk, InvalidHandleValue},
    {"output closed", "dartcirc 1 30000", {}, FileTypeUnknown, 0, ErrorInvalidHandle},
};

struct Record {
  std::int32_t exit;
  std::string output;
  std::vector<FakeCall> calls;
  std::vector<FakeWrite> writes;
  std::vector<FakeCall> allocations;
};

Record RunScenario(const Scenario& scenario, std::size_t failingCall = 0, std::uint32_t code = 0, std::size_t failingAllocation = 0) {
  FakePlatformScope scope;
  FakePlatform& fake = scope.fake;
  fake.commandLine = scenario.commandLine;
  for (const std::string& load : scenario.loads) fake.loads.push_back({load});
  fake.outputFileType = scenario.outputType;
  fake.stdInputHandle = scenario.input;
  fake.writeError = scenario.writeError;
  fake.time = {12, 34, 56, 789};
  fake.failingCall = failingCall;
  fake.failureCode = code;
  Allocations = 0;
  FailingAllocation = failingAllocation;
  Swept = &fake;
  const std::int32_t exit = ExitCodeOf([] { RunProgram(); });
  Swept = nullptr;
  return {exit, fake.Output(), fake.calls, fake.writes, {AtAllocation, AtAllocation + Allocations}};
}

// Whether output ends with the report of class and message, naming the program, and
// where it starts.
bool EndsWithReport(const std::string& output, const std::string& exceptionClass, const std::string& message,
                    std::size_t& start) {
  const std::string head = Cp932FromUtf8(exceptionClass + "がモジュール dartcirc の ");
  const std::string tail = Cp932FromUtf8(" で発生しました。\n" + message + ".\r\n");
  if (output.size() < head.size() + 8 + tail.size() || !output.ends_with(tail)) return false;
  start = output.size() - tail.size() - 8 - head.size();
  const std::string offset = output.substr(start + head.size(), 8);
  return output.compare(start, head.size(), head) == 0 &&
         offset.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// Whether part holds bytes of whole in their order, some perhaps left out.
bool IsPartOf(const std::string& part, const std::string& whole) {
  std::size_t at = 0;
  for (char byte : part) {
    at = whole.find(byte, at);
    if (at++ == std::string::npos) return false;
  }
  return true;
}

// What was written before a failure at `at` is all there, then at most the rest of
// the failing statement (a line or a prompt), parts of it perhaps left out.
void ExpectWrittenUpTo(const std::string& before, const Record& clean, const FakeCall& at, bool failedDrain) {
  const std::size_t kept = at.written + (failedDrain ? 0 : at.waiting);
  const std::size_t produced = at.written + at.waiting;
  const std::size_t statementEnd = std::min(clean.output.find_first_of("\n:", produced), clean.output.size() - 1) + 1;
  EXPECT_EQ(before.substr(0, kept), clean.output.substr(0, kept));
  EXPECT_TRUE(before.size() >= kept && IsPartOf(before.substr(kept), clean.output.substr(produced, statementEnd - produced)))
      << "after the failure: " << before.substr(std::min(kept, before.size()));
}

// The checks of one failing run against the row that gives its outcome.
void ExpectOutcome(const TableRow& row, const Scenario& scenario, const Record& clean, const Record& failed,
                   const FakeCall& at, std::size_t callIndex) {
  const std::string& outcome = row[3];
  const bool streamWrite = std::string(at.name) == "WriteFile";
  std::size_t lost = 0;  // the bytes of the failing write that reached the output without the failure
  if (std::string(at.name).starts_with("WriteFile")) {
    const auto index = std::count_if(clean.calls.begin(), clean.calls.begin() + callIndex,
                                     [](const FakeCall& call) { return std::string(call.name).starts_with("WriteFile"); });
    lost = clean.writes[index].failed ? 0 : clean.writes[index].bytes.size();
  }
  if (outcome == "report" && scenario.writeError == 0) {
    std::size_t start = 0;
    EXPECT_EQ(failed.exit, 1);
    ASSERT_TRUE(EndsWithReport(failed.output, row[4], row[5], start)) << failed.output;
    ExpectWrittenUpTo(failed.output.substr(0, start), clean, at, streamWrite);
  } else if (outcome == "report" || outcome == "no report") {
    EXPECT_EQ(failed.exit, 1);
    ExpectWrittenUpTo(failed.output, clean, at, streamWrite);
  } else if (outcome == "write lost") {
    EXPECT_EQ(failed.exit, std::max(clean.exit, 1));
    EXPECT_EQ(failed.output, clean.output.substr(0, at.written) + clean.output.substr(at.written + lost));
  } else if (outcome == "report lost") {
    EXPECT_EQ(failed.exit, clean.exit);
    EXPECT_EQ(failed.output, clean.output.substr(0, at.written));
  } else {
    Record expected = clean;
    if (outcome == "input ends") {  // each read takes one load
      Scenario cut = scenario;
      cut.loads.resize(std::count_if(clean.calls.begin(), clean.calls.begin() + callIndex,
                                     [](const FakeCall& call) { return std::string(call.name) == "ReadFile"; }));
      expected = RunScenario(cut);
    } else if (outcome == "unnamed") {
      const std::string named = Cp932FromUtf8("モジュール dartcirc の");
      if (const std::size_t place = expected.output.find(named); place != std::string::npos) {
        expected.output.replace(place, named.size(), Cp932FromUtf8("モジュール  の"));
      }
    } else {
      EXPECT_EQ(outcome, "same");
    }
    EXPECT_EQ(failed.exit, expected.exit);
    EXPECT_EQ(failed.output, expected.output);
  }
}

// The step of a run at which a call came: a report (from the first call a report
// makes, the name of the program), the end, or the run.
std::string StepOf(const Record& clean, std::size_t index) {
  const auto report = std::find_if(clean.calls.begin(), clean.calls.end(),
                                   [](const FakeCall& call) { return std::string(call.name) == "GetModuleFileNameA"; });
  if (report - clean.calls.begin() <= static_cast<std::ptrdiff_t>(index)) return "report";
  return clean.calls[index].ending ? "end" : "run";
}

TEST(FaultSweep, EveryCallAndEveryAllocationOfEveryScenarioFailsAsTheTableSays) {
  const std::vector<TableRow> table = ReadTable("fault_sweep.tsv");
  std::map<std::string, int> outcomes;
  int runs = 0;
  for (const Scenario& scenario : Scenarios) {
    const Record clean = RunScenario(scenario);
    const auto sweep = [&](const std::string& name, const std::string& step, std::size_t index, bool allocation) {
      const FakeCall& at = allocation ? clean.allocations[index] : clean.calls[index];
      bool expected = false;
      for (const TableRow& row : table) {
        if (row[0] != name || row[2] != step) continue;
        expected = true;
        const auto code = static_cast<std::uint32_t>(std::stoul(row[1]));
        const Record failed = allocation ? RunScenario(scenario, 0, 0, index + 1) : RunScenario(scenario, index + 1, code);
        SCOPED_TRACE(std::string(scenario.name) + ": " + name + " " + row[1] + " at " + std::to_string(index + 1));
        ExpectOutcome(row, scenario, clean, failed, at, index);
        ++runs;
        ++outcomes[row[3] == "report" && scenario.writeError != 0 ? "no report" : row[3]];
      }
      EXPECT_TRUE(expected) << "no outcome for " << name << " at the " << step << " of " << scenario.name;
    };
    for (std::size_t k = 0; k < clean.calls.size(); ++k) sweep(clean.calls[k].name, StepOf(clean, k), k, false);
    for (std::size_t k = 0; k < clean.allocations.size(); ++k) sweep("allocation", "run", k, true);
  }
  std::string summary = std::to_string(runs) + " failing runs:";
  for (const auto& [outcome, count] : outcomes) summary += " " + outcome + " " + std::to_string(count) + ";";
  RecordProperty("outcomes", summary);
  std::cout << summary << "\n";
}

}  // namespace
}  // namespace dartcirc::testing
