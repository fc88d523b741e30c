#include "runtime/message_format.h"

#include "runtime/code_page.h"

namespace dartcirc {

namespace {

struct Filler {
  char* out;
  std::uint32_t capacity;
  std::uint32_t length = 0;
  bool full = false;

  void Put(std::string_view bytes) {
    for (std::size_t next = 0; next < bytes.size();) {
      const bool pair = IsLeadByte(static_cast<unsigned char>(bytes[next])) && next + 1 < bytes.size();
      const std::size_t width = pair ? 2 : 1;
      if (length + width > capacity) {
        full = true;
        return;
      }
      for (std::size_t i = 0; i < width; ++i) out[length++] = bytes[next++];
    }
  }
};

std::string_view Hexadecimal(std::uint64_t value, int minimumDigits, char (&digits)[16]) {
  int first = 16;
  do {
    digits[--first] = "0123456789ABCDEF"[value % 16];
    value /= 16;
  } while (value != 0 || 16 - first < minimumDigits);
  return {digits + first, static_cast<std::size_t>(16 - first)};
}

std::string_view Decimal(std::int64_t value, char (&digits)[20]) {
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : value;
  int first = 20;
  do {
    digits[--first] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--first] = '-';
  return {digits + first, static_cast<std::size_t>(20 - first)};
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::uint32_t FillTemplate(std::string_view pattern, std::span<const FormatArg> args, char* out,
                           std::uint32_t capacity) {
  Filler filler{out, capacity};
  std::size_t nextArg = 0;
  std::size_t position = 0;
  while (position < pattern.size() && !filler.full) {
    const std::size_t percent = pattern.find('%', position);
    filler.Put(pattern.substr(position, percent - position));
    if (percent == std::string_view::npos) break;

    std::size_t cursor = percent + 1;
    std::size_t index = 0;
    while (cursor < pattern.size() && IsDigit(pattern[cursor])) {
      index = index * 10 + static_cast<std::size_t>(pattern[cursor++] - '0');
    }
    if (cursor > percent + 1 && cursor < pattern.size() && pattern[cursor] == ':') {
      nextArg = index;
      ++cursor;
    }
    const char directive = cursor < pattern.size() ? pattern[cursor] : '\0';
    if (directive != 's' && directive != 'p' && directive != 'x' && directive != 'd') {
      filler.Put("%");  // not a directive: the text stands as it is
      position = percent + 1;
      continue;
    }
    const FormatArg arg = nextArg < args.size() ? args[nextArg] : FormatArg{};
    ++nextArg;
    char hexDigits[16];
    char decimalDigits[20];
    switch (directive) {
      case 's': filler.Put(arg.text); break;
      case 'p': filler.Put(Hexadecimal(arg.number, 8, hexDigits)); break;
      case 'x': filler.Put(Hexadecimal(arg.number, 1, hexDigits)); break;
      default: filler.Put(Decimal(static_cast<std::int64_t>(arg.number), decimalDigits)); break;
    }
    position = cursor + 1;
  }
  return filler.length;
}

}  // namespace dartcirc
