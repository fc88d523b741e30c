// The console streams through the recording fake: how output reaches the handle on
// each kind of device, and the codes of streams that are not open; the fuzz target
// checks the lines read on any sequence of loads.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/console_input.h"
#include "runtime/console_stream.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

using Sizes = std::vector<std::size_t>;

void WriteLine(std::string_view text) { EndOutputLine(WriteText(ConsoleOut, text)); }

// A console takes each statement at its end; a file or pipe, full buffers of 128
// bytes as they fill, and the rest at the close; a read flushes nothing.
TEST(ConsoleOutput, WritesOfEachDevice) {
  const struct {
    std::uint32_t type;
    std::size_t length, lines;
    Sizes writes;
  } cases[] = {{FileTypeChar, 3, 1, {5}},        {FileTypeChar, 126, 1, {128}},    {FileTypeChar, 127, 1, {128, 1}},
               {FileTypeChar, 300, 1, {128, 128, 46}}, {FileTypeChar, 10, 2, {12, 12}},
               {FileTypeDisk, 10, 30, {128, 128, 104}}, {FileTypePipe, 10, 30, {128, 128, 104}}};
  for (const auto& c : cases) {
    FakePlatformScope scope;
    scope.fake.outputFileType = c.type;
    scope.fake.loads.push_back({"1000\r\n"});
    WriteText(ConsoleOut, std::string(c.length, 'x'));
    ReadOneByte(ConsoleIn);
    EXPECT_TRUE(scope.fake.writes.size() == c.length / 128);
    EndOutputLine(ConsoleOut);
    for (std::size_t line = 1; line < c.lines; ++line) WriteLine(std::string(c.length, 'x'));
    EXPECT_EQ(CloseStream(ConsoleOut), 0);
    EXPECT_EQ(scope.fake.WriteSizes(), c.writes) << c.type << " " << c.length;
    EXPECT_EQ(scope.fake.Output().size(), (c.length + 2) * c.lines);
    EXPECT_EQ(IoResultCode, 0);
  }
}

// Standard handles that cannot be had, at every step of a run: the fault sweep.
TEST(ConsoleOutput, StreamsThatCannotBeOpenedOrAreClosed) {
  FakePlatformScope scope;
  scope.fake.outputFileType = FileTypeUnknown;  // closed again at each of the two puts
  WriteLine("def");
  EXPECT_EQ(scope.fake.closedHandles, (std::vector<Handle>{1, 1}));
  EXPECT_EQ(CloseStream(ConsoleIn), 0);
  EXPECT_EQ(FlushAfterWrite(ConsoleOut) + FlushStream(ConsoleOut), 0);
  IoResultCode = 0;
  EXPECT_EQ(CloseStream(ConsoleOut), 0);
  EXPECT_EQ(IoResultCode, 103);  // not open
  scope.fake.outputFileType = FileTypeChar;
  scope.fake.closedHandles.clear();  // a descriptor opened again
  WriteLine("ghi");
  EXPECT_EQ(scope.fake.Output(), "ghi\r\n");
  ConsoleIn.streamState = 0;
  EXPECT_EQ(OpenForReading(ConsoleIn), 102);  // not prepared
  FakePlatformScope fresh;
  EndOutputLine(ConsoleOut);  // a line end on a never opened stream is a single LF
  EXPECT_EQ(fresh.fake.Output(), "\n");
}

}  // namespace
}  // namespace dartcirc::testing
