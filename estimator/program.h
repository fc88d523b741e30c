// The program body from process start to process end.
#pragma once

namespace dartcirc {

[[noreturn]] void RunProgram();
void WriteBanner();

}  // namespace dartcirc
