// Runs a real binary with its standard handles on a chosen kind of file, and
// collects every byte it writes and how it ended.
#pragma once

#include <string>
#include <vector>

namespace dartcirc::testing {

enum class OutputKind {
  Pipe,
  File,
  Terminal,      // the slave side of a pseudo-terminal in raw mode, in the C locale
  DevNull,
  DevFull,
  Closed,
  ReaderLeaves,  // a pipe whose reader closes once the first bytes arrive
  ReaderGone,    // a pipe whose reader closed before the program started
  Utf8Terminal   // a terminal whose locale reads UTF-8
};

enum class InputKind { Pipe, File, Closed };

struct RunOptions {
  std::vector<std::string> arguments{};  // after the program name
  InputKind input = InputKind::Pipe;
  std::string inputBytes{};            // for Pipe and File
  OutputKind output = OutputKind::Pipe;
  std::string fakeTime{};              // e.g. "2026-12-06 12:34:56": the clock stands still there
  std::string program = DARTCIRC_BINARY;
  std::vector<std::string> environment{};  // "NAME=value", in place of an inherited NAME
  bool errorsToOutput = false;             // standard error goes where standard output goes
};

struct RunResult {
  std::string output;  // what reached standard output (empty for DevNull, DevFull, Closed)
  int exitCode = -1;   // -1 when ended by a signal
  int signal = 0;
};

// On a terminal, piped input goes a line at a time, each once the output ends in a
// prompt (a colon): a prompt that is not shown before its read leaves the program
// waiting, and the run is ended after two minutes.
RunResult RunDartcirc(const RunOptions& options);

}  // namespace dartcirc::testing
