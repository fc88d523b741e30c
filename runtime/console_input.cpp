// The reading operations of ConsoleIn.
#include "runtime/console_input.h"

namespace dartcirc {

std::int32_t FillFromHandle(ConsoleStream& stream) {
  stream.bufferFill = 0;
  stream.bufferCursor = 0;
  if (ReadFile(stream.osHandle, stream.bufferData, stream.bufferCapacity, &stream.bufferFill)) {
    return 0;
  }
  const std::uint32_t error = GetLastError();
  return error == ErrorBrokenPipe ? 0 : static_cast<std::int32_t>(error);  // a gone writer ends input
}

}  // namespace dartcirc
