// The exception report, built in fixed buffers and written straight to the standard
// output handle, so that it works when the heap is exhausted.
#include "runtime/exception_report.h"

#include "platform/platform.h"
#include "runtime/console_stream.h"
#include "runtime/exception_classes.h"
#include "runtime/message_table.h"

namespace dartcirc {

namespace {

const char LineEnd[2] = {13, 10};

}  // namespace

// The object is released once reported (the pre-made instances stay), so that a
// program body run again in the same process finds the reserve of objects whole.
void ReportUnhandledAndEnd(TObject* object, CodePlace place) {
  WriteExceptionReport(object, place);
  if (object != nullptr) object->Release();
  EndProcess(1);
}

void WriteExceptionReport(const TObject* object, CodePlace place) {
  char text[ReportCapacity];
  const std::uint32_t length = FormatExceptionReport(object, place, text);
  if (!ConsoleProgramFlag) return;
  FlushStream(ConsoleOut);  // what the program wrote stands ahead of the report
  const Handle output = GetStdHandle(StdOutputHandle);
  WriteFile(output, text, length);
  WriteFile(output, LineEnd, sizeof LineEnd);
}

std::uint32_t FormatExceptionReport(const TObject* object, CodePlace place,
                                    char (&buffer)[ReportCapacity]) {
  ModuleLocation module;
  std::uint32_t offset;
  if (FindModuleOf(place, module)) {
    offset = static_cast<std::uint32_t>(place - module.base);
  } else {
    module.pathLength = GetModuleFileNameA(module.path, sizeof module.path);
    offset = OffsetOutsideModules(place);
  }

  const auto* exception = dynamic_cast<const Exception*>(object);
  const std::string_view message = exception != nullptr ? exception->MessageText.View() : "";
  const std::string_view period = !message.empty() && message.back() != '.' ? "." : "";

  const FormatArg args[] = {
      {object->ClassName()},
      {FileNameOf({module.path, module.pathLength})},
      {{}, offset},
      {message},
      {period},
  };
  return FillTemplate(LoadResourceString(MessageExceptionReport), args, buffer, ReportCapacity);
}

}  // namespace dartcirc
