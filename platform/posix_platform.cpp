// The platform calls over POSIX descriptors.
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

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

bool PosixWriteFile(Handle handle, const void* from, std::uint32_t count) {
  const char* next = static_cast<const char*>(from);
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

std::uint32_t PosixGetLastError() { return LastError; }

bool PosixCloseHandle(Handle handle) {
  return close(static_cast<int>(handle)) == 0 || Fail(errno);
}

void PosixExitProcess(std::int32_t code) { _exit(code); }

SystemTime PosixGetSystemTime() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const auto secondsToday = static_cast<std::uint32_t>(now.tv_sec % 86400);
  return SystemTime{static_cast<std::uint16_t>(secondsToday / 3600),
                    static_cast<std::uint16_t>(secondsToday / 60 % 60),
                    static_cast<std::uint16_t>(secondsToday % 60),
                    static_cast<std::uint16_t>(now.tv_nsec / 1000000)};
}

}  // namespace

const char* PosixGetCommandLineA();
std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size);

const PlatformCalls PosixPlatform = {
    PosixGetStdHandle, PosixGetFileType,   PosixReadFile,       PosixWriteFile,
    PosixGetLastError, PosixCloseHandle,   PosixExitProcess,    PosixGetSystemTime,
    PosixGetCommandLineA, PosixGetModuleFileNameA,
};

const PlatformCalls* Platform = &PosixPlatform;

void ExitProcess(std::int32_t code) {
  Platform->exitProcess(code);
  std::abort();  // only a broken fake comes back
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
