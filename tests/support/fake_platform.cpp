#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/code_page.h"
#include "runtime/console_stream.h"
#include "runtime/termination.h"

namespace dartcirc::testing {

namespace {

FakePlatform* Active = nullptr;

// Records a call of the fake; true when it is the one to fail, whose code it sets.
bool Fails(const char* name) {
  const InsideFake guard;
  Active->calls.push_back({name, Active->bytesWritten, WaitingBytes(), StartedModuleCount < ModuleCount});
  if (Active->calls.size() == Active->failingCall) Active->lastError = Active->failureCode;
  return Active->calls.size() == Active->failingCall;
}

const PlatformCalls FakeCalls = {
    [](std::int32_t which) {  // GetStdHandle
      if (Fails(which == StdOutputHandle ? "GetStdHandle(output)" : "GetStdHandle(input)")) return InvalidHandleValue;
      return which == StdOutputHandle ? Active->stdOutputHandle : Active->stdInputHandle;
    },
    [](Handle) { return Fails("GetFileType") ? FileTypeUnknown : Active->outputFileType; },
    [](Handle, void* into, std::uint32_t count, std::uint32_t* countRead) {  // ReadFile
      *countRead = 0;
      if (Fails("ReadFile")) return false;
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
    [](Handle handle, const void* from, std::uint32_t count) {  // WriteFile
      const InsideFake guard;
      const bool fromStream = ConsoleOut.streamState == StreamOutput && from == ConsoleOut.bufferData;
      const bool injected = Fails(fromStream ? "WriteFile" : "WriteFile(direct)");
      const bool fails = injected || handle == InvalidHandleValue || std::ranges::count(Active->closedHandles, handle) > 0;
      Active->writes.push_back({std::string(static_cast<const char*>(from), count), fails});
      if (fails && !injected) Active->lastError = ErrorInvalidHandle;
      if (!fails) Active->bytesWritten += count;
      return !fails;
    },
    [] { return Active->lastError; },
    [](Handle handle) {
      const InsideFake guard;
      if (Fails("CloseHandle")) return false;
      Active->closedHandles.push_back(handle);
      return true;
    },
    [](std::int32_t code) -> void { throw FakeProcessExit{code}; },
    [] { return Fails("GetSystemTime") ? SystemTime{65535, 65535, 65535, 65535} : Active->time; },
    [] {  // GetCommandLineA: the line is made on first use, which only memory can fail
      if (Fails("GetCommandLineA")) throw std::bad_alloc();
      return Active->commandLine.c_str();
    },
    [](char* buffer, std::uint32_t size) {  // GetModuleFileNameA, as Wine: a cut path has no zero
      const std::size_t length = Fails("GetModuleFileNameA") ? 0 : std::min<std::size_t>(size, Active->moduleFileName.size());
      std::memcpy(buffer, Active->moduleFileName.data(), length);
      if (length < size) buffer[length] = '\0';
      return static_cast<std::uint32_t>(length);
    },
    [](void (*entry)(void*), void* argument, Handle* thread) {  // StartThread: a real one
      return !Fails("StartThread") && SystemPlatform.startThread(entry, argument, thread);
    },
    [](Handle thread) { SystemPlatform.joinThread(thread); },
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

thread_local int InsideFake::depth = 0;

std::size_t WaitingBytes() { return ConsoleOut.streamState == StreamOutput ? ConsoleOut.bufferCursor : 0; }

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
