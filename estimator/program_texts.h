// The program's own texts, as the code page 932 bytes it writes.
#pragma once

#include <string_view>

namespace dartcirc {

// 確率で円周率を求める
inline constexpr std::string_view BannerLine1 =
    "\x8A\x6D\x97\xA6\x82\xC5\x89\x7E\x8E\xFC\x97\xA6\x82\xF0\x8B\x81\x82\xDF\x82\xE9";
inline constexpr std::string_view BannerLine2 = "2004/11/6 Ver.1.00";
inline constexpr std::string_view BannerLine3 = "Rebuilt for Linux by the dartcirc team";

}  // namespace dartcirc
