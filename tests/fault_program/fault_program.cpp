// A program of the runtime that fails on purpose in the way its argument names,
// after writing one line, so that the end-to-end tests can watch the report.
//   read, write          an access violation reading or writing address 0
//   non-canonical        a read of an address no page can have (a general protection fault)
//   int-divide           an integer division by zero
//   x87-divide           an extended division by zero
//   privileged           an instruction only the kernel may run
//   port-string          a string input from an I/O port, which needs I/O privilege
//   illegal              an undefined instruction, a code without a class of its own
//   stack-overflow       recursion without end
//   out-of-memory        an allocation that fails
//   write-lines          writes lines until the output fails
// The faults are raised in assembly so that the sanitizers cannot catch them first.
#include <cstdint>
#include <new>
#include <string_view>

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/termination.h"

namespace dartcirc {
namespace {

std::string_view Mode;
volatile int Zero = 0;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return depth == -1 ? 0 : Recurse(depth + 1) + frame[0];  // -1 is never reached
}

void Body() {
  StartModules();
  EndOutputLine(WriteText(ConsoleOut, "before"));
  CheckIoResult();
  std::uintptr_t nowhere = Zero;
  int quotient = 7;
  if (Mode == "read") asm volatile("movl (%0), %%eax" : : "r"(nowhere) : "eax", "memory");
  if (Mode == "write") asm volatile("movl $1, (%0)" : : "r"(nowhere) : "memory");
  if (Mode == "non-canonical") asm volatile("movl (%0), %%eax" : : "r"(nowhere | 1ul << 63) : "eax", "memory");
  if (Mode == "int-divide") asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(Zero) : "edx");
  if (Mode == "x87-divide") {
    volatile double kept = RoundToDouble(ExtendedFromInt32(7) / ExtendedFromInt32(Zero));
    (void)kept;
  }
  if (Mode == "privileged") asm volatile("hlt");
  if (Mode == "port-string") asm volatile("insb" : : : "memory");
  if (Mode == "illegal") asm volatile("ud2");
  if (Mode == "stack-overflow") Recurse(Zero);
  if (Mode == "out-of-memory") throw std::bad_alloc();
  while (Mode == "write-lines") {
    EndOutputLine(WriteText(ConsoleOut, "3.14159265"));
    CheckIoResult();
  }
  RunShutdown();
}

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  dartcirc::Mode = argc > 1 ? argv[1] : "";
  dartcirc::ConsoleProgramFlag = true;
  dartcirc::RunUnderTopLevelHandler(dartcirc::Body);
}
