// The program's own texts, as the code page 932 bytes it writes; the readable form
// stands beside each.
#pragma once

#include <string_view>

namespace dartcirc {

// 確率で円周率を求める
inline constexpr std::string_view BannerLine1 =
    "\x8A\x6D\x97\xA6\x82\xC5\x89\x7E\x8E\xFC\x97\xA6\x82\xF0\x8B\x81\x82\xDF\x82\xE9";
inline constexpr std::string_view BannerLine2 = "2004/11/6 Ver.1.00";
inline constexpr std::string_view BannerLine3 = "Rebuilt for Linux by the dartcirc team";

// 使用法
inline constexpr std::string_view UsageLine1 = "\x8E\x67\x97\x70\x96\x40";
// 　dartcirc <半径> <試行回数>   (it begins with an ideographic space)
inline constexpr std::string_view UsageLine2 =
    "\x81\x40" "dartcirc <\x94\xBC\x8C\x61> <\x8E\x8E\x8D\x73\x89\xF1\x90\x94>";
// 　[例] dartcirc 1000 1000000
inline constexpr std::string_view UsageLine3 = "\x81\x40[\x97\xE1] dartcirc 1000 1000000";

inline constexpr std::string_view ErrorPrefix = "ERR: ";
// 半径の設定
inline constexpr std::string_view RadiusErrorText = "\x94\xBC\x8C\x61\x82\xCC\x90\xDD\x92\xE8";
// 試行回数の設定
inline constexpr std::string_view TrialCountErrorText =
    "\x8E\x8E\x8D\x73\x89\xF1\x90\x94\x82\xCC\x90\xDD\x92\xE8";

inline constexpr std::string_view RadiusPrompt = "Random Range:";
inline constexpr std::string_view TrialCountPrompt = "Max count:";

}  // namespace dartcirc
