// Runs the real dartcirc binary with its standard handles on a chosen kind of
// file, and collects every byte it writes and how it ended.
#pragma once

#include <string>
#include <vector>

namespace dartcirc::testing {

enum class OutputKind {
  Pipe,
  File,
  Terminal,     // the slave side of a pseudo-terminal in raw mode
  DevNull,
  DevFull,
  Closed,
  ReaderLeaves,  // a pipe whose reader closes after readerLeavesAfter bytes
  ReaderGone     // a pipe whose reader closed before the program started
};

enum class InputKind { Pipe, File, Closed };

struct RunOptions {
  std::vector<std::string> arguments;  // after the program name
  InputKind input = InputKind::Pipe;
  std::string inputBytes;              // for Pipe and File
  OutputKind output = OutputKind::Pipe;
  std::size_t readerLeavesAfter = 0;
  std::string fakeTime;                // e.g. "2026-12-06 12:34:56": the clock stands still there
  std::string program;                 // default: the dartcirc binary under test
  std::vector<std::string> environment;  // "NAME=value", in place of an inherited NAME; LC_ALL=C unless set
};

struct RunResult {
  std::string output;  // what reached standard output (empty for DevNull, DevFull, Closed)
  int exitCode = -1;   // -1 when ended by a signal
  int signal = 0;
};

RunResult RunDartcirc(const RunOptions& options);

// A run whose output is a pseudo-terminal and whose input is a pipe, driven step by
// step: wait for text on the terminal, then answer.
class InteractiveRun {
 public:
  explicit InteractiveRun(const std::vector<std::string>& arguments, const std::string& fakeTime = "",
                          const std::vector<std::string>& environment = {});
  ~InteractiveRun();
  InteractiveRun(const InteractiveRun&) = delete;
  InteractiveRun& operator=(const InteractiveRun&) = delete;

  // Reads the terminal until its output so far ends with text (or 10 s pass);
  // true when it does.
  bool WaitForOutputEnding(const std::string& text);
  void Answer(const std::string& bytes);
  RunResult Finish();  // reads to the end and waits for the process

 private:
  bool ReadSome(int timeoutMs);
  int pid_ = -1;
  int terminal_ = -1;
  int input_ = -1;
  std::string output_;
};

}  // namespace dartcirc::testing
