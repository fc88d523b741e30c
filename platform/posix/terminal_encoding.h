// Output bound for a terminal that reads UTF-8. The program's texts are code page
// 932 bytes; glibc's iconv turns them into the characters they stand for. Only
// fixed buffers are used: a report may be written from a signal handler.
#pragma once

#include <cstdint>

#include <iconv.h>

namespace dartcirc {

// The most bytes converted in one step, and the room that their conversion needs:
// a character becomes at most three UTF-8 bytes, and the lead byte held back from
// the step before comes first.
inline constexpr std::uint32_t EncodeStepSize = 1024;
inline constexpr std::uint32_t EncodedStepCapacity = 3 * (EncodeStepSize + 1);

struct TerminalEncoder {
  iconv_t converter;
  // A flush may end between the two bytes of a character: its lead byte waits
  // for the next flush.
  bool holdsLeadByte;
  char leadByte;
};

// False when the C library has no converter from code page 932 to UTF-8.
bool OpenTerminalEncoder(TerminalEncoder& encoder);

// Converts count bytes (at most EncodeStepSize), behind a lead byte held from the
// step before, into `into` (EncodedStepCapacity bytes); gives the number of bytes
// stored. A byte that does not convert goes out as it is; a lead byte at the end
// is held back.
std::uint32_t EncodeForTerminal(TerminalEncoder& encoder, const char* from, std::uint32_t count,
                                char* into);

// When nothing more follows: the held lead byte as it is, into `into`; gives 0 or 1.
std::uint32_t ReleaseLeadByte(TerminalEncoder& encoder, char* into);

}  // namespace dartcirc
