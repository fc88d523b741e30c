// The program body from process start to process end.
#pragma once

#include <string_view>

namespace dartcirc {

[[noreturn]] void RunProgram();

// Writes the banner, seeds the random source, takes the radius and the trial count
// from the two arguments or from two prompts and sets the run variables; a rejected
// value ends the process with the usage text and exit code 1.
void ReadRunParameters();

void WriteBanner();
void WriteUsage();
[[noreturn]] void FailWithUsage(std::string_view message);

}  // namespace dartcirc
