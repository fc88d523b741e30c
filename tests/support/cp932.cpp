#include "tests/support/cp932.h"

#include <iconv.h>

#include <stdexcept>

namespace dartcirc::testing {

namespace {

std::string Convert(std::string_view bytes, const char* from, const char* to) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no converter");
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* next = out.data();
  std::size_t outLeft = out.size();
  const std::size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not convertible");
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

std::string Cp932FromUtf8(std::string_view utf8) { return Convert(utf8, "UTF-8", "CP932"); }

std::string Utf8FromCp932(std::string_view cp932) { return Convert(cp932, "CP932", "UTF-8"); }

}  // namespace dartcirc::testing
