#include "runtime/command_line.h"

#include <cstring>
#include <utility>

#include "platform/platform.h"

namespace dartcirc {

namespace {

constexpr unsigned char Quote = 0x22;

bool IsSeparator(unsigned char byte) { return byte >= 0x01 && byte <= 0x20; }

unsigned char ByteAt(const char* position) { return static_cast<unsigned char>(*position); }

struct Collected {
  std::size_t size;
  const char* next;
};

// Collects one argument from position, which is at its first byte. The first pass
// gives into as null and only counts; the second copies the same bytes.
Collected Collect(const char* position, char* into) {
  std::size_t size = 0;
  auto put = [&](const char* from, const char* to) {
    const auto length = static_cast<std::size_t>(to - from);
    if (into != nullptr) std::memcpy(into + size, from, length);
    size += length;
  };
  // The scan moves by characters, a double-byte character as one, so that a trail
  // byte is never taken for a separator or a quote.
  while (ByteAt(position) > 0x20) {
    const char* end = CharNextA(position);
    if (ByteAt(position) == Quote) {
      // A quoted piece holds every character up to the next quote, separators too.
      position = end;
      const char* start = position;
      while (ByteAt(position) != 0 && ByteAt(position) != Quote) position = CharNextA(position);
      put(start, position);
      if (ByteAt(position) == Quote) ++position;
    } else {
      put(position, end);
      position = end;
    }
  }
  return {size, position};
}

}  // namespace

ArgumentScan NextArgument(const char* position) {
  for (;;) {
    if (IsSeparator(ByteAt(position))) {
      ++position;
    } else if (ByteAt(position) == Quote && ByteAt(position + 1) == Quote) {
      position += 2;  // an empty quoted pair before an argument counts for nothing
    } else {
      break;
    }
  }
  const Collected counted = Collect(position, nullptr);
  Text argument(counted.size, '\0');
  Collect(position, argument.data());
  return {std::move(argument), counted.next};
}

std::int32_t ArgumentCount() {
  const char* position = NextArgument(GetCommandLineA()).next;  // past the program name
  std::int32_t count = 0;
  for (;;) {
    const ArgumentScan scan = NextArgument(position);
    if (scan.argument.empty()) return count;
    ++count;
    position = scan.next;
  }
}

Text ArgumentText(std::int32_t index) {
  if (index == 0) {
    char path[261];
    return Text(path, GetModuleFileNameA(path, sizeof path));
  }
  // Counts down from the program name; a negative index never reaches 0 and ends
  // with the empty argument at the end of the line.
  const char* position = GetCommandLineA();
  for (;;) {
    ArgumentScan scan = NextArgument(position);
    if (index == 0 || scan.argument.empty()) return std::move(scan.argument);
    --index;
    position = scan.next;
  }
}

}  // namespace dartcirc
