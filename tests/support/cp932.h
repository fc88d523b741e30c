// Conversions between UTF-8 and code page 932 by the C library's iconv, or on
// Windows by the system's own conversions through UTF-16: an independent check of
// the bytes the runtime holds.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <stdexcept>
#include <string>
#include <string_view>

namespace dartcirc::testing {

#if defined(_WIN32)
inline std::string Convert(std::string_view bytes, UINT from, UINT to) {
  std::wstring wide(bytes.size() + 1, L'\0');
  wide.resize(MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  std::string out(wide.size() * 4 + 4, '\0');
  out.resize(WideCharToMultiByte(to, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, nullptr));
  if (out.empty() != bytes.empty()) throw std::runtime_error("not convertible");
  return out;
}

inline std::string Cp932FromUtf8(std::string_view utf8) { return Convert(utf8, CP_UTF8, 932); }
inline std::string Utf8FromCp932(std::string_view cp932) { return Convert(cp932, 932, CP_UTF8); }
#else
inline std::string ConvertByIconv(std::string_view bytes, const char* from, const char* to) {
  const iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no converter to ") + to);
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* next = out.data();
  std::size_t inLeft = bytes.size(), outLeft = out.size();
  const bool converted = iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  if (!converted) throw std::runtime_error(std::string("not convertible to ") + to);
  out.resize(out.size() - outLeft);
  return out;
}

inline std::string Cp932FromUtf8(std::string_view utf8) { return ConvertByIconv(utf8, "UTF-8", "CP932"); }
inline std::string Utf8FromCp932(std::string_view cp932) { return ConvertByIconv(cp932, "CP932", "UTF-8"); }
#endif

}  // namespace dartcirc::testing
