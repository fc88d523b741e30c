#include "tests/support/run_binary.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace dartcirc::testing {

namespace {

constexpr int DeadlineMs = 120000;  // a hung child is killed rather than hanging the suite

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

bool SetIn(const std::vector<std::string>& settings, const std::string& variable) {
  for (const std::string& setting : settings) {
    if (variable.starts_with(setting.substr(0, setting.find('=') + 1))) return true;
  }
  return false;
}

std::vector<std::string> ClockVariables(const std::string& fakeTime) {
  if (fakeTime.empty()) return {};
  return {"LD_PRELOAD=" CLOCK_LIBRARY, "FAKETIME=" + fakeTime, "FAKETIME_DONT_FAKE_MONOTONIC=1",
          // A sanitized build must accept the preloaded clock library.
          "ASAN_OPTIONS=verify_asan_link_order=0"};
}

std::vector<std::string> ChildEnvironment(const std::string& fakeTime,
                                          std::vector<std::string> settings) {
  // The program's texts reach a terminal as bytes unless a test picks a locale.
  if (!SetIn(settings, "LC_ALL=")) settings.emplace_back("LC_ALL=C");
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!SetIn(settings, *entry)) variables.emplace_back(*entry);
  }
  variables.insert(variables.end(), settings.begin(), settings.end());
  variables.emplace_back("TZ=UTC");
#ifdef PROGRAM_EMULATOR
  (void)fakeTime;  // it reaches the emulated program as -E settings
#else
  const std::vector<std::string> clock = ClockVariables(fakeTime);
  variables.insert(variables.end(), clock.begin(), clock.end());
#endif
  return variables;
}

// The words that start the program: the emulator's first, when the program is
// built for another processor. The emulator hands its own environment on, but the
// clock library must be loaded into the program alone, so it goes as -E settings.
std::vector<std::string> CommandStart(const std::string& program, const std::string& fakeTime) {
  std::vector<std::string> words;
#ifdef PROGRAM_EMULATOR
  std::istringstream emulator(PROGRAM_EMULATOR);
  for (std::string word; emulator >> word;) words.push_back(word);
  for (const std::string& variable : ClockVariables(fakeTime)) {
    words.insert(words.end(), {"-E", variable});
  }
#else
  (void)fakeTime;
#endif
  words.push_back(program);
  return words;
}

// Starts the program with descriptor 0 on input and 1 on output; -1 leaves it closed.
int Spawn(const std::string& program, const std::vector<std::string>& arguments,
          const std::string& fakeTime, int input, int output,
          const std::vector<std::string>& settings = {}) {
  std::vector<std::string> argvStrings = CommandStart(program, fakeTime);
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argvStrings) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = ChildEnvironment(fakeTime, settings);
  std::vector<char*> envp;
  for (std::string& text : envStrings) envp.push_back(text.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  Check(pid >= 0, "fork");
  if (pid == 0) {
    if (input >= 0) dup2(input, 0); else close(0);
    if (output >= 0) dup2(output, 1); else close(1);
    signal(SIGPIPE, SIG_DFL);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return;  // the program did not read its input: that is its affair
    done += static_cast<std::size_t>(put);
  }
}

// Appends what is readable within timeoutMs; false at end of file (or EIO on a
// terminal whose slave side is gone).
bool ReadInto(int fd, std::string& into, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  const int ready = poll(&entry, 1, timeoutMs);
  if (ready <= 0) return ready == 0 || errno == EINTR;
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  into.append(buffer, static_cast<std::size_t>(got));
  return got > 0;
}

RunResult Wait(int pid, bool killFirst = false) {
  if (killFirst) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string ReadWholeFile(int fd) {
  std::string bytes;
  lseek(fd, 0, SEEK_SET);
  while (ReadInto(fd, bytes, 0)) {
  }
  return bytes;
}

int MakeTempFile(const std::string& contents) {
  char name[] = "/tmp/dartcirc-test-XXXXXX";
  const int fd = mkstemp(name);
  Check(fd >= 0, "mkstemp");
  unlink(name);
  WriteAll(fd, contents);
  lseek(fd, 0, SEEK_SET);
  return fd;
}

void OpenTerminal(int& master, int& slave) {
  termios raw{};
  cfmakeraw(&raw);
  Check(openpty(&master, &slave, nullptr, &raw, nullptr) == 0, "openpty");
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
}

std::string ProgramOf(const RunOptions& options) {
  return options.program.empty() ? DARTCIRC_BINARY : options.program;
}

}  // namespace

RunResult RunDartcirc(const RunOptions& options) {
  // The clock library opens a file at start-up, which would take the place of a
  // closed standard handle.
  if (!options.fakeTime.empty() && (options.output == OutputKind::Closed || options.input == InputKind::Closed)) {
    throw std::invalid_argument("a pinned clock cannot be combined with a closed standard handle");
  }
  std::signal(SIGPIPE, SIG_IGN);
  int input = -1, inputWriter = -1;
  if (options.input == InputKind::Pipe) {
    int ends[2];
    Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
    input = ends[0];
    inputWriter = ends[1];
  } else if (options.input == InputKind::File) {
    input = MakeTempFile(options.inputBytes);
  }

  int output = -1, reader = -1;
  switch (options.output) {
    case OutputKind::Pipe:
    case OutputKind::ReaderLeaves: {
      int ends[2];
      Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
      reader = ends[0];
      output = ends[1];
      break;
    }
    case OutputKind::ReaderGone: {
      int ends[2];
      Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
      close(ends[0]);
      output = ends[1];
      break;
    }
    case OutputKind::File:
      output = options.outputPath.empty()
                   ? MakeTempFile("")
                   : open(options.outputPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      Check(output >= 0, "open output file");
      break;
    case OutputKind::Terminal: OpenTerminal(reader, output); break;
    case OutputKind::DevNull: output = open("/dev/null", O_WRONLY | O_CLOEXEC); break;
    case OutputKind::DevFull: output = open("/dev/full", O_WRONLY | O_CLOEXEC); break;
    case OutputKind::Closed: break;
  }

  const int pid = Spawn(ProgramOf(options), options.arguments, options.fakeTime, input, output,
                        options.environment);
  if (input >= 0) close(input);
  if (inputWriter >= 0) {
    WriteAll(inputWriter, options.inputBytes);
    close(inputWriter);
  }

  std::string collected;
  bool timedOut = false;
  if (reader >= 0) {
    if (options.output != OutputKind::File) close(output);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DeadlineMs);
    while (ReadInto(reader, collected, 1000)) {
      if (options.output == OutputKind::ReaderLeaves && collected.size() >= options.readerLeavesAfter) break;
      if (std::chrono::steady_clock::now() > deadline) {
        timedOut = true;
        break;
      }
    }
    close(reader);
  }
  RunResult result = Wait(pid, timedOut);
  if (options.output == OutputKind::File) {
    collected = ReadWholeFile(output);
    close(output);
  } else if (reader < 0 && output >= 0) {
    close(output);
  }
  result.output = collected;
  return result;
}

InteractiveRun::InteractiveRun(const std::vector<std::string>& arguments, const std::string& fakeTime,
                               const std::vector<std::string>& environment) {
  std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
  input_ = ends[1];
  int slave = -1;
  OpenTerminal(terminal_, slave);
  pid_ = Spawn(DARTCIRC_BINARY, arguments, fakeTime, ends[0], slave, environment);
  close(ends[0]);
  close(slave);
}

InteractiveRun::~InteractiveRun() {
  if (pid_ > 0) Wait(pid_, true);
  if (input_ >= 0) close(input_);
  if (terminal_ >= 0) close(terminal_);
}

bool InteractiveRun::ReadSome(int timeoutMs) { return ReadInto(terminal_, output_, timeoutMs); }

bool InteractiveRun::WaitForOutputEnding(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!output_.ends_with(text)) {
    if (std::chrono::steady_clock::now() > deadline || !ReadSome(100)) return output_.ends_with(text);
  }
  return true;
}

void InteractiveRun::Answer(const std::string& bytes) { WriteAll(input_, bytes); }

RunResult InteractiveRun::Finish() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DeadlineMs);
  bool timedOut = false;
  while (ReadSome(1000)) {
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      break;
    }
  }
  RunResult result = Wait(pid_, timedOut);
  pid_ = -1;
  result.output = output_;
  return result;
}

}  // namespace dartcirc::testing
