// The arguments of the process command line, split by the runtime's own rules:
// separators are the bytes 0x01 to 0x20, quotes (0x22) group but have no escape and
// are never part of an argument, and an empty quoted pair counts for nothing.
// Every call reads the command line afresh from the platform; nothing is kept.
#pragma once

#include <cstdint>

#include "runtime/text.h"

namespace dartcirc {

struct ArgumentScan {
  Text argument;     // empty only when the end of the command line was reached
  const char* next;  // just behind the argument; the separator there is left
};

// The argument that starts at or after position, in a zero-terminated command line.
ArgumentScan NextArgument(const char* position);

// The number of arguments after the program name.
std::int32_t ArgumentCount();

// Index 0: the running program's path. 1 and up: the arguments after the program
// name. Past the last argument, or negative: empty.
Text ArgumentText(std::int32_t index);

}  // namespace dartcirc
