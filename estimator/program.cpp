// The program body: start the runtime, write the banner, end.
#include "estimator/program.h"

#include "estimator/program_texts.h"
#include "runtime/console_stream.h"
#include "runtime/termination.h"

namespace dartcirc {

namespace {

void WriteLine(std::string_view text) {
  EndOutputLine(WriteText(ConsoleOut, text));
  CheckIoResult();
}

void WriteEmptyLine() {
  EndOutputLine(ConsoleOut);
  CheckIoResult();
}

void ProgramBody() {
  StartModules();
  WriteBanner();
  RunShutdown();
}

}  // namespace

void WriteBanner() {
  WriteLine(BannerLine1);
  WriteLine(BannerLine2);
  WriteLine(BannerLine3);
  WriteEmptyLine();
}

void RunProgram() {
  ConsoleProgramFlag = true;
  RunUnderTopLevelHandler(ProgramBody);
}

}  // namespace dartcirc
