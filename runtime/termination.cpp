// Start-up and shut-down of the runtime's modules, the run-time error entry, the
// numbered run-time error report and the top-level handler.
#include "runtime/termination.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "runtime/console_stream.h"
#include "runtime/error_handling.h"
#include "runtime/extended.h"

namespace dartcirc {

std::int32_t ProcessExitCode = 0;
CodePlace ErrorAddress = 0;
bool ConsoleProgramFlag = false;

void (*RuntimeErrorHook)(std::uint8_t kind, CodePlace place) = nullptr;
void (*UnhandledExceptionHook)(TObject* object, CodePlace place) = nullptr;
TObject* (*OsExceptionTranslator)(const OsExceptionRecord& record) = nullptr;

int StartedModuleCount = 0;

namespace {

// Raising an exception takes a little of the heap (the C++ runtime's exception
// object), and the C++ runtime's own emergency memory for that is missing when the
// heap was already short as the process started. A reserve taken at start is given
// back when an allocation first fails, so that the failure can still be raised;
// where there is none, the failure is reported where it happens, with nothing
// raised. The report itself takes no memory.
constexpr std::size_t HeapReserveSize = 16 * 1024;  // well below the size malloc maps apart
void* HeapReserve = nullptr;

// The place of a failed allocation reported without a raise is in the handler below.
[[noreturn]] __attribute__((noinline)) void ReportExhaustedHeap() {
  const auto place = reinterpret_cast<CodePlace>(__builtin_return_address(0));
  if (UnhandledExceptionHook != nullptr && OutOfMemoryInstance != nullptr) {
    UnhandledExceptionHook(OutOfMemoryInstance, place);
  }
  EndWithRuntimeError(ErrorKindNumbers[KindOutOfMemory], place);
}

// Called by operator new when the heap has no block of the size asked for.
void OnHeapExhausted() {
  if (HeapReserve == nullptr) ReportExhaustedHeap();
  std::free(HeapReserve);
  HeapReserve = nullptr;
  throw std::bad_alloc();
}

void StartCoreRuntime() {
  ResetFloatingPointUnit();
  HeapReserve = std::malloc(HeapReserveSize);
  std::set_new_handler(OnHeapExhausted);
  StartPlatform();
  ConsoleIn.streamState = StreamClosed;  // both open on first use
  ConsoleOut.streamState = StreamClosed;
}

void EndCoreRuntime() {
  CloseStream(ConsoleIn);
  // Output that cannot be written at the end must not pass for a complete run.
  if (CloseStream(ConsoleOut) != 0 && ProcessExitCode == 0) ProcessExitCode = 1;
  std::set_new_handler(nullptr);
  std::free(HeapReserve);
  HeapReserve = nullptr;
}

// "Runtime error     at 00000000" and a zero byte.
const char RuntimeErrorTemplate[30] = "Runtime error     at 00000000";
const char LineEnd[2] = {13, 10};

}  // namespace

const ModuleEntry ModuleTable[ModuleCount] = {
    {nullptr, nullptr},
    {StartCoreRuntime, EndCoreRuntime},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {InstallErrorHandling, RemoveErrorHandling},
    {nullptr, nullptr},
};

const std::uint8_t ErrorKindNumbers[25] = {
    0,   203, 204, 200, 201, 215, 207, 200, 205, 206, 219, 216, 202,
    217, 218, 220, 221, 222, 223, 224, 225, 227, 0,   228, 229,
};

const OsExceptionNumber OsExceptionNumbers[14] = {
    {0xC0000005, 216}, {0xC000008C, 201}, {0xC000008D, 206}, {0xC000008E, 200},
    {0xC000008F, 207}, {0xC0000090, 207}, {0xC0000091, 205}, {0xC0000092, 207},
    {0xC0000093, 206}, {0xC0000094, 200}, {0xC0000095, 215}, {0xC0000096, 218},
    {0xC00000FD, 202}, {0xC000013A, 217},
};

std::uint8_t RuntimeErrorNumberForOsException(std::uint32_t code) {
  for (const OsExceptionNumber& row : OsExceptionNumbers) {
    if (row.code == code) return row.number;
  }
  return 255;
}

void RaiseException(TObject* object, CodePlace place) { throw RaisedException{object, place}; }

void SignalRuntimeError(std::uint8_t kind, CodePlace place) {
  kind &= 0x7F;
  if (RuntimeErrorHook != nullptr) RuntimeErrorHook(kind, place);
  const std::uint8_t number = kind == KindIoError ? static_cast<std::uint8_t>(IoResultCode)
                              : kind < 25         ? ErrorKindNumbers[kind]
                                                  : kind;
  EndWithRuntimeError(number, place);
}

void EndWithRuntimeError(std::uint8_t number, CodePlace place) {
  ErrorAddress = place;
  EndProcess(number);
}

void EndProcess(std::int32_t code) {
  ProcessExitCode = code;
  RunShutdown();
}

void RunShutdown() {
  if (ErrorAddress != 0) {
    WriteRuntimeErrorReport();
    ErrorAddress = 0;
  }
  StopModules();
  StopCatchingProcessorFaults();
  ExitProcess(ProcessExitCode);
}

void StartModules() {
  for (int number = 1; number <= ModuleCount; ++number) {
    StartedModuleCount = number;
    if (ModuleTable[number - 1].startStep == nullptr) continue;
    try {
      ModuleTable[number - 1].startStep();
    } catch (...) {
      StopModules();
      throw;
    }
  }
}

void StopModules() {
  while (StartedModuleCount > 0) {
    --StartedModuleCount;
    if (ModuleTable[StartedModuleCount].endStep == nullptr) continue;
    try {
      ModuleTable[StartedModuleCount].endStep();
    } catch (...) {
      StopModules();  // the modules before it still end
      throw;
    }
  }
}

void WriteRuntimeErrorReport() {
  char report[sizeof RuntimeErrorTemplate];
  std::memcpy(report, RuntimeErrorTemplate, sizeof report);
  auto number = static_cast<std::uint32_t>(ProcessExitCode);
  int position = 16;
  do {
    report[position--] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  std::uint32_t offset = ReportedCodeAddress(ErrorAddress);
  position = 28;
  do {
    report[position--] = "0123456789ABCDEF"[offset % 16];
    offset /= 16;
  } while (offset != 0);

  if (!ConsoleProgramFlag) return;
  if (ConsoleOut.streamState == StreamOutput && ConsoleOut.bufferCursor > 0) {
    ConsoleOut.transferOp(ConsoleOut);
  }
  const Handle output = GetStdHandle(StdOutputHandle);
  WriteFile(output, report, sizeof report);
  WriteFile(output, LineEnd, sizeof LineEnd);
}

void TopLevelExceptionHandler(const OsExceptionRecord& record) {
  ResetFloatingPointUnit();
  TObject* object;
  CodePlace place;
  if (record.code == ProgramExceptionCode) {
    place = record.parameters[0];
    object = reinterpret_cast<TObject*>(record.parameters[1]);
  } else {
    object = OsExceptionTranslator != nullptr ? OsExceptionTranslator(record) : nullptr;
    if (object == nullptr) {
      EndWithRuntimeError(RuntimeErrorNumberForOsException(record.code), record.address);
    }
    place = record.address;
  }
  if (UnhandledExceptionHook != nullptr) UnhandledExceptionHook(object, place);
  EndWithRuntimeError(217, record.parameters[0]);
}

namespace {

// A failed allocation is known only where it reaches the top: that is its place.
[[noreturn]] __attribute__((noinline)) void SignalOutOfMemory() {
  SignalRuntimeError(KindOutOfMemory, reinterpret_cast<CodePlace>(__builtin_return_address(0)));
}

}  // namespace

void RunUnderTopLevelHandler(void (*body)()) {
  CatchProcessorFaults();
  // An exception raised while an earlier one is being handled (by an end step
  // during the shut-down, or for an allocation that failed) comes back here and
  // is handled in its turn.
  bool bodyRan = false;
  bool outOfMemory = false;
  OsExceptionRecord pending{};
  for (;;) {
    try {
      if (!bodyRan) {
        bodyRan = true;
        body();
        RunShutdown();
      }
      if (outOfMemory) {
        outOfMemory = false;
        SignalOutOfMemory();
      }
      TopLevelExceptionHandler(pending);
    } catch (const RaisedException& raised) {
      pending = OsExceptionRecord{ProgramExceptionCode, raised.place,
                                  {raised.place, reinterpret_cast<std::uintptr_t>(raised.object)}};
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    }
  }
}

}  // namespace dartcirc
