// The platform calls over the Windows API: each slot is the call of the same name.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/windows/windows_calls.h"

namespace dartcirc {

namespace {

Handle WindowsGetStdHandle(std::int32_t which) {
  return reinterpret_cast<Handle>(::GetStdHandle(static_cast<DWORD>(which)));
}

std::uint32_t WindowsGetFileType(Handle handle) { return ::GetFileType(reinterpret_cast<HANDLE>(handle)); }

bool WindowsReadFile(Handle handle, void* into, std::uint32_t count, std::uint32_t* countRead) {
  DWORD got = 0;
  const bool read = ::ReadFile(reinterpret_cast<HANDLE>(handle), into, count, &got, nullptr);
  *countRead = got;
  return read;
}

// A write to a file or pipe takes every byte or fails; the loop keeps a device
// that takes part of them from losing the rest.
bool WindowsWriteFile(Handle handle, const void* from, std::uint32_t count) {
  const char* next = static_cast<const char*>(from);
  while (count > 0) {
    DWORD put = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle), next, count, &put, nullptr)) return false;
    if (put == 0) {  // a device that takes nothing would be asked for ever
      ::SetLastError(ErrorGenFailure);
      return false;
    }
    next += put;
    count -= put;
  }
  return true;
}

std::uint32_t WindowsGetLastError() { return ::GetLastError(); }

bool WindowsCloseHandle(Handle handle) { return ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

void WindowsExitProcess(std::int32_t code) { ::ExitProcess(static_cast<UINT>(code)); }

SystemTime WindowsGetSystemTime() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

const char* WindowsGetCommandLineA() { return ::GetCommandLineA(); }

const char* WindowsCharNextA(const char* position) { return ::CharNextA(position); }

struct ThreadStart {
  void (*entry)(void*);
  void* argument;
};

DWORD WINAPI RunThread(void* start) {
  const ThreadStart begun = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  begun.entry(begun.argument);
  return 0;
}

bool WindowsStartThread(void (*entry)(void*), void* argument, Handle* thread) {
  auto* start = new ThreadStart{entry, argument};
  const HANDLE started = ::CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (started == nullptr) {
    delete start;
    return false;
  }
  *thread = reinterpret_cast<Handle>(started);
  return true;
}

void WindowsJoinThread(Handle thread) {
  ::WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
  ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace

// Windows XP and Wine fill a buffer too short for the path without a terminating
// zero and give its size; later Windows cut the path one byte shorter, end it with
// a zero and give the size all the same.
std::uint32_t ModuleFileName(HMODULE module, char* buffer, std::uint32_t size) {
  const DWORD stored = ::GetModuleFileNameA(module, buffer, size);
  return stored < size ? stored : static_cast<std::uint32_t>(strnlen(buffer, size));
}

namespace {

std::uint32_t WindowsGetModuleFileNameA(char* buffer, std::uint32_t size) {
  return ModuleFileName(nullptr, buffer, size);
}

}  // namespace

const PlatformCalls SystemPlatform = {
    WindowsGetStdHandle,  WindowsGetFileType,     WindowsReadFile,         WindowsWriteFile,
    WindowsGetLastError,  WindowsCloseHandle,     WindowsExitProcess,      WindowsGetSystemTime,
    WindowsGetCommandLineA, WindowsGetModuleFileNameA, WindowsStartThread, WindowsJoinThread, WindowsCharNextA,
};

const PlatformCalls* Platform = &SystemPlatform;

// Nothing to set up: the handles, the command line and the error modes are the
// ones the process was started with.
void StartPlatform() {}

}  // namespace dartcirc
