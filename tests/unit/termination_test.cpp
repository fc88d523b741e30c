#include <string>

#include <gtest/gtest.h>

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/termination.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakePlatformScope;
using testing::ExitCodeOf;

CodePlace PlaceAtOffset(std::uint32_t offset) { return ModuleBase() + offset; }

TEST(RuntimeErrorReport, FillsNumberAndAddressIntoTheTemplate) {
  struct Case {
    std::int32_t number;
    std::uint32_t offset;
    const char* text;
  } cases[] = {
      {217, 0x12345678, "Runtime error 217 at 12345678"},
      {42, 0x12345678, "Runtime error  42 at 12345678"},
      {5, 0x12345678, "Runtime error   5 at 12345678"},
      {217, 0xABCD, "Runtime error 217 at 0000ABCD"},
      {0, 0x1, "Runtime error   0 at 00000001"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    ProcessExitCode = c.number;
    ErrorAddress = PlaceAtOffset(c.offset);
    WriteRuntimeErrorReport();
    EXPECT_EQ(scope.fake.Output(), std::string(c.text) + std::string("\0\r\n", 3));
    ASSERT_EQ(scope.fake.WriteSizes(), (std::vector<std::size_t>{30, 2}));
  }
}

TEST(RuntimeErrorReport, NothingIsWrittenWithoutTheConsoleFlag) {
  FakePlatformScope scope;
  ConsoleProgramFlag = false;
  ErrorAddress = PlaceAtOffset(0x10);
  WriteRuntimeErrorReport();
  EXPECT_TRUE(scope.fake.writes.empty());
}

TEST(RunTimeErrors, KindsBecomeNumbersWhenNoHookIsSet) {
  struct Case {
    std::uint8_t kind;
    std::int32_t ioCode;
    std::int32_t exitCode;
  } cases[] = {
      {0, 1784, 248}, {0, 105, 105}, {1, 0, 203}, {2, 0, 204},
      {3, 0, 200},    {22, 0, 0},    {24, 0, 229}, {25, 0, 25}, {127, 0, 127}, {128 + 3, 0, 200},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    IoResultCode = c.ioCode;
    EXPECT_EQ(ExitCodeOf([&] { SignalRuntimeError(c.kind, PlaceAtOffset(0x20)); }), c.exitCode)
        << int(c.kind);
    EXPECT_EQ(scope.fake.Output().substr(0, 13), "Runtime error");
    EXPECT_EQ(ErrorAddress, 0u);
  }
}

TEST(RunTimeErrors, HookTakesOverWhileInstalled) {
  FakePlatformScope scope;
  RuntimeErrorHook = [](std::uint8_t kind, CodePlace place) {
    RaiseException(reinterpret_cast<TObject*>(kind), place);
  };
  try {
    SignalRuntimeError(0x80 | 7, 0x1234);
    FAIL();
  } catch (const RaisedException& raised) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(raised.object), 7u);  // low 7 bits only
    EXPECT_EQ(raised.place, 0x1234u);
  }
}

TEST(TopLevel, ExceptionsWithoutHooksEndByNumber) {
  struct Case {
    std::uint32_t code;
    std::int32_t exitCode;
  } cases[] = {
      {ProgramExceptionCode, 217}, {0xC0000005, 216}, {0xC000008E, 200}, {0xC0000094, 200},
      {0xC0000090, 207},           {0xC00000FD, 202}, {0xC000013A, 217}, {0xE0001234, 255},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    const OsExceptionRecord record{c.code, PlaceAtOffset(0xABC), {PlaceAtOffset(0xABC), 0}};
    EXPECT_EQ(ExitCodeOf([&] { TopLevelExceptionHandler(record); }), c.exitCode) << std::hex << c.code;
    EXPECT_EQ(scope.fake.Output().substr(0, 29).substr(21), "00000ABC");
  }
}

TEST(TopLevel, RaisedExceptionReachesTheHookWithObjectAndPlace) {
  FakePlatformScope scope;
  static TObject* seenObject;
  static CodePlace seenPlace;
  UnhandledExceptionHook = [](TObject* object, CodePlace place) {
    seenObject = object;
    seenPlace = place;
    EndProcess(1);
  };
  auto* object = reinterpret_cast<TObject*>(0x5000);
  EXPECT_EQ(ExitCodeOf([&] {
              RunUnderTopLevelHandler([] { RaiseException(reinterpret_cast<TObject*>(0x5000), 0x77); });
            }),
            1);
  EXPECT_EQ(seenObject, object);
  EXPECT_EQ(seenPlace, 0x77u);
  EXPECT_TRUE(scope.fake.writes.empty());
}

TEST(Modules, StartInOrderAndEndInReverse) {
  FakePlatformScope scope;
  StartModules();
  EXPECT_EQ(StartedModuleCount, ModuleCount);
  EXPECT_EQ(CurrentControlWord() & 0x1F3F, StartupControlWord);  // bit 6 always reads as 1
  EXPECT_EQ(ConsoleOut.streamState, StreamClosed);
  StopModules();
  EXPECT_EQ(StartedModuleCount, 0);
}

// What waits in the buffer is written at the end; when that fails the run is no success.
TEST(Shutdown, WaitingBytesAreWrittenAtTheEnd) {
  struct Case {
    std::uint32_t writeError;
    std::int32_t exitCodeBefore;
    std::int32_t exitCode;
  } cases[] = {{0, 0, 0}, {ErrorDiskFull, 0, 1}, {ErrorDiskFull, 1, 1}};
  for (const Case& c : cases) {
    FakePlatformScope scope;
    scope.fake.outputFileType = FileTypeDisk;
    scope.fake.writeError = c.writeError;
    StartModules();
    EndOutputLine(WriteText(ConsoleOut, "abc"));
    EXPECT_TRUE(scope.fake.writes.empty());
    EXPECT_EQ(ExitCodeOf([&] { EndProcess(c.exitCodeBefore); }), c.exitCode);
    EXPECT_EQ(scope.fake.Output(), c.writeError == 0 ? "abc\r\n" : "");
  }
}

}  // namespace
}  // namespace dartcirc
