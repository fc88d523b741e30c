// The line reader over the recording fake platform, with standard input served as
// loads chosen by the fuzzer: short pieces rich in CR, LF and 26, long runs of one
// byte, empty loads (end of input) and failed reads. The answers read one after the
// other must equal a simple model of the served bytes, whatever the load
// boundaries: each line is the bytes up to the next LF with every CR removed, until
// input stops (end of input, a failed read, or a 26 at the head of a load).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/console_input.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakeLoad;
using testing::FakePlatformScope;

constexpr std::size_t ReadSize = 128;  // every read of ConsoleIn asks for this much
constexpr int MostAnswers = 8;

// Bytes of a line-oriented input, the interesting ones far more often than the rest.
char InputByteFor(std::uint8_t code) {
  switch (code % 8) {
    case 0: return '\r';
    case 1: return '\n';
    case 2: return '\x1A';
    case 3: return static_cast<char>(code);  // anything, zero bytes included
    default: return static_cast<char>('0' + code % 10);
  }
}

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::vector<FakeLoad> DecodeLoads(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint32_t FailureCodes[] = {ErrorAccessDenied, ErrorInvalidHandle,
                                                   ErrorBrokenPipe, ErrorIoDevice};
  std::vector<FakeLoad> loads;
  Reader reader(data, size);
  while (reader.More()) {
    const std::uint8_t kind = reader.Next();
    const std::uint8_t parameter = reader.Next();
    switch (kind % 4) {
      case 0: loads.push_back({"", FailureCodes[parameter % 4]}); break;
      case 1: loads.push_back({""}); break;  // end of input, then more may follow
      case 2: loads.push_back({std::string(parameter * 4u + 1, InputByteFor(reader.Next()))}); break;
      case 3: {
        std::string bytes;
        for (int i = 0; i < parameter % 48 + 1; ++i) bytes += InputByteFor(reader.Next());
        loads.push_back({bytes});
        break;
      }
    }
  }
  return loads;
}

// What the reader sees: the bytes served before input stops, and how it stops.
struct ServedInput {
  std::string bytes;
  bool failed = false;  // stopped by a failed read rather than by an end
};

ServedInput Serve(const std::vector<FakeLoad>& loads) {
  ServedInput served;
  for (const FakeLoad& load : loads) {
    if (load.error == ErrorBrokenPipe || (load.error == 0 && load.bytes.empty())) return served;
    if (load.error != 0) {
      served.failed = true;
      return served;
    }
    // Each read takes at most ReadSize bytes of the load; a 26 heading a read ends input.
    for (std::size_t head = 0; head < load.bytes.size(); head += ReadSize) {
      if (load.bytes[head] == '\x1A') return served;
      served.bytes += load.bytes.substr(head, ReadSize);
    }
  }
  return served;
}

void Require(bool holds, const char* property, int answer) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s, answer %d\n", property, answer);
  std::abort();
}

}  // namespace
}  // namespace dartcirc

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  const std::vector<FakeLoad> loads = DecodeLoads(data, size);
  const ServedInput served = Serve(loads);

  FakePlatformScope scope;
  scope.fake.loads.assign(loads.begin(), loads.end());
  std::size_t lineStart = 0;
  for (int answer = 0; answer < MostAnswers; ++answer) {
    const std::size_t lineFeed = served.bytes.find('\n', lineStart);
    const bool lastAnswer = lineFeed == std::string::npos;
    std::string expected = served.bytes.substr(lineStart, lastAnswer ? std::string::npos : lineFeed - lineStart);
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());

    Text line;
    ReadWholeLine(ConsoleIn, line);
    SkipToNextLine(ConsoleIn);
    Require(line == expected, "the line is the bytes up to the LF without CR", answer);
    // End of input is no error; a failed read leaves its code for the check.
    const bool failureSeen = lastAnswer && served.failed;
    Require((IoResultCode != 0) == failureSeen, "a failed read, and only that, leaves a code", answer);
    if (lastAnswer) break;
    lineStart = lineFeed + 1;
  }
  return 0;
}
