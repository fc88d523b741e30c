// The operating-system calls the runtime makes, named and shaped as the Windows
// calls they are (platform/windows/) or stand in for (platform/posix/), with the
// Windows error codes of the same conditions. The calls go through one record of
// slots so that tests can put a recording fake in place of the real system.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace dartcirc {

using Handle = std::intptr_t;  // a Windows handle or a POSIX file descriptor
inline constexpr Handle InvalidHandleValue = -1;

inline constexpr std::int32_t StdInputHandle = -10;
inline constexpr std::int32_t StdOutputHandle = -11;

// File types of an open handle.
inline constexpr std::uint32_t FileTypeUnknown = 0;  // not open
inline constexpr std::uint32_t FileTypeDisk = 1;     // regular file, block device, directory
inline constexpr std::uint32_t FileTypeChar = 2;     // terminal, /dev/null, /dev/full
inline constexpr std::uint32_t FileTypePipe = 3;     // pipe or socket

// Error codes the runtime's message tables give meaning to.
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorInvalidHandle = 6;
inline constexpr std::uint32_t ErrorGenFailure = 31;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorBrokenPipe = 109;
inline constexpr std::uint32_t ErrorDiskFull = 112;
inline constexpr std::uint32_t ErrorFileTooLarge = 223;
inline constexpr std::uint32_t ErrorNoData = 232;  // writing to a pipe whose reader has gone
inline constexpr std::uint32_t ErrorIoDevice = 1117;

// The UTC time of day.
struct SystemTime {
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::uint16_t milliseconds;
};

struct PlatformCalls {
  Handle (*getStdHandle)(std::int32_t which);
  std::uint32_t (*getFileType)(Handle handle);
  // Reads up to count bytes; 0 read means end of input. False on failure.
  bool (*readFile)(Handle handle, void* into, std::uint32_t count, std::uint32_t* countRead);
  // Writes all count bytes or fails. False on failure.
  bool (*writeFile)(Handle handle, const void* from, std::uint32_t count);
  std::uint32_t (*getLastError)();
  bool (*closeHandle)(Handle handle);
  void (*exitProcess)(std::int32_t code);  // ends the process; a fake may throw instead
  SystemTime (*getSystemTime)();
  // The command line as one zero-terminated string, program name first.
  const char* (*getCommandLineA)();
  // The running program's path into buffer; gives the number of path bytes
  // stored. A path cut to the buffer may fill it without a terminating zero (as
  // under Wine), so the count alone tells where it ends.
  std::uint32_t (*getModuleFileNameA)(char* buffer, std::uint32_t size);
  // Starts entry(argument) on a thread of its own, whose handle goes into thread.
  // False on failure.
  bool (*startThread)(void (*entry)(void* argument), void* argument, Handle* thread);
  // Waits until a started thread has ended, and releases it.
  void (*joinThread)(Handle thread);
  // The character after the one at position (never at the terminating zero): one
  // byte, or a lead byte and its trail byte, by the rule of the system's code page.
  const char* (*charNextA)(const char* position);
};

extern const PlatformCalls SystemPlatform;  // the calls of the system built for
extern const PlatformCalls* Platform;  // the calls in use

inline Handle GetStdHandle(std::int32_t which) { return Platform->getStdHandle(which); }
inline std::uint32_t GetFileType(Handle handle) { return Platform->getFileType(handle); }
inline bool ReadFile(Handle handle, void* into, std::uint32_t count, std::uint32_t* countRead) {
  return Platform->readFile(handle, into, count, countRead);
}
inline bool WriteFile(Handle handle, const void* from, std::uint32_t count) {
  return Platform->writeFile(handle, from, count);
}
inline std::uint32_t GetLastError() { return Platform->getLastError(); }
inline bool CloseHandle(Handle handle) { return Platform->closeHandle(handle); }
inline SystemTime GetSystemTime() { return Platform->getSystemTime(); }
inline const char* GetCommandLineA() { return Platform->getCommandLineA(); }
inline std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) {
  return Platform->getModuleFileNameA(buffer, size);
}
inline bool StartThread(void (*entry)(void*), void* argument, Handle* thread) {
  return Platform->startThread(entry, argument, thread);
}
inline void JoinThread(Handle thread) { Platform->joinThread(thread); }
inline const char* CharNextA(const char* position) { return Platform->charNextA(position); }
[[noreturn]] inline void ExitProcess(std::int32_t code) {
  Platform->exitProcess(code);
  std::abort();  // only a broken fake comes back
}

// Process-wide set-up of the platform, once at start-up.
void StartPlatform();

// The executable's load base.
std::uintptr_t ModuleBase();

// A code address as the run-time error report shows it in eight hexadecimal
// digits: on Windows the address itself; on Linux its offset from the
// executable's load base, which fits and is the same from run to run.
std::uint32_t ReportedCodeAddress(std::uintptr_t place);

// The offset the exception report gives a place that no module holds, counted
// from the program's own module; 0 for a null place.
std::uint32_t OffsetOutsideModules(std::uintptr_t place);

// Room for a module's path: Windows' ANSI calls give at most 260 bytes and a
// terminating zero, Linux up to 4,096 bytes.
#if defined(_WIN32)
inline constexpr std::uint32_t PathCapacity = 261;
#else
inline constexpr std::uint32_t PathCapacity = 4096;
#endif

// A loaded module: its whole path and the address it is loaded at.
struct ModuleLocation {
  char path[PathCapacity];
  std::uint32_t pathLength;
  std::uintptr_t base;
};

// The module whose image holds address; false when none does, or when its path
// cannot be had. The executable's path is the one GetModuleFileNameA gives.
bool FindModuleOf(std::uintptr_t address, ModuleLocation& module);

// The name of a module in the reports: the part of its path behind the last
// directory separator, at most 260 bytes of it. The access-violation message
// also cuts behind a drive's colon, on a system that has drives.
std::string_view FileNameOf(std::string_view path);
std::string_view FileNameInAccessViolation(std::string_view path);

// From the start of the program body to its end, the processor faults of every
// thread reach TopLevelExceptionHandler as exception records with the Windows
// code, address and access details of the fault.
void CatchProcessorFaults();
void StopCatchingProcessorFaults();

}  // namespace dartcirc
