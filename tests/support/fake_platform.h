// A recording fake of the platform calls for unit tests: it counts the writes and
// their bytes, serves scripted input loads, injects failures, and turns the end of
// the process into a C++ exception the test can catch.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace dartcirc::testing {

struct FakeWrite {
  std::string bytes;
  bool failed;
};

struct FakeLoad {
  std::string bytes;       // served across as many reads as the reader's count needs
  std::uint32_t error = 0; // nonzero: the read fails with this code instead
};

// A call of the fake, as the sweep of failures counts it: the bytes the program had
// written by then and those waiting in ConsoleOut, and whether the runtime was
// shutting down.
struct FakeCall { const char* name; std::size_t written, waiting; bool ending; };

// Set while the fake runs, so that a count of the program's allocations leaves the
// fake's own out.
struct InsideFake { InsideFake() { ++depth; } ~InsideFake() { --depth; } static thread_local int depth; };

// The bytes waiting in ConsoleOut's buffer.
std::size_t WaitingBytes();

// Thrown by the fake ExitProcess.
struct FakeProcessExit {
  std::int32_t code;
};

struct FakePlatform {
  Handle stdOutputHandle = 1;
  Handle stdInputHandle = 0;
  std::uint32_t outputFileType = FileTypeChar;

  std::vector<FakeWrite> writes{};

  std::deque<FakeLoad> loads{};  // when empty, a read gives end of input

  std::vector<Handle> closedHandles{};  // a write to one of these, or to no handle, fails
  std::vector<FakeCall> calls{};
  std::size_t failingCall = 0;  // the call to fail, counting from 1; 0 for none
  std::uint32_t failureCode = 0;
  std::size_t bytesWritten = 0;
  std::uint32_t lastError = 0;
  SystemTime time{0, 0, 0, 0};
  std::string commandLine{};
#if defined(_WIN32)
  std::string moduleFileName = "C:\\Program Files\\dartcirc\\dartcirc.exe";
#else
  std::string moduleFileName = "/opt/dartcirc/dartcirc";
#endif

  // The bytes of every successful write, joined.
  std::string Output() const;
  // The sizes of every write, failed ones included.
  std::vector<std::size_t> WriteSizes() const;
};

// Puts a fake in place of the platform and resets every runtime global to its
// state at process start; puts the real platform back on destruction.
class FakePlatformScope {
 public:
  FakePlatformScope();
  ~FakePlatformScope();
  FakePlatformScope(const FakePlatformScope&) = delete;
  FakePlatformScope& operator=(const FakePlatformScope&) = delete;

  FakePlatform fake;
};

// The code the process ended with under the fake, or -1 when the action came back.
template <typename Action>
std::int32_t ExitCodeOf(Action action) {
  try {
    action();
  } catch (const FakeProcessExit& exit) {
    return exit.code;
  }
  return -1;
}

}  // namespace dartcirc::testing
