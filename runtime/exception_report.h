// The report of an exception that reached the top: two lines on standard output,
// class, module and offset of the place, then the message.
#pragma once

#include <cstdint>

#include "runtime/termination.h"

namespace dartcirc {

inline constexpr std::uint32_t ReportCapacity = 1024;

[[noreturn]] void ReportUnhandledAndEnd(TObject* object, CodePlace place);
void WriteExceptionReport(const TObject* object, CodePlace place);
// Gives the length of the text, at most ReportCapacity.
std::uint32_t FormatExceptionReport(const TObject* object, CodePlace place,
                                    char (&buffer)[ReportCapacity]);

}  // namespace dartcirc
