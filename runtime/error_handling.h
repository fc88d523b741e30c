// The error handling the runtime installs for the whole time the program body
// runs: run-time errors and processor faults become exceptions, and an exception
// that nothing handled is reported before the process ends.
#pragma once

#include <cstdint>

#include "runtime/exception_classes.h"
#include "runtime/termination.h"

namespace dartcirc {

// Made once at installation and raised again each time, so that running out of
// memory needs no memory to raise.
extern EHeapException* OutOfMemoryInstance;
extern EHeapException* InvalidPointerInstance;

void InstallErrorHandling();
void RemoveErrorHandling();

[[noreturn]] void RaiseForRuntimeError(std::uint8_t kind, CodePlace place);
// Takes the pending input/output code.
EInOutError* MakeIoErrorException();
TObject* TranslateOsException(const OsExceptionRecord& record);

}  // namespace dartcirc
