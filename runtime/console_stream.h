// Buffered byte streams over the standard handles: ConsoleIn and ConsoleOut.
// No operation raises: a failure stores its code in IoResultCode, and each console
// statement ends with CheckIoResult, which hands a pending code to the run-time
// error entry.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace dartcirc {

struct ConsoleStream;
using StreamOp = std::int32_t (*)(ConsoleStream& stream);

struct ConsoleStream {
  Handle osHandle;
  std::uint16_t streamState;
  std::uint16_t textStyle;
  std::uint32_t bufferCapacity;
  std::uint32_t bufferCursor;  // reading: next unread byte; writing: bytes waiting
  std::uint32_t bufferFill;    // reading: valid bytes
  unsigned char* bufferData;
  StreamOp openOp;
  StreamOp transferOp;  // reading: load the buffer; writing: write the waiting bytes
  StreamOp flushOp;     // after each write statement and line end
  StreamOp closeOp;
  unsigned char inlineBuffer[128];
};

inline constexpr std::uint16_t StreamClosed = 0xD7B0;
inline constexpr std::uint16_t StreamInput = 0xD7B1;
inline constexpr std::uint16_t StreamOutput = 0xD7B2;
inline constexpr std::uint16_t StreamInOut = 0xD7B3;

inline constexpr std::uint16_t CrLfText = 1;  // lines end in 13 10; 26 ends input
inline constexpr std::uint16_t DefaultTextStyle = CrLfText;

inline constexpr std::int32_t ResultNotPrepared = 102;
inline constexpr std::int32_t ResultNotOpen = 103;
inline constexpr std::int32_t ResultNotReadable = 104;
inline constexpr std::int32_t ResultNotWritable = 105;

extern ConsoleStream ConsoleIn;
extern ConsoleStream ConsoleOut;
extern thread_local std::int32_t IoResultCode;

std::int32_t OpenStream(ConsoleStream& stream, std::uint16_t requestedState);
std::int32_t OpenForReading(ConsoleStream& stream);
std::int32_t OpenForWriting(ConsoleStream& stream);
std::int32_t AttachStandardHandle(ConsoleStream& stream);
std::int32_t DrainToHandle(ConsoleStream& stream);
std::int32_t StreamNoOp(ConsoleStream& stream);
bool EnsureReadable(ConsoleStream& stream);
bool EnsureWritable(ConsoleStream& stream);

ConsoleStream& PutBytes(ConsoleStream& stream, const void* bytes, std::uint32_t count);
ConsoleStream& PutSpaces(ConsoleStream& stream, std::int32_t count);
ConsoleStream& WritePadded(ConsoleStream& stream, std::string_view text, std::int32_t width);
ConsoleStream& WriteText(ConsoleStream& stream, std::string_view text);
ConsoleStream& EndOutputLine(ConsoleStream& stream);
std::int32_t FlushAfterWrite(ConsoleStream& stream);
std::int32_t FlushStream(ConsoleStream& stream);
std::int32_t CloseStream(ConsoleStream& stream);

// Ends the process through the run-time error entry, naming the code address
// just after its call as the place of the error.
[[noreturn]] void SignalPendingIoError();

inline void CheckIoResult() {
  if (IoResultCode != 0) SignalPendingIoError();
}

std::int32_t TakeIoResult();

}  // namespace dartcirc
