// The x87's ordered comparison, fcomi, which signals invalid for a quiet NaN as well
// as a signalling one. A relational operator on long double may compile to fucomi
// instead (clang's choice), which does not; so the comparisons are written out.
#pragma once

namespace dartcirc {

inline bool X87Above(long double a, long double b) {
  bool above;
  asm volatile("fcomip %%st(1), %%st\n\tfstp %%st(0)" : "=@cca"(above) : "t"(a), "u"(b) : "st", "st(1)");
  return above;
}

inline bool X87AboveOrEqual(long double a, long double b) {
  bool aboveOrEqual;
  asm volatile("fcomip %%st(1), %%st\n\tfstp %%st(0)" : "=@ccae"(aboveOrEqual) : "t"(a), "u"(b) : "st", "st(1)");
  return aboveOrEqual;
}

}  // namespace dartcirc
