// The system calls by which a run chooses its vector path: the setting that forces
// one, a clock to time the paths by, and standard error for the line that says a
// forced path was not taken. None of them changes what reaches standard output.
#pragma once

#include <cstdint>
#include <string_view>

namespace dartcirc {

// The value of DARTCIRC_ENGINE_PATH; empty when it is unset.
std::string_view ForcedEnginePath();

// Nanoseconds of a clock that never goes back; negative when there is none.
std::int64_t SteadyNanoseconds();

// line and a line feed on standard error, as far as they can be written.
void WriteErrorLine(std::string_view line);

}  // namespace dartcirc
