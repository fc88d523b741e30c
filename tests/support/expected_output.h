// What the program writes, written out independently of its own text constants, for
// the end-to-end tests to compare byte for byte.
#pragma once

#include <string>

namespace dartcirc::testing {

inline const std::string Midnight = "2026-12-06 00:00:00";  // a pinned clock there seeds 0

inline const std::string Banner =
    "\x8A\x6D\x97\xA6\x82\xC5\x89\x7E\x8E\xFC\x97\xA6\x82\xF0\x8B\x81\x82\xDF\x82\xE9\r\n"
    "2004/11/6 Ver.1.00\r\n"
    "Rebuilt for Linux by the dartcirc team\r\n"
    "\r\n";
inline const std::string Usage =
    "\r\n"
    "\x8E\x67\x97\x70\x96\x40\r\n"
    "\x81\x40" "dartcirc <\x94\xBC\x8C\x61> <\x8E\x8E\x8D\x73\x89\xF1\x90\x94>\r\n"
    "\x81\x40[\x97\xE1] dartcirc 1000 1000000\r\n"
    "\r\n";
inline const std::string RadiusError =
    "\r\nERR: \x94\xBC\x8C\x61\x82\xCC\x90\xDD\x92\xE8\r\n" + Usage;
inline const std::string RadiusPrompt = "Random Range:";
inline const std::string Prompts = "Random Range:Max count:";
// R = 1000 from seed 0.
inline const std::string ThreeLinesOfR1000 = "3.14240000\r\n3.13420000\r\n3.13773333\r\n";

}  // namespace dartcirc::testing
