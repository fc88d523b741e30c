// Opening on demand, the output path, closing and the I/O check of the console
// streams. The reading operations are in console_input.cpp.
#include "runtime/console_stream.h"

#include <cstring>

#include "runtime/console_input.h"
#include "runtime/termination.h"

namespace dartcirc {

ConsoleStream ConsoleIn{};
ConsoleStream ConsoleOut{};
thread_local std::int32_t IoResultCode = 0;

namespace {

const char SpaceBlock[64] = {
    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
};
const char LineEnd[2] = {13, 10};

bool IsOpen(const ConsoleStream& stream) {
  return stream.streamState == StreamInput || stream.streamState == StreamOutput ||
         stream.streamState == StreamInOut;
}

bool IsWriting(const ConsoleStream& stream) {
  return stream.streamState == StreamOutput || stream.streamState == StreamInOut;
}

std::int32_t Store(std::int32_t result) {
  if (result != 0) IoResultCode = result;
  return result;
}

// The two flushes differ only in the slot they run.
std::int32_t RunWriteSlot(ConsoleStream& stream, StreamOp ConsoleStream::*slot) {
  if (stream.streamState == StreamInput) return 0;
  if (IsWriting(stream)) return Store((stream.*slot)(stream));
  return Store(&stream == &ConsoleOut ? 0 : ResultNotOpen);
}

}  // namespace

std::int32_t OpenStream(ConsoleStream& stream, std::uint16_t requestedState) {
  if (stream.streamState != StreamClosed && !IsOpen(stream)) return Store(ResultNotPrepared);
  if (stream.streamState != StreamClosed) CloseStream(stream);
  stream.streamState = requestedState;
  if (stream.openOp == nullptr) stream.openOp = AttachStandardHandle;
  return Store(stream.openOp(stream));
}

std::int32_t OpenForReading(ConsoleStream& stream) { return OpenStream(stream, StreamInput); }

std::int32_t OpenForWriting(ConsoleStream& stream) { return OpenStream(stream, StreamOutput); }

std::int32_t AttachStandardHandle(ConsoleStream& stream) {
  stream.bufferCursor = 0;
  stream.bufferFill = 0;
  const bool reading = stream.streamState == StreamInput;
  stream.transferOp = reading ? FillFromHandle : DrainToHandle;
  stream.flushOp = StreamNoOp;
  stream.closeOp = StreamNoOp;
  stream.bufferCapacity = sizeof stream.inlineBuffer;
  stream.bufferData = stream.inlineBuffer;

  stream.osHandle = GetStdHandle(stream.streamState == StreamOutput ? StdOutputHandle
                                                                     : StdInputHandle);
  if (stream.osHandle == InvalidHandleValue) {
    stream.streamState = StreamClosed;
    return static_cast<std::int32_t>(GetLastError());
  }
  if (reading) return 0;  // the type of an input handle does not matter

  switch (GetFileType(stream.osHandle)) {
    case FileTypeUnknown:
      CloseHandle(stream.osHandle);
      stream.streamState = StreamClosed;
      return ResultNotWritable;
    case FileTypeChar:
      stream.flushOp = DrainToHandle;  // a console sees every statement at once
      return 0;
    default:
      return 0;
  }
}

std::int32_t DrainToHandle(ConsoleStream& stream) {
  const std::uint32_t waiting = stream.bufferCursor;
  if (waiting == 0) return 0;
  const bool written = WriteFile(stream.osHandle, stream.bufferData, waiting);
  stream.bufferCursor = 0;  // after a failure the waiting bytes are dropped
  return written ? 0 : static_cast<std::int32_t>(GetLastError());
}

std::int32_t StreamNoOp(ConsoleStream&) { return 0; }

bool EnsureReadable(ConsoleStream& stream) {
  if (&stream == &ConsoleIn) {
    stream.textStyle = DefaultTextStyle;
    OpenForReading(stream);
  }
  if (stream.streamState == StreamInput) return true;
  IoResultCode = ResultNotReadable;
  return false;
}

bool EnsureWritable(ConsoleStream& stream) {
  if (&stream == &ConsoleOut) {
    stream.textStyle = DefaultTextStyle;
    OpenForWriting(stream);
  }
  if (stream.streamState == StreamOutput) return true;
  IoResultCode = ResultNotWritable;
  return false;
}

ConsoleStream& PutBytes(ConsoleStream& stream, const void* bytes, std::uint32_t count) {
  if (stream.streamState != StreamOutput && !EnsureWritable(stream)) return stream;
  const auto* next = static_cast<const unsigned char*>(bytes);
  for (;;) {
    const std::uint32_t room = stream.bufferCapacity - stream.bufferCursor;
    if (room > count) {
      std::memcpy(stream.bufferData + stream.bufferCursor, next, count);
      stream.bufferCursor += count;
      return stream;
    }
    // A buffer that becomes exactly full goes out at once, so it never holds
    // 128 waiting bytes between calls.
    std::memcpy(stream.bufferData + stream.bufferCursor, next, room);
    stream.bufferCursor += room;
    next += room;
    count -= room;
    if (Store(stream.transferOp(stream)) != 0) return stream;
  }
}

ConsoleStream& PutSpaces(ConsoleStream& stream, std::int32_t count) {
  for (; count > 64; count -= 64) {
    PutBytes(stream, SpaceBlock, 64);
    if (IoResultCode != 0) return stream;
  }
  if (count > 0) PutBytes(stream, SpaceBlock, static_cast<std::uint32_t>(count));
  return stream;
}

ConsoleStream& WritePadded(ConsoleStream& stream, std::string_view text, std::int32_t width) {
  const std::int64_t padding = static_cast<std::int64_t>(width) - static_cast<std::int64_t>(text.size());
  if (padding > 0) PutSpaces(stream, static_cast<std::int32_t>(padding));
  return PutBytes(stream, text.data(), static_cast<std::uint32_t>(text.size()));
}

ConsoleStream& WriteText(ConsoleStream& stream, std::string_view text) {
  return WritePadded(stream, text, 0);
}

ConsoleStream& EndOutputLine(ConsoleStream& stream) {
  // The style is looked at before PutBytes, which may be what opens the stream.
  if (stream.textStyle & CrLfText) {
    PutBytes(stream, LineEnd, 2);
  } else {
    PutBytes(stream, LineEnd + 1, 1);
  }
  FlushAfterWrite(stream);
  return stream;
}

std::int32_t FlushAfterWrite(ConsoleStream& stream) {
  return RunWriteSlot(stream, &ConsoleStream::flushOp);
}

std::int32_t FlushStream(ConsoleStream& stream) {
  return RunWriteSlot(stream, &ConsoleStream::transferOp);
}

std::int32_t CloseStream(ConsoleStream& stream) {
  if (!IsOpen(stream)) {
    if (&stream != &ConsoleIn) IoResultCode = ResultNotOpen;
    return 0;
  }
  std::int32_t result = IsWriting(stream) ? stream.transferOp(stream) : 0;
  if (result == 0) result = stream.closeOp(stream);
  return Store(result);
}

__attribute__((noinline)) void SignalPendingIoError() {
  SignalRuntimeError(0, reinterpret_cast<CodePlace>(__builtin_return_address(0)));
}

std::int32_t TakeIoResult() {
  const std::int32_t code = IoResultCode;
  IoResultCode = 0;
  return code;
}

}  // namespace dartcirc
