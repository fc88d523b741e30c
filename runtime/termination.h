// How the runtime starts and ends: the module table, the run-time error entry,
// the numbered run-time error report, the top-level handler and the process end.
#pragma once

#include <cstdint>

namespace dartcirc {

using CodePlace = std::uintptr_t;  // a code address; 0 is none

struct TObject;  // the root of the exception classes

// An exception record as the top-level handler receives it.
struct OsExceptionRecord {
  std::uint32_t code;
  CodePlace address;              // where it arose
  std::uintptr_t parameters[2];   // for ProgramExceptionCode: the place, the object
};

inline constexpr std::uint32_t ProgramExceptionCode = 0x0EEDFADE;

// A raised exception, travelling to the top as a C++ exception so that every
// pending clean-up runs on the way.
struct RaisedException {
  TObject* object;
  CodePlace place;
};

[[noreturn]] void RaiseException(TObject* object, CodePlace place);

extern std::int32_t ProcessExitCode;
extern CodePlace ErrorAddress;
extern bool ConsoleProgramFlag;

// Null except while the error handling is installed.
extern void (*RuntimeErrorHook)(std::uint8_t kind, CodePlace place);           // never returns
extern void (*UnhandledExceptionHook)(TObject* object, CodePlace place);       // never returns
extern TObject* (*OsExceptionTranslator)(const OsExceptionRecord& record);     // may give null

struct ModuleEntry {
  void (*startStep)();
  void (*endStep)();
};

inline constexpr int ModuleCount = 7;
extern const ModuleEntry ModuleTable[ModuleCount];
extern int StartedModuleCount;

// Error kinds that reach the run-time error entry.
inline constexpr std::uint8_t KindIoError = 0;
inline constexpr std::uint8_t KindOutOfMemory = 1;
inline constexpr std::uint8_t KindInvalidPointer = 2;

// The run-time error number of each error kind (0 to 24) when no hook is set;
// kind 0 takes IoResultCode modulo 256 instead, kinds above 24 are their own number.
extern const std::uint8_t ErrorKindNumbers[25];

struct OsExceptionNumber {
  std::uint32_t code;
  std::uint8_t number;
};
extern const OsExceptionNumber OsExceptionNumbers[14];
std::uint8_t RuntimeErrorNumberForOsException(std::uint32_t code);  // 255 when unlisted

[[noreturn]] void SignalRuntimeError(std::uint8_t kind, CodePlace place);
[[noreturn]] void EndWithRuntimeError(std::uint8_t number, CodePlace place);
[[noreturn]] void EndProcess(std::int32_t code);
[[noreturn]] void RunShutdown();
void StartModules();
void StopModules();
[[noreturn]] void TopLevelExceptionHandler(const OsExceptionRecord& record);
void WriteRuntimeErrorReport();

// Runs the program body with TopLevelExceptionHandler at its outermost frame:
// raised exceptions, processor faults and failed allocations (kind 1) all reach
// it. The body ends the process itself.
[[noreturn]] void RunUnderTopLevelHandler(void (*body)());

}  // namespace dartcirc
