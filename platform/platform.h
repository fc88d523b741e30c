// The operating-system calls the runtime makes, named and shaped as the runtime
// expects them, with the Windows error codes of the same conditions.
// The calls go through one record of slots so that tests can put a recording fake
// in place of the real system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dartcirc {

using Handle = std::intptr_t;  // a file descriptor
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
  // The running program's path into buffer: at most size - 1 bytes and a
  // terminating zero; gives the number of path bytes stored.
  std::uint32_t (*getModuleFileNameA)(char* buffer, std::uint32_t size);
  // Starts entry(argument) on a thread of its own, whose handle goes into thread.
  // False on failure.
  bool (*startThread)(void (*entry)(void* argument), void* argument, Handle* thread);
  // Waits until a started thread has ended, and releases it.
  void (*joinThread)(Handle thread);
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
[[noreturn]] void ExitProcess(std::int32_t code);

// Process-wide set-up of the platform, once at start-up. Output to a standard
// output that is a terminal whose locale reads UTF-8 is converted to UTF-8 from
// then on.
void StartPlatform();

// The UTC time of day of a moment in seconds and nanoseconds since 1970, also
// for a moment before it.
SystemTime TimeOfDayAt(std::int64_t seconds, std::int64_t nanoseconds);

// The command line that an argument vector stands for, the line that, typed, gives
// each element as one argument: the shell has already grouped the words, so the
// quote bytes of each element are left out (a quote is never part of an
// argument), and an element is then quoted when it holds a byte from 0x01 to 0x20.
// Elements are joined by one space. An empty element, or one of quotes alone,
// adds nothing but its space and counts for nothing, as an empty pair of quotes
// typed; a program name left empty stands as dartcirc.
std::string JoinCommandLine(int count, const char* const* arguments);

// The Windows error code of a POSIX errno value.
std::uint32_t ErrorCodeForErrno(int errnoValue);

// Code addresses are shown as offsets from the executable's load base, so that they
// fit eight hex digits and are the same from run to run.
std::uintptr_t ModuleBase();
std::uint32_t CodeOffset(std::uintptr_t place);

// The longest path Linux gives for a file.
inline constexpr std::uint32_t PathCapacity = 4096;

// A loaded module: its whole path and the address it is loaded at.
struct ModuleLocation {
  char path[PathCapacity];
  std::uint32_t pathLength;
  std::uintptr_t base;
};

// The module whose image holds address; false when none does. The executable's
// path is the one GetModuleFileNameA gives.
bool FindModuleOf(std::uintptr_t address, ModuleLocation& module);

// The part of a path behind its last directory separator, at most 260 bytes of it:
// the name of a module in the reports.
inline std::string_view FileNameOf(std::string_view path) {
  const std::size_t separator = path.rfind('/');
  return (separator == std::string_view::npos ? path : path.substr(separator + 1)).substr(0, 260);
}

// From the start of the program body to its end, the processor faults (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL) reach TopLevelExceptionHandler as exception records with
// the Windows code of the same fault, on a signal stack of their own.
void CatchProcessorFaults();
void StopCatchingProcessorFaults();

}  // namespace dartcirc
