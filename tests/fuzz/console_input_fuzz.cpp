// The line reader over the recording fake platform, with standard input served as
// loads the input chooses: short pieces rich in CR, LF, 26 and what the integer
// conversions look at, long runs of one byte, empty loads (end of input) and failed
// reads. The answers read one after the other equal a model of the served bytes
// whatever the load boundaries: each line is the bytes up to the next LF with every
// CR removed, until input stops (at its end, at a failed read, or at a 26 heading a
// read), and only a failed read leaves a code. Each line, converted piece by piece
// as it is read, gives what converting it whole gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/console_input.h"
#include "runtime/integer_conversion.h"
#include "tests/support/fake_platform.h"
#include "tests/support/require.h"

namespace {

using dartcirc::testing::FakeLoad;

// Line ends and the end marker, then spaces, signs, prefixes, a zero byte, a code
// page 932 pair and digits.
char InputByteFor(std::uint8_t code) {
  static const char favoured[] = "\r\n\x1A\r\n\x1A -+$xX\0\x82P00000123456789aF";
  return code % 4 == 3 ? static_cast<char>(code) : favoured[code % (sizeof favoured - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  using testing::Require;
  static constexpr std::uint32_t FailureCodes[] = {ErrorAccessDenied, ErrorInvalidHandle, ErrorBrokenPipe,
                                                   ErrorIoDevice};
  testing::FakePlatformScope scope;
  std::string served;  // what the reader sees before input stops
  bool stopped = false, failed = false;
  for (std::size_t at = 0; at + 1 < size;) {
    const std::uint8_t kind = data[at++], parameter = data[at++];
    FakeLoad load;
    if (kind % 4 == 0) load.error = FailureCodes[parameter % 4];
    if (kind % 4 == 2) load.bytes.assign(parameter * 4u + 1, InputByteFor(at < size ? data[at++] : 0));
    for (int i = 0; kind % 4 == 3 && i <= parameter % 48; ++i) load.bytes += InputByteFor(at < size ? data[at++] : 0);
    scope.fake.loads.push_back(load);
    // End of input and a broken pipe stop input quietly; each read takes at most 128
    // bytes, and a 26 heading one stops input too.
    if (stopped) continue;
    stopped = load.bytes.empty();
    failed = load.error != 0 && load.error != ErrorBrokenPipe;
    for (std::size_t head = 0; head < load.bytes.size() && !stopped; head += 128) {
      stopped = load.bytes[head] == '\x1A';
      if (!stopped) served += load.bytes.substr(head, 128);
    }
  }
  for (std::size_t lineStart = 0, answer = 0; answer < 8; ++answer) {
    const std::size_t lineFeed = served.find('\n', lineStart);
    std::string expected = served.substr(lineStart, lineFeed == std::string::npos ? std::string::npos : lineFeed - lineStart);
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    std::string line;
    Int32Scan narrow;
    Int64Scan wide;
    ReadWholeLine(ConsoleIn, [&](std::string_view piece) { line += piece, narrow.Feed(piece), wide.Feed(piece); });
    SkipToNextLine(ConsoleIn);
    Require(line == expected, "the line is the bytes up to the LF without CR");
    Require(narrow.Finish() == ParseInt32(expected) && wide.Finish() == ParseInt64(expected), "converted as read, as whole");
    Require((IoResultCode != 0) == (failed && lineFeed == std::string::npos), "only a failed read leaves a code");
    if (lineFeed == std::string::npos) break;
    lineStart = lineFeed + 1;
  }
  return 0;
}
