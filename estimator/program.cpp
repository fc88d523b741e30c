// The program body: start the runtime, read the run parameters, run the
// estimation, end.
#include "estimator/program.h"

#include "estimator/estimation.h"
#include "estimator/program_texts.h"
#include "estimator/run_variables.h"
#include "runtime/command_line.h"
#include "runtime/console_input.h"
#include "runtime/console_stream.h"
#include "runtime/integer_conversion.h"
#include "runtime/random_source.h"
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

// A value is taken only when the whole text was a number above 0.
void AcceptRadius(Int32Conversion radius) {
  Radius = radius.value;
  if (radius.errorPosition != 0 || Radius <= 0) FailWithUsage(RadiusErrorText);
}

void AcceptTrialCount(Int64Conversion trials) {
  TrialsLeft = trials.value;
  if (trials.errorPosition != 0 || TrialsLeft <= 0) FailWithUsage(TrialCountErrorText);
}

// Shows the prompt (at once on a console) and converts the line typed in reply as
// it is read: the line is not kept, so one of any length costs no memory.
template <class Scan>
auto PromptForValue(std::string_view prompt) {
  FlushAfterWrite(WriteText(ConsoleOut, prompt));
  CheckIoResult();
  Scan scan;
  ReadWholeLine(ConsoleIn, [&scan](std::string_view piece) { scan.Feed(piece); });
  SkipToNextLine(ConsoleIn);
  CheckIoResult();
  return scan.Finish();
}

void ProgramBody() {
  StartModules();
  ReadRunParameters();
  RunEstimation();
  RunShutdown();
}

}  // namespace

void RunProgram() {
  ConsoleProgramFlag = true;  // every report goes to standard output
  RunUnderTopLevelHandler(ProgramBody);
}

void ReadRunParameters() {
  WriteBanner();
  SeedFromClock();  // before the prompts, so time spent typing plays no part
  InsideCount = 0;
  BlockCount = 0;
  if (ArgumentCount() == 2) {
    AcceptRadius(ParseInt32(ArgumentText(1)));
    AcceptTrialCount(ParseInt64(ArgumentText(2)));
  } else {
    AcceptRadius(PromptForValue<Int32Scan>(RadiusPrompt));
    AcceptTrialCount(PromptForValue<Int64Scan>(TrialCountPrompt));
  }
  RadiusSquared = SquareOfRadius(Radius);
}

void WriteBanner() {
  WriteLine(BannerLine1);
  WriteLine(BannerLine2);
  WriteLine(BannerLine3);
  WriteEmptyLine();
}

void WriteUsage() {
  WriteEmptyLine();
  WriteLine(UsageLine1);
  WriteLine(UsageLine2);
  WriteLine(UsageLine3);
  WriteEmptyLine();
}

void FailWithUsage(std::string_view message) {
  WriteEmptyLine();
  EndOutputLine(WriteText(WriteText(ConsoleOut, ErrorPrefix), message));
  CheckIoResult();
  WriteUsage();
  EndProcess(1);
}

}  // namespace dartcirc
