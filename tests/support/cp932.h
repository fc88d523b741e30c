// Conversions between UTF-8 and code page 932 by the C library's iconv, an
// independent check of the bytes the runtime holds.
#pragma once

#include <string>
#include <string_view>

namespace dartcirc::testing {

std::string Cp932FromUtf8(std::string_view utf8);
std::string Utf8FromCp932(std::string_view cp932);

}  // namespace dartcirc::testing
