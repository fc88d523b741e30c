// Turning run-time errors and platform exception records into exception objects.
#include "runtime/error_handling.h"

#include "platform/platform.h"
#include "runtime/console_stream.h"
#include "runtime/exception_report.h"
#include "runtime/message_table.h"

namespace dartcirc {

EHeapException* OutOfMemoryInstance = nullptr;
EHeapException* InvalidPointerInstance = nullptr;

namespace {

void ReleaseInstance(EHeapException*& instance) {
  if (instance == nullptr) return;
  instance->MayBeFreed = true;
  instance->Release();
  instance = nullptr;
}

void DescribeAccessViolation(MessageBuffer& message, const OsExceptionRecord& record) {
  const FormatArg place{{}, record.address};
  const FormatArg access{LoadResourceString(record.parameters[0] != 0 ? MessageWriteAccess
                                                                      : MessageReadAccess)};
  const FormatArg target{{}, record.parameters[1]};
  ModuleLocation module;
  if (FindModuleOf(record.address, module)) {
    const FormatArg name{FileNameInAccessViolation({module.path, module.pathLength})};
    const FormatArg args[] = {place, name, access, target};
    message.Fill(LoadResourceString(MessageModuleAccessViolation), args);
  } else {
    const FormatArg args[] = {place, access, target};
    message.Fill(LoadResourceString(MessageAccessViolation), args);
  }
}

}  // namespace

void InstallErrorHandling() {
  OutOfMemoryInstance =
      new EHeapException(ExceptionClass::EOutOfMemory, LoadResourceString(MessageOutOfMemory));
  InvalidPointerInstance =
      new EHeapException(ExceptionClass::EInvalidPointer, LoadResourceString(MessageInvalidPointer));
  RuntimeErrorHook = RaiseForRuntimeError;
  UnhandledExceptionHook = ReportUnhandledAndEnd;
  OsExceptionTranslator = TranslateOsException;
}

void RemoveErrorHandling() {
  ReleaseInstance(OutOfMemoryInstance);
  ReleaseInstance(InvalidPointerInstance);
  RuntimeErrorHook = nullptr;
  UnhandledExceptionHook = nullptr;
  OsExceptionTranslator = nullptr;
}

void RaiseForRuntimeError(std::uint8_t kind, CodePlace place) {
  TObject* object;
  if (kind == KindOutOfMemory) {
    object = OutOfMemoryInstance;
  } else if (kind == KindInvalidPointer) {
    object = InvalidPointerInstance;
  } else if (kind >= FirstClassKind && kind <= LastClassKind) {
    const TExceptRec& row = ErrorKindClasses[kind - FirstClassKind];
    object = MakeException(row.exceptionClass, row.message);
  } else {
    object = MakeIoErrorException();
  }
  RaiseException(object, place);
}

EInOutError* MakeIoErrorException() {
  const std::int32_t code = TakeIoResult();
  std::string_view message;
  for (const TErrorRec& row : IoErrorMessages) {
    if (row.code == code) {
      message = row.message;
      break;
    }
  }
  auto* object = new EInOutError(ExceptionClass::EInOutError, message);
  if (message.empty()) {
    const FormatArg args[] = {{{}, static_cast<std::uint64_t>(static_cast<std::int64_t>(code))}};
    object->MessageText.Fill(LoadResourceString(MessageIoError), args);
  }
  object->IoErrorCode = code;
  return object;
}

TObject* TranslateOsException(const OsExceptionRecord& record) {
  const std::uint8_t kind = KindForOsException(record.code);
  const TExceptRec& row = ErrorKindClasses[kind - FirstClassKind];
  Exception* object = MakeException(row.exceptionClass, row.message);
  if (kind == KindAccessViolation) {
    DescribeAccessViolation(object->MessageText, record);
  } else if (kind == KindExternalException) {
    const FormatArg args[] = {{{}, record.code}};
    object->MessageText.Fill(row.message, args);
  }
  if (auto* external = dynamic_cast<EExternal*>(object)) external->OsExceptionRecord = &record;
  return object;
}

}  // namespace dartcirc
