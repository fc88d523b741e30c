// The console streams through the recording fake: how output reaches the handle on
// each kind of device, padding, failures and their codes, and the input buffer; the
// fuzz target checks the lines read on any sequence of loads.
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
// bytes as they fill, and the rest at the close.
TEST(ConsoleOutput, WritesOfEachDevice) {
  const struct {
    std::uint32_t type;
    std::size_t length, lines;
    Sizes writes;
  } cases[] = {
      {FileTypeChar, 3, 1, {5}},      {FileTypeChar, 126, 1, {128}},  {FileTypeChar, 127, 1, {128, 1}},
      {FileTypeChar, 300, 1, {128, 128, 46}}, {FileTypeChar, 10, 2, {12, 12}},
      {FileTypeDisk, 10, 30, {128, 128, 104}}, {FileTypePipe, 10, 30, {128, 128, 104}},
  };
  for (const auto& c : cases) {
    FakePlatformScope scope;
    scope.fake.outputFileType = c.type;
    for (std::size_t line = 0; line < c.lines; ++line) WriteLine(std::string(c.length, 'x'));
    EXPECT_EQ(CloseStream(ConsoleOut), 0);
    EXPECT_EQ(scope.fake.WriteSizes(), c.writes) << c.type << " " << c.length;
    EXPECT_EQ(scope.fake.Output().size(), (c.length + 2) * c.lines);
    EXPECT_EQ(IoResultCode, 0);
  }
}

TEST(ConsoleOutput, PromptGoesOutAtOnceOnlyOnAConsoleAndNotBeforeARead) {
  for (std::uint32_t type : {FileTypeDisk, FileTypeChar}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = type;
    scope.fake.loads.push_back({"1000\r\n"});
    WriteText(ConsoleOut, "Random Range:");
    Text line;
    ReadWholeLine(ConsoleIn, line);  // reading flushes nothing
    EXPECT_EQ(line, "1000");
    EXPECT_TRUE(scope.fake.writes.empty());
    FlushAfterWrite(ConsoleOut);
    EXPECT_EQ(scope.fake.writes.size(), type == FileTypeChar ? 1u : 0u);
  }
}

TEST(ConsoleOutput, WritePaddedRightAlignsAndNeverCuts) {
  const struct {
    std::string text;
    std::int32_t width;
    std::size_t spaces;
  } cases[] = {{"0123456789", 10, 0}, {"abc", 10, 7}, {"0123456789ab", 10, 0}, {"abc", -5, 0},
               {"abc", 200, 197},     {"", 65, 65},   {"x", INT32_MIN, 0}};
  for (const auto& c : cases) {
    FakePlatformScope scope;
    WritePadded(ConsoleOut, c.text, c.width);
    CloseStream(ConsoleOut);
    EXPECT_EQ(scope.fake.Output(), std::string(c.spaces, ' ') + c.text) << c.width;
  }
  FakePlatformScope scope;
  IoResultCode = 5;  // a pending code stops the spaces after a piece, not the text
  WritePadded(ConsoleOut, "abc", 103);
  CloseStream(ConsoleOut);
  EXPECT_EQ(scope.fake.Output(), std::string(64, ' ') + "abc");
}

TEST(ConsoleOutput, FailedWriteDropsWaitingBytesAndTheLastCodeWins) {
  FakePlatformScope scope;
  scope.fake.writeError = ErrorDiskFull;
  // The text fails at its first full buffer and its other 72 bytes are not put; the
  // line end is still put and flushed, and fails again.
  WriteLine(std::string(200, 'x'));
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorDiskFull));
  EXPECT_EQ(scope.fake.WriteSizes(), (Sizes{128, 2}));
  scope.fake.writeError = ErrorNoData;
  WriteLine("def");
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorNoData));
  EXPECT_EQ(ConsoleOut.bufferCursor, 0u);
}

TEST(ConsoleOutput, OutputThatCannotBeOpenedGives105AndIsTriedAgain) {
  FakePlatformScope scope;
  scope.fake.stdOutputHandle = InvalidHandleValue;
  WriteLine("abc");
  EXPECT_EQ(IoResultCode, ResultNotWritable);
  EXPECT_EQ(ConsoleOut.streamState, StreamClosed);
  scope.fake.stdOutputHandle = 1;
  scope.fake.outputFileType = FileTypeUnknown;  // closed again at each of the two puts
  WriteLine("def");
  EXPECT_EQ(scope.fake.closedHandles, (std::vector<Handle>{1, 1}));
  scope.fake.outputFileType = FileTypeChar;
  IoResultCode = 0;
  WriteLine("ghi");
  EXPECT_EQ(IoResultCode, 0);
  EXPECT_EQ(scope.fake.Output(), "ghi\r\n");
}

TEST(ConsoleOutput, ClosedAndUnpreparedStreams) {
  FakePlatformScope scope;
  EXPECT_EQ(CloseStream(ConsoleIn), 0);
  EXPECT_EQ(FlushAfterWrite(ConsoleOut), 0);
  EXPECT_EQ(FlushStream(ConsoleOut), 0);
  EXPECT_EQ(IoResultCode, 0);
  EXPECT_EQ(CloseStream(ConsoleOut), 0);
  EXPECT_EQ(IoResultCode, ResultNotOpen);
  EndOutputLine(ConsoleOut);  // a line end on a never opened stream is a single LF
  EXPECT_EQ(scope.fake.Output(), "\n");
  ConsoleIn.streamState = 0;
  EXPECT_EQ(OpenForReading(ConsoleIn), ResultNotPrepared);
  EXPECT_EQ(IoResultCode, ResultNotPrepared);
}

TEST(ConsoleInput, LoadsOf128AndLinesOfAnyLengthIn255ByteChunks) {
  FakePlatformScope scope;
  const std::string line(600, '7');
  scope.fake.loads = {{"x"}, {line + "\r\n" + line + "\r\n"}};
  EXPECT_FALSE(ReadOneByte(ConsoleIn).atEnd);
  EXPECT_EQ(ConsoleIn.streamState, StreamInput);
  std::vector<std::int32_t> chunks;
  char area[255];
  do chunks.push_back(ReadLineChunk(ConsoleIn, area, 255));
  while (chunks.back() != 0);
  EXPECT_EQ(chunks, (std::vector<std::int32_t>{255, 255, 90, 0}));
  EXPECT_EQ(ConsoleIn.bufferFill, 128u);  // no load is larger
  SkipToNextLine(ConsoleIn);
  Text whole;
  ReadWholeLine(ConsoleIn, whole);
  EXPECT_EQ(whole, line);
}

TEST(ConsoleInput, EndOfInputLeavesTheMarkerWhichTheNextLineReadsAsData) {
  FakePlatformScope scope;
  scope.fake.loads = {{"12"}, {"\x1A" "34\r\n"}};
  Text line;
  ReadWholeLine(ConsoleIn, line);
  EXPECT_EQ(line, "12");
  const InputByte marker = ReadOneByte(ConsoleIn);
  EXPECT_TRUE(marker.atEnd);
  EXPECT_EQ(marker.byte, 26);
  EXPECT_EQ(scope.fake.readCalls, 2);
  SkipToNextLine(ConsoleIn);
  ReadWholeLine(ConsoleIn, line);
  EXPECT_EQ(line, "\x1A" "34");
}

TEST(ConsoleInput, InputThatCannotBeOpenedReadsAnEmptyLineWith104) {
  FakePlatformScope scope;
  scope.fake.stdInputHandle = InvalidHandleValue;
  Text line = "x";
  ReadWholeLine(ConsoleIn, line);
  EXPECT_EQ(line, "");
  EXPECT_EQ(IoResultCode, ResultNotReadable);
  EXPECT_EQ(scope.fake.readCalls, 0);
}

}  // namespace
}  // namespace dartcirc::testing
