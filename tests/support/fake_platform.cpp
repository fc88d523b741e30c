#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "runtime/console_stream.h"
#include "runtime/termination.h"

namespace dartcirc::testing {

namespace {

FakePlatform* Active = nullptr;

Handle FakeGetStdHandle(std::int32_t which) {
  const Handle handle = which == StdOutputHandle ? Active->stdOutputHandle : Active->stdInputHandle;
  if (handle == InvalidHandleValue) Active->lastError = Active->stdGetError;
  return handle;
}

std::uint32_t FakeGetFileType(Handle) { return Active->outputFileType; }

bool FakeReadFile(Handle, void* into, std::uint32_t count, std::uint32_t* countRead) {
  ++Active->readCalls;
  *countRead = 0;
  if (Active->loads.empty()) return true;
  FakeLoad& load = Active->loads.front();
  if (load.error != 0) {
    Active->lastError = load.error;
    Active->loads.pop_front();
    return false;
  }
  const std::size_t taken = std::min<std::size_t>(count, load.bytes.size());
  std::memcpy(into, load.bytes.data(), taken);
  *countRead = static_cast<std::uint32_t>(taken);
  load.bytes.erase(0, taken);
  if (load.bytes.empty()) Active->loads.pop_front();
  return true;
}

bool FakeWriteFile(Handle handle, const void* from, std::uint32_t count) {
  const bool fails = Active->writeError != 0 &&
                     static_cast<int>(Active->writes.size()) >= Active->failingWriteFrom;
  Active->writes.push_back({handle, std::string(static_cast<const char*>(from), count), fails});
  if (fails) Active->lastError = Active->writeError;
  return !fails;
}

std::uint32_t FakeGetLastError() { return Active->lastError; }

bool FakeCloseHandle(Handle handle) {
  Active->closedHandles.push_back(handle);
  return true;
}

void FakeExitProcess(std::int32_t code) { throw FakeProcessExit{code}; }

SystemTime FakeGetSystemTime() { return Active->time; }

const char* FakeGetCommandLineA() { return Active->commandLine.c_str(); }

std::uint32_t FakeGetModuleFileNameA(char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  const std::size_t length = std::min<std::size_t>(size - 1, Active->moduleFileName.size());
  std::memcpy(buffer, Active->moduleFileName.data(), length);
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

const PlatformCalls FakeCalls = {
    FakeGetStdHandle,   FakeGetFileType,   FakeReadFile,        FakeWriteFile,
    FakeGetLastError,   FakeCloseHandle,   FakeExitProcess,     FakeGetSystemTime,
    FakeGetCommandLineA, FakeGetModuleFileNameA,
};

}  // namespace

std::string FakePlatform::Output() const {
  std::string joined;
  for (const FakeWrite& write : writes) {
    if (!write.failed) joined += write.bytes;
  }
  return joined;
}

std::vector<std::size_t> FakePlatform::WriteSizes() const {
  std::vector<std::size_t> sizes;
  for (const FakeWrite& write : writes) sizes.push_back(write.bytes.size());
  return sizes;
}

void ResetRuntimeState() {
  ConsoleIn = ConsoleStream{};
  ConsoleOut = ConsoleStream{};
  ConsoleIn.streamState = StreamClosed;
  ConsoleOut.streamState = StreamClosed;
  IoResultCode = 0;
  ProcessExitCode = 0;
  ErrorAddress = 0;
  ConsoleProgramFlag = true;
  RuntimeErrorHook = nullptr;
  UnhandledExceptionHook = nullptr;
  OsExceptionTranslator = nullptr;
  StartedModuleCount = 0;
}

FakePlatformScope::FakePlatformScope() {
  Active = &fake;
  Platform = &FakeCalls;
  ResetRuntimeState();
}

FakePlatformScope::~FakePlatformScope() {
  Platform = &PosixPlatform;
  Active = nullptr;
}

}  // namespace dartcirc::testing
