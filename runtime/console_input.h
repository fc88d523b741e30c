// The reading side of ConsoleIn: loads of at most 128 bytes, single bytes with the
// end-of-input marker 26, and whole lines of any length.
#pragma once

#include <cstdint>

#include "runtime/console_stream.h"
#include "runtime/text.h"

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

// Replaces text with the rest of the current line, of any length, without its line
// end. Growing a text that does not fit in memory throws std::bad_alloc.
void ReadWholeLine(ConsoleStream& stream, Text& text);

// Consumes the rest of the current line and its LF, or up to the end of input.
void SkipToNextLine(ConsoleStream& stream);

}  // namespace dartcirc
