// Processor faults as exception records: the system describes each fault of any
// thread with its code, address and access details, and an exception that no
// frame handles reaches the unhandled-exception filter, which hands it to the
// top-level handler. The C runtime's start-up installs a filter of its own before
// main; the program's replaces it for the time of the program body.
#include <windows.h>

#include "platform/platform.h"
#include "runtime/termination.h"

namespace dartcirc {

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER PreviousFilter = nullptr;

// A stack overflow leaves too little of the thread's stack for the report: the
// handler runs on a stack of its own.
alignas(16) unsigned char FaultStack[128 * 1024];
OsExceptionRecord FaultRecord;

[[noreturn]] void HandleOnFaultStack() {
#if defined(__i386__)
  asm volatile("movl %0, %%esp\n\tpushl %1\n\tcall *%2"
               :
               : "r"(FaultStack + sizeof FaultStack), "r"(&FaultRecord), "r"(&TopLevelExceptionHandler)
               : "memory");
#else  // the first argument in rcx, and the 32 bytes the callee may use above its return address
  asm volatile("movq %0, %%rsp\n\tmovq %1, %%rcx\n\tsubq $32, %%rsp\n\tcall *%2"
               :
               : "r"(FaultStack + sizeof FaultStack), "r"(&FaultRecord), "r"(&TopLevelExceptionHandler)
               : "rcx", "memory");
#endif
  __builtin_unreachable();
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  FaultRecord = {static_cast<std::uint32_t>(record.ExceptionCode),
                 reinterpret_cast<std::uintptr_t>(record.ExceptionAddress),
                 {record.NumberParameters > 0 ? record.ExceptionInformation[0] : 0,
                  record.NumberParameters > 1 ? record.ExceptionInformation[1] : 0}};
  if (record.ExceptionCode == EXCEPTION_STACK_OVERFLOW) HandleOnFaultStack();
  TopLevelExceptionHandler(FaultRecord);
}

}  // namespace

void CatchProcessorFaults() { PreviousFilter = ::SetUnhandledExceptionFilter(OnUnhandledException); }

void StopCatchingProcessorFaults() { ::SetUnhandledExceptionFilter(PreviousFilter); }

}  // namespace dartcirc
