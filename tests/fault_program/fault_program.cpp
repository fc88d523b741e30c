// A program of the runtime that fails on purpose in the way its argument names,
// after writing one line, so that the end-to-end tests can watch the report.
//   read, write          an access violation reading or writing address 0
//   int-divide           an integer division by zero (it does not trap on aarch64)
//   x87-divide           an extended division by zero
//   x87-invalid          an extended division of zero by zero
//   x87-overflow         an extended product beyond the largest finite value
//   privileged           an instruction only the kernel may run
//   illegal              an undefined instruction, a code without a class of its own
//   stack-overflow       recursion without end
//   out-of-memory        an allocation that fails
//   write-lines          writes lines until the output fails
#include <cstdint>
#include <new>
#include <string_view>

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/termination.h"

namespace dartcirc {
namespace {

std::string_view Mode;

// Written in assembly so that the sanitizers cannot catch the fault first.
#if defined(__x86_64__)
void ReadAddress(std::uintptr_t address) {
  int value;
  asm volatile("movl (%1), %0" : "=r"(value) : "r"(address) : "memory");
}

void WriteAddress(std::uintptr_t address) {
  asm volatile("movl $1, (%0)" : : "r"(address) : "memory");
}

int DivideIntegers(int dividend, int divisor) {
  int quotient = dividend;
  asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(divisor) : "edx");
  return quotient;
}

void RunPrivilegedInstruction() { asm volatile("hlt"); }
void RunIllegalInstruction() { asm volatile("ud2"); }
#elif defined(__aarch64__)
void ReadAddress(std::uintptr_t address) {
  int value;
  asm volatile("ldr %w0, [%1]" : "=r"(value) : "r"(address) : "memory");
}

void WriteAddress(std::uintptr_t address) {
  asm volatile("str wzr, [%0]" : : "r"(address) : "memory");
}

// A division by zero gives 0 here: it does not trap.
int DivideIntegers(int dividend, int divisor) {
  int quotient;
  asm volatile("sdiv %w0, %w1, %w2" : "=r"(quotient) : "r"(dividend), "r"(divisor));
  return quotient;
}

void RunPrivilegedInstruction() {
  std::uint64_t control;
  asm volatile("mrs %0, sctlr_el1" : "=r"(control));
}
void RunIllegalInstruction() { asm volatile("udf #0"); }
#endif

volatile int DepthLimit = -1;  // never reached

__attribute__((noinline)) int Recurse(int depth) {
  if (depth == DepthLimit) return 0;
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}

void Fail() {
  volatile std::uintptr_t nowhere = 0;
  volatile int zero = 0;
  if (Mode == "read") ReadAddress(nowhere);
  if (Mode == "write") WriteAddress(nowhere);
  if (Mode == "int-divide") DivideIntegers(7, zero);
  if (Mode == "x87-divide") {
    const Extended quotient = ExtendedFromInt32(7) / ExtendedFromInt32(zero);
    volatile double kept = RoundToDouble(quotient);
    (void)kept;
  }
  if (Mode == "x87-invalid") {
    volatile double kept = RoundToDouble(ExtendedFromInt32(zero) / ExtendedFromInt32(zero));
    (void)kept;
  }
  if (Mode == "x87-overflow") {
    const Extended largest = ExtendedFromFields(0x7FFE, ~std::uint64_t{0});
    volatile double kept = RoundToDouble(largest * ExtendedFromInt32(zero + 2));
    (void)kept;
  }
  if (Mode == "privileged") RunPrivilegedInstruction();
  if (Mode == "illegal") RunIllegalInstruction();
  if (Mode == "stack-overflow") Recurse(zero);
  if (Mode == "out-of-memory") throw std::bad_alloc();
  if (Mode == "write-lines") {
    for (;;) {
      EndOutputLine(WriteText(ConsoleOut, "3.14159265"));
      CheckIoResult();
    }
  }
}

void Body() {
  StartModules();
  EndOutputLine(WriteText(ConsoleOut, "before"));
  CheckIoResult();
  Fail();
  RunShutdown();
}

}  // namespace
}  // namespace dartcirc

int main(int argc, char** argv) {
  dartcirc::Mode = argc > 1 ? argv[1] : "";
  dartcirc::ConsoleProgramFlag = true;
  dartcirc::RunUnderTopLevelHandler(dartcirc::Body);
}
