// The reading operations of ConsoleIn. End of input is no error: the readers see
// the end flag and IoResultCode is left as it was. Reading never writes out what
// waits in ConsoleOut.
#include "runtime/console_input.h"

namespace dartcirc {

namespace {

constexpr unsigned char LineFeed = 10;
constexpr unsigned char CarriageReturn = 13;
constexpr unsigned char EndMarker = 26;
constexpr InputByte EndOfInput = {EndMarker, true};

bool EndsInputAt(const ConsoleStream& stream, unsigned char byte) {
  return (stream.textStyle & CrLfText) != 0 && byte == EndMarker;
}

}  // namespace

std::int32_t FillFromHandle(ConsoleStream& stream) {
  stream.bufferFill = 0;
  stream.bufferCursor = 0;
  if (ReadFile(stream.osHandle, stream.bufferData, stream.bufferCapacity, &stream.bufferFill)) {
    return 0;
  }
  const std::uint32_t error = GetLastError();
  return error == ErrorBrokenPipe ? 0 : static_cast<std::int32_t>(error);  // a gone writer ends input
}

InputByte ReadOneByte(ConsoleStream& stream) {
  if (stream.streamState != StreamInput && !EnsureReadable(stream)) return EndOfInput;
  if (stream.bufferCursor >= stream.bufferFill) {
    const std::int32_t result = stream.transferOp(stream);
    if (result != 0) {
      IoResultCode = result;  // nothing is placed, so the next read tries again
      return EndOfInput;
    }
    if (stream.bufferFill == 0) {
      // The placed marker answers every later single-byte read without a system call.
      if (stream.textStyle & CrLfText) {
        stream.bufferData[stream.bufferCursor] = EndMarker;
        ++stream.bufferFill;
      }
      return EndOfInput;
    }
  }
  const unsigned char byte = stream.bufferData[stream.bufferCursor];
  if (EndsInputAt(stream, byte)) return EndOfInput;  // never consumed
  ++stream.bufferCursor;
  return {byte, false};
}

std::int32_t ReadLineChunk(ConsoleStream& stream, char* destination, std::int32_t maximum) {
  if (stream.streamState != StreamInput && !EnsureReadable(stream)) return 0;
  if (maximum <= 0) return 0;
  std::int32_t count = 0;
  for (;;) {
    // The buffered bytes are scanned without looking for 26: only the head of a
    // new load, taken by ReadOneByte, can end the input. The cursor is kept in a
    // local and stored when the scan stops (a line may be a gigabyte long).
    const unsigned char* const buffer = stream.bufferData;
    const std::uint32_t fill = stream.bufferFill;
    for (std::uint32_t at = stream.bufferCursor; at < fill; ++at) {
      const unsigned char byte = buffer[at];
      if (byte == LineFeed || (byte == CarriageReturn && at + 1 < fill && buffer[at + 1] == LineFeed)) {
        stream.bufferCursor = at;
        return count;
      }
      if (byte == CarriageReturn) continue;  // a CR inside a line is dropped
      destination[count++] = static_cast<char>(byte);
      if (count == maximum) {
        stream.bufferCursor = at + 1;
        return count;
      }
    }
    stream.bufferCursor = fill;
    if (ReadOneByte(stream).atEnd) return count;
    --stream.bufferCursor;  // scan the new load from its head, the byte just taken included
  }
}

void SkipToNextLine(ConsoleStream& stream) {
  // A CR needs no case of its own: what follows it is either the LF that ends the
  // line or more of the line.
  for (;;) {
    const InputByte taken = ReadOneByte(stream);
    if (taken.atEnd || taken.byte == LineFeed) return;
  }
}

}  // namespace dartcirc
