#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/console_input.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakeLoad;
using testing::FakePlatformScope;
using Lines = std::vector<std::string>;

// The statement that reads one answer.
Text ReadAnswer() {
  Text line;
  ReadWholeLine(ConsoleIn, line);
  SkipToNextLine(ConsoleIn);
  return line;
}

void Serve(FakePlatformScope& scope, const Lines& loads) {
  for (const std::string& bytes : loads) scope.fake.loads.push_back(FakeLoad{bytes});
}

// Bytes that show any loss or reordering: 0123456789012...
std::string Digits(std::size_t length) {
  std::string digits;
  for (std::size_t i = 0; i < length; ++i) digits += static_cast<char>('0' + i % 10);
  return digits;
}

TEST(ConsoleInput, LineEndsAndCarriageReturns) {
  struct Case {
    Lines loads;
    Lines answers;
    int readCalls;
  } cases[] = {
      {{"1000\r\n7\r\n"}, {"1000", "7"}, 1},  // two answers in one load, no further read
      {{"1000\n500\n"}, {"1000", "500"}, 1},  // lone LF
      {{"12\r34\r\n7\n"}, {"1234", "7"}, 1},  // a CR inside a line is dropped
      {{"12\r\r\n7\n"}, {"12", "7"}, 1},
      {{"\r\n7\n"}, {"", "7"}, 1},
      {{"1000\r", "\n7\n"}, {"1000", "7"}, 2},  // CR LF split between loads
      {{"1000", "\r\n7\n"}, {"1000", "7"}, 2},
      {{"1000\r", "7\n"}, {"10007", ""}, 3},     // a CR last in its load is dropped
      {{"1\x1A" "2\r\n7\n"}, {"1\x1A" "2", "7"}, 1},  // a 26 among buffered bytes is data
      {{"123"}, {"123"}, 2},                        // no line end before the end of input
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    Serve(scope, c.loads);
    for (const std::string& answer : c.answers) EXPECT_EQ(ReadAnswer(), answer) << c.loads[0];
    EXPECT_EQ(scope.fake.readCalls, c.readCalls) << c.loads[0];
    EXPECT_EQ(IoResultCode, 0);
  }
}

TEST(ConsoleInput, FirstReadOpensTheStreamAndLoadsAtMost128Bytes) {
  FakePlatformScope scope;
  Serve(scope, {std::string(300, 'x')});
  EXPECT_FALSE(ReadOneByte(ConsoleIn).atEnd);
  EXPECT_EQ(ConsoleIn.streamState, StreamInput);
  EXPECT_EQ(ConsoleIn.textStyle, CrLfText);
  std::vector<std::uint32_t> fills;
  while (FillFromHandle(ConsoleIn) == 0 && ConsoleIn.bufferFill > 0) {
    fills.push_back(ConsoleIn.bufferFill);
  }
  EXPECT_EQ(fills, (std::vector<std::uint32_t>{128, 44}));
}

TEST(ConsoleInput, LongLinesComeInChunksOf255) {
  struct Case {
    std::size_t length;
    std::vector<std::int32_t> chunks;
  } cases[] = {
      {600, {255, 255, 90, 0}},
      {255, {255, 0}},
      {510, {255, 255, 0}},
      {0, {0}},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    Serve(scope, {Digits(c.length) + "\r\n", Digits(c.length) + "\r\n"});
    std::vector<std::int32_t> chunks;
    char area[255];
    do chunks.push_back(ReadLineChunk(ConsoleIn, area, 255));
    while (chunks.back() != 0);
    EXPECT_EQ(chunks, c.chunks) << c.length;
    SkipToNextLine(ConsoleIn);
    EXPECT_EQ(ReadAnswer(), Digits(c.length));
  }
}

TEST(ConsoleInput, PartOfALineThenSkipToTheNext) {
  FakePlatformScope scope;
  Serve(scope, {"abc\r\rd\r\n7\n"});
  char area[4];
  EXPECT_EQ(ReadLineChunk(ConsoleIn, area, 0), 0);
  EXPECT_EQ(ReadLineChunk(ConsoleIn, area, -1), 0);
  EXPECT_EQ(ReadLineChunk(ConsoleIn, area, 2), 2);
  EXPECT_EQ(std::string(area, 2), "ab");
  SkipToNextLine(ConsoleIn);
  EXPECT_EQ(ReadAnswer(), "7");
}

TEST(ConsoleInput, EndOfInputIsNoErrorAndLeavesTheMarker) {
  for (const FakeLoad& end : {FakeLoad{""}, FakeLoad{"", ErrorBrokenPipe}}) {
    FakePlatformScope scope;
    scope.fake.loads.push_back(end);
    EXPECT_EQ(ReadAnswer(), "");
    EXPECT_EQ(scope.fake.readCalls, 1);  // the skip stops at the placed 26
    EXPECT_EQ(IoResultCode, 0);
    EXPECT_EQ(ConsoleIn.bufferFill, 1u);
    EXPECT_EQ(ConsoleIn.bufferCursor, 0u);
    // A further line takes the placed marker as data, then meets the end again.
    EXPECT_EQ(ReadAnswer(), "\x1A");
    EXPECT_EQ(scope.fake.readCalls, 2);
    EXPECT_EQ(IoResultCode, 0);
  }
}

TEST(ConsoleInput, MarkerAtTheHeadOfALoadEndsTheLineAndStays) {
  FakePlatformScope scope;
  Serve(scope, {"12", "\x1A" "34\r\n"});
  EXPECT_EQ(ReadAnswer(), "12");
  EXPECT_EQ(scope.fake.readCalls, 2);
  const InputByte again = ReadOneByte(ConsoleIn);
  EXPECT_TRUE(again.atEnd);
  EXPECT_EQ(again.byte, 26);
  EXPECT_EQ(scope.fake.readCalls, 2);
  EXPECT_EQ(ReadAnswer(), "\x1A" "34");  // the next line stores it as data
  EXPECT_EQ(IoResultCode, 0);
}

TEST(ConsoleInput, FailedReadStoresItsCodeKeepsWhatWasReadAndIsTriedAgain) {
  FakePlatformScope scope;
  scope.fake.loads = {FakeLoad{"12"}, FakeLoad{"", ErrorInvalidHandle},
                      FakeLoad{"", ErrorIoDevice}};
  Text line;
  ReadWholeLine(ConsoleIn, line);
  EXPECT_EQ(line, "12");
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorInvalidHandle));
  EXPECT_EQ(ConsoleIn.bufferFill, 0u);  // nothing placed
  SkipToNextLine(ConsoleIn);
  EXPECT_EQ(scope.fake.readCalls, 3);
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorIoDevice));
}

TEST(ConsoleInput, InputThatCannotBeOpenedReadsAnEmptyLineWith104) {
  FakePlatformScope scope;
  scope.fake.stdInputHandle = InvalidHandleValue;
  scope.fake.stdGetError = ErrorInvalidHandle;
  EXPECT_EQ(ReadAnswer(), "");
  EXPECT_EQ(IoResultCode, ResultNotReadable);
  EXPECT_EQ(ConsoleIn.streamState, StreamClosed);
  EXPECT_EQ(scope.fake.readCalls, 0);
}

TEST(ConsoleInput, ReadingLeavesWaitingOutputInItsBuffer) {
  for (std::uint32_t type : {FileTypePipe, FileTypeChar}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = type;
    WriteText(ConsoleOut, "Random Range:");  // no flush: waits on any device
    Serve(scope, {"1000\r\n"});
    EXPECT_EQ(ReadAnswer(), "1000");
    EXPECT_EQ(ReadAnswer(), "");
    EXPECT_TRUE(scope.fake.writes.empty());
    EXPECT_EQ(ConsoleOut.bufferCursor, 13u);
  }
}

}  // namespace
}  // namespace dartcirc
