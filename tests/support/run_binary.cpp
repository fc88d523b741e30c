#include "tests/support/run_binary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace dartcirc::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Deadline = std::chrono::seconds(120);  // a hung child is killed, not waited for

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

bool IsWindowsProgram(const std::string& program) { return program.ends_with(".exe"); }

// "YYYY-MM-DD hh:mm:ss[.fraction]" in UTC as seconds and nanoseconds since 1970.
std::string SecondsAndNanoseconds(const std::string& time) {
  int year, month, day, hour, minute;
  double second;
  std::sscanf(time.c_str(), "%d-%d-%d %d:%d:%lf", &year, &month, &day, &hour, &minute, &second);
  const auto days = std::chrono::sys_days{std::chrono::year{year} / month / day}.time_since_epoch().count();
  const auto whole = static_cast<long long>(second);
  return std::to_string(((days * 24 + hour) * 60 + minute) * 60 + whole) + " " +
         std::to_string(std::llround((second - whole) * 1e9));
}

// A program under Wine takes the clock library of tests/support/pinned_clock.c
// that the environment names: libfaketime cannot be loaded into Wine's loader.
std::vector<std::string> ClockVariables(const std::string& program, const std::string& fakeTime) {
  if (fakeTime.empty()) return {};
  if (IsWindowsProgram(program)) {
    const char* library = std::getenv("DARTCIRC_WINE_CLOCK");
    return {std::string("LD_PRELOAD=") + (library != nullptr ? library : ""),
            "DARTCIRC_PINNED_CLOCK=" + SecondsAndNanoseconds(fakeTime)};
  }
  return {"LD_PRELOAD=" CLOCK_LIBRARY, "FAKETIME=" + fakeTime, "FAKETIME_DONT_FAKE_MONOTONIC=1",
          // A sanitized build must accept the preloaded clock library.
          "ASAN_OPTIONS=verify_asan_link_order=0"};
}

// Starts the program with descriptor 0 on input and 1 on output; -1 leaves it
// closed. The environment is the settings, then the C locale, UTC and the clock
// pinned at fakeTime (if given) unless the settings name them, then the inherited
// variables not yet named: each name once, since an emulator takes the last of
// several. A program built for another processor starts under its emulator, which
// hands its own environment on: the clock library must be loaded into the program
// alone, so it goes as -E settings.
int Spawn(const std::string& program, const std::vector<std::string>& arguments, const std::string& fakeTime,
          int input, int output, bool errorsToOutput, std::vector<std::string> envp) {
  const auto add = [&envp](const std::string& variable) {
    if (std::none_of(envp.begin(), envp.end(), [&](const std::string& setting) {
          return variable.starts_with(setting.substr(0, setting.find('=') + 1));
        })) envp.push_back(variable);
  };
  std::vector<std::string> argv, defaults{"LC_ALL=C", "TZ=UTC"};  // the texts reach a terminal as bytes
  const std::vector<std::string> clock = ClockVariables(program, fakeTime);
  if (IsWindowsProgram(program)) {  // Wine, the one named by DARTCIRC_WINE if any
    const char* wine = std::getenv("DARTCIRC_WINE");
    argv.push_back(wine != nullptr ? wine : "wine");
    defaults.insert(defaults.end(), clock.begin(), clock.end());
  } else {
#ifdef PROGRAM_EMULATOR
    std::istringstream emulator(PROGRAM_EMULATOR);
    for (std::string word; emulator >> word;) argv.push_back(word);
    for (const std::string& variable : clock) argv.insert(argv.end(), {"-E", variable});
#else
    defaults.insert(defaults.end(), clock.begin(), clock.end());
#endif
  }
  argv.push_back(program);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  for (const std::string& variable : defaults) add(variable);
  for (char** entry = environ; *entry != nullptr; ++entry) add(*entry);
  std::vector<char*> argPointers = Pointers(argv), envPointers = Pointers(envp);
  const pid_t pid = fork();
  Check(pid >= 0, "fork");
  if (pid == 0) {
    if (input >= 0) dup2(input, 0); else close(0);
    if (output >= 0) dup2(output, 1); else close(1);
    if (errorsToOutput) dup2(1, 2);
    signal(SIGPIPE, SIG_DFL);
    execve(argPointers[0], argPointers.data(), envPointers.data());
    _exit(127);
  }
  return pid;
}

void WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno != EINTR) return;  // the program did not read its input: its affair
    done += put > 0 ? static_cast<std::size_t>(put) : 0;
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

void OpenPipe(int& reader, int& writer) {
  int ends[2];
  Check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
  reader = ends[0];
  writer = ends[1];
}

// Reads the output until its end (EIO on a terminal whose slave side is gone) or
// the deadline, giving what is left of the input a line at a time; then waits for
// the process, killing it first if the deadline passed.
RunResult Finish(int pid, int reader, int inputWriter, std::string input, bool leaveEarly) {
  const auto deadline = Clock::now() + Deadline;
  RunResult result;
  std::size_t answered = 0;  // the output's length when a line was last given
  while (reader >= 0 && ReadInto(reader, result.output, 1000) && !(leaveEarly && !result.output.empty())) {
    if (inputWriter >= 0 && result.output.size() > answered && result.output.ends_with(':')) {
      answered = result.output.size();
      const std::size_t end = std::min(input.find('\n'), input.size() - 1) + 1;
      WriteAll(inputWriter, input.substr(0, end));
      input.erase(0, end);
      if (input.empty()) close(std::exchange(inputWriter, -1));
    }
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  for (int fd : {reader, inputWriter}) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

RunResult RunDartcirc(const RunOptions& options) {
  // The clock library opens a file at start-up, which would take the place of a
  // closed standard handle.
  if (!options.fakeTime.empty() && (options.output == OutputKind::Closed || options.input == InputKind::Closed)) {
    throw std::invalid_argument("a pinned clock cannot be combined with a closed standard handle");
  }
  std::signal(SIGPIPE, SIG_IGN);
  int input = -1, inputWriter = -1, output = -1, reader = -1;
  if (options.input == InputKind::Pipe) OpenPipe(input, inputWriter);
  if (options.input == InputKind::File) input = MakeTempFile(options.inputBytes);
  std::vector<std::string> environment = options.environment;
  switch (options.output) {
    case OutputKind::Pipe:
    case OutputKind::ReaderLeaves:
    case OutputKind::ReaderGone: OpenPipe(reader, output); break;
    case OutputKind::File: output = MakeTempFile(""); break;
    case OutputKind::Utf8Terminal: environment.emplace_back("LC_ALL=C.UTF-8"); [[fallthrough]];
    case OutputKind::Terminal: OpenTerminal(reader, output); break;
    case OutputKind::DevNull: output = open("/dev/null", O_WRONLY | O_CLOEXEC); break;
    case OutputKind::DevFull: output = open("/dev/full", O_WRONLY | O_CLOEXEC); break;
    case OutputKind::Closed: break;
  }
  if (options.output == OutputKind::ReaderGone) close(std::exchange(reader, -1));

  const int pid = Spawn(options.program, options.arguments, options.fakeTime, input, output, options.errorsToOutput,
                        environment);
  if (input >= 0) close(input);
  if (options.output != OutputKind::File && output >= 0) close(output);
  const bool terminal = options.output == OutputKind::Terminal || options.output == OutputKind::Utf8Terminal;
  if (inputWriter >= 0 && (options.inputBytes.empty() || !terminal)) {
    WriteAll(inputWriter, options.inputBytes);
    close(std::exchange(inputWriter, -1));
  }
  RunResult result = Finish(pid, reader, inputWriter, options.inputBytes, options.output == OutputKind::ReaderLeaves);
  if (options.output == OutputKind::File) {
    lseek(output, 0, SEEK_SET);
    while (ReadInto(output, result.output, 0)) {
    }
    close(output);
  }
  return result;
}

}  // namespace dartcirc::testing
