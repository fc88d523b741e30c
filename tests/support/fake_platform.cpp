#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "runtime/code_page.h"
#include "runtime/console_stream.h"
#include "runtime/termination.h"

namespace dartcirc::testing {

namespace {

FakePlatform* Active = nullptr;

const PlatformCalls FakeCalls = {
    [](std::int32_t which) {  // GetStdHandle
      return which == StdOutputHandle ? Active->stdOutputHandle : Active->stdInputHandle;
    },
    [](Handle) { return Active->outputFileType; },
    [](Handle, void* into, std::uint32_t count, std::uint32_t* countRead) {  // ReadFile
      *countRead = 0;
      if (Active->loads.empty()) return true;
      FakeLoad& load = Active->loads.front();
      if (load.error != 0) Active->lastError = load.error;
      *countRead = static_cast<std::uint32_t>(std::min<std::size_t>(count, load.bytes.size()));
      std::memcpy(into, load.bytes.data(), *countRead);
      load.bytes.erase(0, *countRead);
      const bool failed = load.error != 0;
      if (load.bytes.empty()) Active->loads.pop_front();
      return !failed;
    },
    [](Handle, const void* from, std::uint32_t count) {  // WriteFile
      const bool fails = Active->writeError != 0;
      Active->writes.push_back({std::string(static_cast<const char*>(from), count), fails});
      if (fails) Active->lastError = Active->writeError;
      return !fails;
    },
    [] { return Active->lastError; },
    [](Handle handle) {
      Active->closedHandles.push_back(handle);
      return true;
    },
    [](std::int32_t code) -> void { throw FakeProcessExit{code}; },
    [] { return Active->time; },
    [] { return Active->commandLine.c_str(); },
    [](char* buffer, std::uint32_t size) {  // GetModuleFileNameA, as Wine: a cut path has no zero
      const std::size_t length = std::min<std::size_t>(size, Active->moduleFileName.size());
      std::memcpy(buffer, Active->moduleFileName.data(), length);
      if (length < size) buffer[length] = '\0';
      return static_cast<std::uint32_t>(length);
    },
    [](const char* position) {  // CharNextA in code page 932, as Windows steps
      return position + (IsLeadByte(static_cast<unsigned char>(*position)) && position[1] != 0 ? 2 : 1);
    },
};

void ResetRuntimeState() {
  ConsoleIn = ConsoleOut = ConsoleStream{};
  ConsoleIn.streamState = ConsoleOut.streamState = StreamClosed;
  IoResultCode = ProcessExitCode = 0;
  ErrorAddress = 0;
  ConsoleProgramFlag = true;
  RuntimeErrorHook = nullptr;
  UnhandledExceptionHook = nullptr;
  OsExceptionTranslator = nullptr;
  StartedModuleCount = 0;
}

}  // namespace

std::string FakePlatform::Output() const {
  std::string joined;
  for (const FakeWrite& write : writes) joined += write.failed ? "" : write.bytes;
  return joined;
}

std::vector<std::size_t> FakePlatform::WriteSizes() const {
  std::vector<std::size_t> sizes;
  for (const FakeWrite& write : writes) sizes.push_back(write.bytes.size());
  return sizes;
}

FakePlatformScope::FakePlatformScope() {
  Active = &fake;
  Platform = &FakeCalls;
  ResetRuntimeState();
}

FakePlatformScope::~FakePlatformScope() {
  Platform = &SystemPlatform;
  Active = nullptr;
}

}  // namespace dartcirc::testing
