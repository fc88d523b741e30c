// A program of the runtime that fails on purpose in the way its argument names,
// after writing one line, so that the end-to-end tests can watch the report.
//   read, write          an access violation reading or writing address 0
//   non-canonical        a read of an address no page can have (x86-64)
//   thread-write         write, in a thread of its own
//   int-divide           an integer division by zero (it does not trap on aarch64)
//   x87-divide           an extended division by zero
//   x87-invalid          an extended division of zero by zero
//   x87-overflow         an extended product beyond the largest finite value
//   privileged           an instruction only the kernel may run
//   port-string          a string input from an I/O port, which needs I/O privilege,
//                        behind an address-size prefix (x86-64 and 32-bit x86)
//   illegal              an undefined instruction, a code without a class of its own
//   stack-overflow       recursion without end
//   out-of-memory        an allocation that fails
//   write-lines          writes lines until the output fails
// and on Linux:
//   kill N, sigqueue N,  sends itself signal N as another process could (kill,
//   raise N              sigqueue, tgkill): no fault, the signal's default action
//   ignored N            kill N while N was ignored from the start: the run goes on
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string_view>
#include <thread>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "runtime/console_stream.h"
#include "runtime/extended.h"
#include "runtime/termination.h"

namespace dartcirc {
namespace {

std::string_view Mode;
int SignalNumber = 0;
volatile int Zero = 0;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return depth == -1 ? 0 : Recurse(depth + 1) + frame[0];  // -1 is never reached
}

// The faults of the processor, in assembly so that the sanitizers cannot catch
// them first.
void FaultOfTheProcessor(std::uintptr_t nowhere) {
#if defined(__x86_64__) || defined(__i386__)
  int quotient = 7;
  if (Mode == "read") asm volatile("movl (%0), %%eax" : : "r"(nowhere) : "eax", "memory");
  if (Mode == "write") asm volatile("movl $1, (%0)" : : "r"(nowhere) : "memory");
#if defined(__x86_64__)
  if (Mode == "non-canonical") asm volatile("movl (%0), %%eax" : : "r"(nowhere | std::uintptr_t{1} << 63) : "eax", "memory");
  if (Mode == "port-string") asm volatile("addr32 insb" : : : "memory");  // a prefix before the opcode
#else
  if (Mode == "port-string") asm volatile("addr16 insb" : : : "memory");
#endif
  if (Mode == "int-divide") asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(Zero) : "edx");
  if (Mode == "privileged") asm volatile("hlt");
  if (Mode == "illegal") asm volatile("ud2");
#elif defined(__aarch64__)
  int quotient;
  std::uint64_t control;
  if (Mode == "read") asm volatile("ldr %w0, [%1]" : "=r"(quotient) : "r"(nowhere) : "memory");
  if (Mode == "write") asm volatile("str wzr, [%0]" : : "r"(nowhere) : "memory");
  if (Mode == "int-divide") asm volatile("sdiv %w0, %w1, %w2" : "=r"(quotient) : "r"(7), "r"(Zero));
  if (Mode == "privileged") asm volatile("mrs %0, sctlr_el1" : "=r"(control));
  if (Mode == "illegal") asm volatile("udf #0");
#endif
}

void Body() {
  StartModules();
  EndOutputLine(WriteText(ConsoleOut, "before"));
  CheckIoResult();
  if (Mode == "thread-write") {
    Mode = "write";
    std::thread(FaultOfTheProcessor, static_cast<std::uintptr_t>(Zero)).join();
  }
  FaultOfTheProcessor(static_cast<std::uintptr_t>(Zero));
  volatile double kept = 0;
  if (Mode == "x87-divide") kept = RoundToDouble(ExtendedFromInt32(7) / ExtendedFromInt32(Zero));
  if (Mode == "x87-invalid") kept = RoundToDouble(ExtendedFromInt32(Zero) / ExtendedFromInt32(Zero));
  if (Mode == "x87-overflow") {
    kept = RoundToDouble(ExtendedFromFields(0x7FFE, ~std::uint64_t{0}) * ExtendedFromInt32(Zero + 2));
  }
  (void)kept;
#if !defined(_WIN32)
  const rlimit noCoreFile{0, 0};
  if (SignalNumber != 0) setrlimit(RLIMIT_CORE, &noCoreFile);
  if (Mode == "kill" || Mode == "ignored") kill(getpid(), SignalNumber);
  if (Mode == "sigqueue") sigqueue(getpid(), SignalNumber, sigval{});
  if (Mode == "raise") raise(SignalNumber);
#endif
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
  dartcirc::SignalNumber = argc > 2 ? std::atoi(argv[2]) : 0;
  if (dartcirc::Mode == "ignored") std::signal(dartcirc::SignalNumber, SIG_IGN);
  dartcirc::ConsoleProgramFlag = true;
  dartcirc::RunUnderTopLevelHandler(dartcirc::Body);
}
