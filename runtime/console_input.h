// The reading side of ConsoleIn: loads of at most 128 bytes, single bytes with the
// end-of-input marker 26, and whole lines of any length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/console_stream.h"

namespace dartcirc {

// One byte taken from a reading stream. At the end of input (or after a failed
// read) byte is 26 and atEnd is set.
struct InputByte {
  unsigned char byte;
  bool atEnd;
};

// transferOp of a reading stream: loads the buffer from the handle.
std::int32_t FillFromHandle(ConsoleStream& stream);

// Takes the next byte, loading the buffer when it is used up. A 26 in a
// CrLfText stream is the end of input and is left where it is.
InputByte ReadOneByte(ConsoleStream& stream);

// Stores at most maximum bytes of the current line, CR bytes dropped, and gives
// their count. Leaves the cursor on the line end (LF, or the CR of CR LF).
std::int32_t ReadLineChunk(ConsoleStream& stream, char* destination, std::int32_t maximum);

inline constexpr std::int32_t LineAreaSize = 255;

// Hands the rest of the current line, of any length and without its line end, to
// take in pieces of at most LineAreaSize bytes: while a piece fills the area, more
// of the line may follow (a line whose length is a multiple of the area ends with
// an empty piece). Nothing of the line is kept here, so a reader that keeps only
// what it needs reads any line in bounded memory.
template <class Take>
void ReadWholeLine(ConsoleStream& stream, Take take) {
  char area[LineAreaSize];
  std::int32_t count;
  do {
    count = ReadLineChunk(stream, area, LineAreaSize);
    take(std::string_view(area, static_cast<std::size_t>(count)));
  } while (count == LineAreaSize);
}

// Consumes the rest of the current line and its LF, or up to the end of input.
void SkipToNextLine(ConsoleStream& stream);

}  // namespace dartcirc
