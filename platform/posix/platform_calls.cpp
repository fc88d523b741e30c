// The platform calls over POSIX descriptors.
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <pthread.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/posix_calls.h"
#include "platform/posix/terminal_encoding.h"

namespace dartcirc {

namespace {

thread_local std::uint32_t LastError = 0;

bool Fail(int errnoValue) {
  LastError = ErrorCodeForErrno(errnoValue);
  return false;
}

// A descriptor left non-blocking by whoever started us would otherwise fail with
// EAGAIN; wait until it is ready instead.
void WaitUntilReady(Handle handle, short events) {
  pollfd entry{static_cast<int>(handle), events, 0};
  while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
}

Handle PosixGetStdHandle(std::int32_t which) {
  return which == StdOutputHandle ? 1 : which == StdInputHandle ? 0 : InvalidHandleValue;
}

std::uint32_t PosixGetFileType(Handle handle) {
  struct stat status;
  if (fstat(static_cast<int>(handle), &status) != 0) return FileTypeUnknown;
  if (S_ISCHR(status.st_mode)) return FileTypeChar;
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FileTypePipe;
  return FileTypeDisk;
}

bool PosixReadFile(Handle handle, void* into, std::uint32_t count, std::uint32_t* countRead) {
  *countRead = 0;
  for (;;) {
    ssize_t got = read(static_cast<int>(handle), into, count);
    if (got >= 0) {
      *countRead = static_cast<std::uint32_t>(got);
      return true;
    }
    if (errno == EAGAIN) {
      WaitUntilReady(handle, POLLIN);
    } else if (errno != EINTR) {
      return Fail(errno);
    }
  }
}

// Standard output when it is a terminal that reads UTF-8, else none.
Handle EncodedHandle = InvalidHandleValue;
TerminalEncoder OutputEncoder;

bool WriteAll(Handle handle, const char* next, std::uint32_t count) {
  while (count > 0) {
    ssize_t put = write(static_cast<int>(handle), next, count);
    if (put >= 0) {
      next += put;
      count -= static_cast<std::uint32_t>(put);
    } else if (errno == EAGAIN) {
      WaitUntilReady(handle, POLLOUT);
    } else if (errno != EINTR) {
      return Fail(errno);
    }
  }
  return true;
}

// One write call of the runtime is one write to the terminal: its bytes are
// converted in a single step (the runtime writes at most a report of 1,024 bytes).
bool PosixWriteFile(Handle handle, const void* from, std::uint32_t count) {
  const char* next = static_cast<const char*>(from);
  if (handle != EncodedHandle) return WriteAll(handle, next, count);
  do {
    const std::uint32_t step = std::min(count, EncodeStepSize);
    char encoded[EncodedStepCapacity];
    if (!WriteAll(handle, encoded, EncodeForTerminal(OutputEncoder, next, step, encoded))) {
      return false;
    }
    next += step;
    count -= step;
  } while (count > 0);
  return true;
}

// A lead byte still held when its terminal goes away is written as it is.
void ReleaseHeldLeadByte() {
  char leadByte;
  if (EncodedHandle != InvalidHandleValue) {
    WriteAll(EncodedHandle, &leadByte, ReleaseLeadByte(OutputEncoder, &leadByte));
  }
}

// The user's character set, as LC_ALL, LC_CTYPE or LANG name it. A locale that is
// named but not installed (usual in containers) is judged by the codeset in its
// name: ja_JP.UTF-8, C.utf8. The program's own work does not depend on the
// locale, so it goes back to "C" at once.
bool LocaleReadsUtf8() {
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
  }
  const char* name = "";
  for (const char* variable : {"LANG", "LC_CTYPE", "LC_ALL"}) {  // the last one set wins
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') name = value;
  }
  const char* codeset = std::strchr(name, '.');
  if (codeset == nullptr) return false;
  const std::size_t length = std::strcspn(++codeset, "@");
  return (length == 5 && strncasecmp(codeset, "utf-8", 5) == 0) || (length == 4 && strncasecmp(codeset, "utf8", 4) == 0);
}

std::uint32_t PosixGetLastError() { return LastError; }

bool PosixCloseHandle(Handle handle) {
  if (handle == EncodedHandle) {
    ReleaseHeldLeadByte();
    EncodedHandle = InvalidHandleValue;
  }
  return close(static_cast<int>(handle)) == 0 || Fail(errno);
}

void PosixExitProcess(std::int32_t code) {
  ReleaseHeldLeadByte();
  _exit(code);
}

SystemTime PosixGetSystemTime() {
  timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return SystemTime{0, 0, 0, 0};  // a clock that cannot be read stands at midnight
  return TimeOfDayAt(now.tv_sec, now.tv_nsec);
}

struct ThreadStart {
  void (*entry)(void*);
  void* argument;
};

void* RunThread(void* start) {
  const ThreadStart begun = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  begun.entry(begun.argument);
  return nullptr;
}

bool PosixStartThread(void (*entry)(void*), void* argument, Handle* thread) {
  auto* start = new ThreadStart{entry, argument};
  pthread_t started;
  const int result = pthread_create(&started, nullptr, RunThread, start);
  if (result != 0) {
    delete start;
    return Fail(result);
  }
  *thread = static_cast<Handle>(started);
  return true;
}

void PosixJoinThread(Handle thread) { pthread_join(static_cast<pthread_t>(thread), nullptr); }

}  // namespace

const char* PosixGetCommandLineA();
std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size);

const PlatformCalls SystemPlatform = {
    PosixGetStdHandle, PosixGetFileType,   PosixReadFile,       PosixWriteFile,
    PosixGetLastError, PosixCloseHandle,   PosixExitProcess,    PosixGetSystemTime,
    PosixGetCommandLineA, PosixGetModuleFileNameA, PosixStartThread, PosixJoinThread, Cp932CharNext,
};

const PlatformCalls* Platform = &SystemPlatform;

// Output to a standard output that is a terminal whose locale reads UTF-8 is
// converted to UTF-8 from here on.
void StartPlatform() {
  // A write to a pipe whose reader has gone, or past the file-size limit, then
  // fails with a code instead of killing the process, and takes the runtime's
  // failure path.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // Opened here, once: a report written from a signal handler must not open it.
  if (isatty(1) && LocaleReadsUtf8() && OpenTerminalEncoder(OutputEncoder)) EncodedHandle = 1;
}

SystemTime TimeOfDayAt(std::int64_t seconds, std::int64_t nanoseconds) {
  const std::int64_t remainder = seconds % 86400;
  const auto secondsToday = static_cast<std::uint32_t>(remainder < 0 ? remainder + 86400 : remainder);
  return SystemTime{static_cast<std::uint16_t>(secondsToday / 3600),
                    static_cast<std::uint16_t>(secondsToday / 60 % 60),
                    static_cast<std::uint16_t>(secondsToday % 60),
                    static_cast<std::uint16_t>(nanoseconds / 1000000)};
}

std::uint32_t ErrorCodeForErrno(int errnoValue) {
  switch (errnoValue) {
    case EBADF: return ErrorInvalidHandle;
    case EACCES:
    case EPERM: return ErrorAccessDenied;
    case ENOENT: return ErrorFileNotFound;
    case EINVAL: return ErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT: return ErrorDiskFull;
    case EPIPE: return ErrorNoData;
    case EFBIG: return ErrorFileTooLarge;
    case EIO: return ErrorIoDevice;
    default: return ErrorGenFailure;
  }
}

}  // namespace dartcirc
