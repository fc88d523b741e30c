// The reading side of ConsoleIn: loads of at most 128 bytes, single bytes with the
// end-of-input marker 26, and whole lines of any length.
#pragma once

#include <cstdint>

#include "runtime/console_stream.h"

namespace dartcirc {

// transferOp of a reading stream: loads the buffer from the handle.
std::int32_t FillFromHandle(ConsoleStream& stream);

}  // namespace dartcirc
