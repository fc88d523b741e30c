// The command line as one string, rebuilt from the arguments Linux hands over
// already split, and the running program's path.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/posix_calls.h"
#include "runtime/code_page.h"

namespace dartcirc {

namespace {

// The argument vector as the system handed it over; the program never changes it.
// Kept as it is until first use: joining it takes memory, which the runtime can
// only report once it has started.
int ArgumentVectorSize = 0;
const char* const* ArgumentVector = nullptr;

// The longest path Linux gives for a file.
constexpr std::uint32_t ExecutablePathCapacity = 4096;

// Read whole at start into fixed storage, so that a report written from a signal
// handler can name the program. Filled once, so the path that readlink leaves in
// it is terminated by the zeros behind it.
char ExecutablePath[ExecutablePathCapacity + 1];
std::uint32_t ExecutablePathLength = 0;

bool IsSeparator(char byte) { return byte >= 0x01 && byte <= 0x20; }

bool IsRunningExecutable(const char* path) {
  struct stat named, running;
  return stat(path, &named) == 0 && stat("/proc/self/exe", &running) == 0 &&
         named.st_dev == running.st_dev && named.st_ino == running.st_ino;
}

// The length of the UTF-8 sequence that starts name, of which left bytes remain;
// 0 when none does (a stray byte, a cut sequence, an overlong form, a surrogate).
std::size_t Utf8SequenceLength(const unsigned char* name, std::size_t left) {
  const unsigned char lead = name[0];
  const std::size_t length = lead < 0x80                  ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length < 2) return length;
  if (length > left) return 0;
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (name[1] < low || name[1] > high) return 0;
  for (std::size_t at = 2; at < length; ++at) {
    if ((name[at] & 0xC0) != 0x80) return 0;
  }
  return length;
}

// A file name as the program's texts hold it, as the ANSI calls of Windows hand
// names over: the UTF-8 of the file system turned into code page 932 in place, a
// character that code page lacks as "?". A name that is not UTF-8, or that the C
// library cannot convert, keeps its bytes. Gives the new length.
std::uint32_t FileNameInCodePage932(char* name, std::uint32_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(name);
  bool ascii = true;
  for (std::size_t at = 0, step; at < length; at += step) {
    step = Utf8SequenceLength(bytes + at, length - at);
    if (step == 0) return length;
    ascii = ascii && step == 1;
  }
  const iconv_t converter = ascii ? reinterpret_cast<iconv_t>(-1) : iconv_open("CP932", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return length;
  // No character takes more bytes in code page 932 than in UTF-8.
  char converted[ExecutablePathCapacity];
  char* in = name;
  char* out = converted;
  std::size_t inLeft = length, outLeft = sizeof converted;
  while (inLeft > 0 && iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if (errno != EILSEQ) break;
    // A character code page 932 lacks.
    const std::size_t step = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(in), inLeft);
    *out++ = '?';
    --outLeft;
    in += step;
    inLeft -= step;
  }
  iconv_close(converter);
  if (inLeft > 0) return length;
  const auto convertedLength = static_cast<std::uint32_t>(out - converted);
  std::memcpy(name, converted, convertedLength);
  return convertedLength;
}

// Linux shows an executable removed since it started as its path and
// " (deleted)"; the name is what the file was called. A file really named so is
// still there, and is the running one. Without /proc, or for a path longer than
// Linux gives, the program is named by the last part of the name it was started
// by, and "dartcirc" when that is empty.
void SaveExecutablePath(const char* startedAs) {
  const ssize_t length = readlink("/proc/self/exe", ExecutablePath, ExecutablePathCapacity);
  if (length > 0) {
    ExecutablePathLength = static_cast<std::uint32_t>(length);
    constexpr std::string_view Deleted = " (deleted)";
    if (std::string_view(ExecutablePath, ExecutablePathLength).ends_with(Deleted) &&
        !IsRunningExecutable(ExecutablePath)) {
      ExecutablePathLength -= Deleted.size();
    }
  } else {
    std::string_view name = startedAs != nullptr ? startedAs : "";
    name = name.substr(name.rfind('/') + 1).substr(0, ExecutablePathCapacity);
    if (name.empty()) name = "dartcirc";
    ExecutablePathLength = static_cast<std::uint32_t>(name.size());
    std::memcpy(ExecutablePath, name.data(), name.size());
  }
  ExecutablePathLength = FileNameInCodePage932(ExecutablePath, ExecutablePathLength);
  ExecutablePath[ExecutablePathLength] = '\0';
}

// glibc calls the functions of .init_array with the process's arguments before main.
void SaveArguments(int argc, char** argv, char**) {
  ArgumentVectorSize = argc;
  ArgumentVector = argv;
  SaveExecutablePath(argc > 0 ? argv[0] : nullptr);
}
__attribute__((section(".init_array"), used)) void (*const SaveArgumentsAtStart)(int, char**,
                                                                                 char**) =
    SaveArguments;

}  // namespace

std::string JoinCommandLine(int count, const char* const* arguments) {
  std::size_t size = sizeof "dartcirc";
  for (int index = 0; index < count; ++index) size += std::strlen(arguments[index]) + 3;
  std::string line;
  line.reserve(size);  // made once, with room for the longest line these elements give
  for (int index = 0; index < count; ++index) {
    const std::string_view element = arguments[index];
    const bool quoted = std::any_of(element.begin(), element.end(), IsSeparator);
    if (index > 0) line += ' ';
    if (quoted) line += '"';
    if (index == 0 && element.find_first_not_of('"') == std::string_view::npos) line += "dartcirc";
    for (char byte : element) {
      if (byte != '"') line += byte;
    }
    if (quoted) line += '"';
  }
  return line;
}

// Joined on first use, inside the program body, where memory that cannot be had is
// reported; a join that failed is tried again by the next call.
const char* PosixGetCommandLineA() {
  static const std::string* const line = new std::string(JoinCommandLine(ArgumentVectorSize, ArgumentVector));
  return line->c_str();
}

const char* Cp932CharNext(const char* position) {
  const auto next = static_cast<unsigned char>(position[1]);
  const bool canTrail = next >= 0x40 && next <= 0xFC && next != 0x7F;
  return IsLeadByte(static_cast<unsigned char>(position[0])) && canTrail ? position + 2 : position + 1;
}

// A path longer than the buffer is cut to size - 1 bytes and terminated.
std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  const std::uint32_t stored = std::min(size - 1, ExecutablePathLength);
  std::memcpy(buffer, ExecutablePath, stored);
  buffer[stored] = '\0';
  return stored;
}

}  // namespace dartcirc
