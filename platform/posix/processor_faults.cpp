// Processor faults as exception records: each signal of a fault is caught on a
// stack of its own (so that a stack overflow can still be handled), described
// with the Windows exception code of the same fault and handed to the top-level
// handler. Nothing on this path touches the heap: the fault may have struck
// inside the allocator. What each signal means is read from the machine state of
// x86-64 or of aarch64.
#include <csignal>
#include <cstdint>
#include <cstring>

#include <ucontext.h>

#include "platform/platform.h"
#include "runtime/termination.h"

namespace dartcirc {

namespace {

constexpr std::uint32_t ExceptionDatatypeMisalignment = 0x80000002;
constexpr std::uint32_t ExceptionAccessViolation = 0xC0000005;
constexpr std::uint32_t ExceptionInPageError = 0xC0000006;
constexpr std::uint32_t ExceptionIllegalInstruction = 0xC000001D;
constexpr std::uint32_t ExceptionArrayBoundsExceeded = 0xC000008C;
constexpr std::uint32_t ExceptionFltDenormalOperand = 0xC000008D;
constexpr std::uint32_t ExceptionFltDivideByZero = 0xC000008E;
constexpr std::uint32_t ExceptionFltInexactResult = 0xC000008F;
constexpr std::uint32_t ExceptionFltInvalidOperation = 0xC0000090;
constexpr std::uint32_t ExceptionFltOverflow = 0xC0000091;
constexpr std::uint32_t ExceptionFltStackCheck = 0xC0000092;
constexpr std::uint32_t ExceptionFltUnderflow = 0xC0000093;
constexpr std::uint32_t ExceptionIntDivideByZero = 0xC0000094;
constexpr std::uint32_t ExceptionIntOverflow = 0xC0000095;
constexpr std::uint32_t ExceptionPrivilegedInstruction = 0xC0000096;
constexpr std::uint32_t ExceptionStackOverflow = 0xC00000FD;

// Access kinds in parameter 0 of an access violation.
constexpr std::uintptr_t AccessRead = 0;
constexpr std::uintptr_t AccessWrite = 1;
constexpr std::uintptr_t AccessExecute = 8;

// A fault this close below (or just above) the stack pointer is the stack
// running into its guard.
constexpr std::uintptr_t StackReachBelow = 64 * 1024;
constexpr std::uintptr_t StackReachAbove = 4096;

constexpr int FaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

alignas(16) unsigned char FaultStack[128 * 1024];
struct sigaction PreviousActions[4];
OsExceptionRecord FaultRecord;

std::uint32_t FloatingPointCode(int signalCode) {
  switch (signalCode) {
    case FPE_INTDIV: return ExceptionIntDivideByZero;
    case FPE_INTOVF: return ExceptionIntOverflow;
    case FPE_FLTDIV: return ExceptionFltDivideByZero;
    case FPE_FLTOVF: return ExceptionFltOverflow;
    case FPE_FLTUND: return ExceptionFltUnderflow;
    case FPE_FLTRES: return ExceptionFltInexactResult;
    case FPE_FLTSUB: return ExceptionArrayBoundsExceeded;
    default: return ExceptionFltInvalidOperation;
  }
}

#if defined(__x86_64__)

// Page-fault error code bits and trap numbers of x86-64.
constexpr greg_t PageFaultWrite = 0x2;
constexpr greg_t PageFaultInstructionFetch = 0x10;
constexpr greg_t TrapX87Error = 16;

// The instructions that only the kernel may run (or that need I/O privilege):
// Linux reports them as a general protection fault, Windows as a privileged
// instruction.
bool IsPrivilegedInstruction(const unsigned char* code) {
  int length = 0;
  while (length < 14 && ((code[length] & 0xF0) == 0x40 || code[length] == 0x66 ||
                         code[length] == 0x67 || code[length] == 0xF0 || code[length] == 0xF2 ||
                         code[length] == 0xF3 || code[length] == 0x2E || code[length] == 0x36 ||
                         code[length] == 0x3E || code[length] == 0x26 || code[length] == 0x64 ||
                         code[length] == 0x65)) {
    ++length;
  }
  const unsigned char opcode = code[length];
  if (opcode == 0xF4 || opcode == 0xFA || opcode == 0xFB) return true;  // hlt, cli, sti
  if ((opcode >= 0xE4 && opcode <= 0xE7) || (opcode >= 0xEC && opcode <= 0xEF)) return true;  // in, out
  if (opcode >= 0x6C && opcode <= 0x6F) return true;  // ins, outs
  if (opcode != 0x0F) return false;
  const unsigned char second = code[length + 1];
  return second == 0x06 || second == 0x08 || second == 0x09 ||  // clts, invd, wbinvd
         (second >= 0x20 && second <= 0x23) ||                   // mov to and from CR, DR
         second == 0x30 || second == 0x32;                       // wrmsr, rdmsr
}

// The first unmasked exception pending in the x87 status word.
std::uint32_t X87ExceptionCode(const _libc_fpstate& state) {
  const unsigned pending = state.swd & ~state.cwd & 0x3F;
  if (pending & 0x01) return (state.swd & 0x40) ? ExceptionFltStackCheck : ExceptionFltInvalidOperation;
  if (pending & 0x02) return ExceptionFltDenormalOperand;
  if (pending & 0x04) return ExceptionFltDivideByZero;
  if (pending & 0x08) return ExceptionFltOverflow;
  if (pending & 0x10) return ExceptionFltUnderflow;
  return ExceptionFltInexactResult;
}

OsExceptionRecord RecordOf(int signal, const siginfo_t& info, const mcontext_t& machine) {
  const auto instruction = static_cast<std::uintptr_t>(machine.gregs[REG_RIP]);
  const auto target = reinterpret_cast<std::uintptr_t>(info.si_addr);
  const greg_t error = machine.gregs[REG_ERR];
  const std::uintptr_t access = (error & PageFaultInstructionFetch) ? AccessExecute
                                : (error & PageFaultWrite)         ? AccessWrite
                                                                   : AccessRead;
  const auto* code = reinterpret_cast<const unsigned char*>(instruction);
  switch (signal) {
    case SIGSEGV: {
      if (info.si_code == SI_KERNEL) {  // a general protection fault
        if (IsPrivilegedInstruction(code)) return {ExceptionPrivilegedInstruction, instruction, {0, 0}};
        return {ExceptionAccessViolation, instruction, {AccessRead, ~std::uintptr_t{0}}};
      }
      const auto stack = static_cast<std::uintptr_t>(machine.gregs[REG_RSP]);
      if (target + StackReachBelow >= stack && target < stack + StackReachAbove) {
        return {ExceptionStackOverflow, instruction, {access, target}};
      }
      return {ExceptionAccessViolation, instruction, {access, target}};
    }
    case SIGBUS:
      if (info.si_code == BUS_ADRALN) return {ExceptionDatatypeMisalignment, instruction, {0, 0}};
      return {ExceptionInPageError, instruction, {access, target}};
    case SIGFPE:
      // An x87 fault shows at the next x87 instruction; the unit keeps the
      // address of the one that caused it.
      if (machine.gregs[REG_TRAPNO] == TrapX87Error && machine.fpregs != nullptr) {
        const std::uintptr_t cause = machine.fpregs->rip != 0 ? machine.fpregs->rip : instruction;
        return {X87ExceptionCode(*machine.fpregs), cause, {0, 0}};
      }
      return {FloatingPointCode(info.si_code), instruction, {0, 0}};
    default:
      if (info.si_code == ILL_PRVOPC || IsPrivilegedInstruction(code)) {
        return {ExceptionPrivilegedInstruction, instruction, {0, 0}};
      }
      return {ExceptionIllegalInstruction, instruction, {0, 0}};
  }
}

#elif defined(__aarch64__)

// The exception classes of the syndrome register (faults taken from user mode)
// and the bit that tells a write from a read.
constexpr std::uint64_t InstructionAbort = 0x20;
constexpr std::uint64_t DataAbort = 0x24;
constexpr std::uint64_t SyndromeWrite = 1 << 6;

// The syndrome of the fault, from the kernel's record of it among the records
// behind the registers in the signal frame; 0 when there is none (older kernels
// and qemu-user leave it out).
std::uint64_t FaultSyndrome(const mcontext_t& machine) {
  const unsigned char* record = machine.__reserved;
  const unsigned char* const end = record + sizeof machine.__reserved;
  while (end - record >= static_cast<std::ptrdiff_t>(sizeof(esr_context))) {
    _aarch64_ctx head;
    std::memcpy(&head, record, sizeof head);
    if (head.magic == 0 || head.size < sizeof head) return 0;
    if (head.magic == ESR_MAGIC) {
      esr_context syndrome;
      std::memcpy(&syndrome, record, sizeof syndrome);
      return syndrome.esr;
    }
    record += head.size;
  }
  return 0;
}

// Whether a load or store instruction writes memory: for single general
// registers the two opc bits are 00 only in a store, the atomic
// read-modify-write forms write, and every other form (pairs, exclusives, vector
// registers and structures) has its load bit at 22. Literal loads only read.
bool WritesMemory(std::uint32_t word) {
  if ((word & 0x0A000000) != 0x08000000) return false;  // not a load or store
  if ((word & 0x3B000000) == 0x18000000) return false;  // load literal
  if ((word & 0x3F200C00) == 0x38200000) return true;   // atomic memory operation
  if ((word & 0x3C000000) == 0x38000000) return (word & 0x00C00000) == 0;
  return (word & 0x00400000) == 0;
}

std::uintptr_t AccessKind(const mcontext_t& machine, std::uintptr_t target) {
  const std::uint64_t syndrome = FaultSyndrome(machine);
  switch (syndrome >> 26) {
    case InstructionAbort: return AccessExecute;
    case DataAbort: return (syndrome & SyndromeWrite) ? AccessWrite : AccessRead;
  }
  // Without a syndrome the instruction tells; a fault on fetching it leaves
  // nothing to read.
  if (target == machine.pc) return AccessExecute;
  return WritesMemory(*reinterpret_cast<const std::uint32_t*>(machine.pc)) ? AccessWrite : AccessRead;
}

// Linux reports an instruction that user mode may not run as an undefined one;
// Windows as a privileged instruction. These are the system instructions and
// register moves whose op1 names exception level 1 or above, the exception
// returns, and the calls to the hypervisor and the secure monitor.
bool IsPrivilegedInstruction(std::uint32_t word) {
  if ((word & 0xFFC00000) == 0xD5000000) return (word >> 16 & 7) != 3;
  if ((word & 0xFFDFF000) == 0xD69F0000) return true;  // eret, drps and the authenticated forms
  return (word & 0xFFE0001E) == 0xD4000002;             // hvc, smc
}

OsExceptionRecord RecordOf(int signal, const siginfo_t& info, const mcontext_t& machine) {
  const auto instruction = static_cast<std::uintptr_t>(machine.pc);
  const auto target = reinterpret_cast<std::uintptr_t>(info.si_addr);
  switch (signal) {
    case SIGSEGV: {
      const std::uintptr_t access = AccessKind(machine, target);
      const auto stack = static_cast<std::uintptr_t>(machine.sp);
      if (target + StackReachBelow >= stack && target < stack + StackReachAbove) {
        return {ExceptionStackOverflow, instruction, {access, target}};
      }
      return {ExceptionAccessViolation, instruction, {access, target}};
    }
    case SIGBUS:
      if (info.si_code == BUS_ADRALN) return {ExceptionDatatypeMisalignment, instruction, {0, 0}};
      return {ExceptionInPageError, instruction, {AccessKind(machine, target), target}};
    case SIGFPE:
      // Integer division never traps here, and floating-point traps exist only
      // on processors that implement them; a signal that does come says what it was.
      return {FloatingPointCode(info.si_code), instruction, {0, 0}};
    default:
      if (info.si_code == ILL_PRVOPC ||
          IsPrivilegedInstruction(*reinterpret_cast<const std::uint32_t*>(instruction))) {
        return {ExceptionPrivilegedInstruction, instruction, {0, 0}};
      }
      return {ExceptionIllegalInstruction, instruction, {0, 0}};
  }
}

#endif

void OnProcessorFault(int signal, siginfo_t* info, void* context) {
  // Sent by a process (kill, sigqueue, tgkill), the signal is no fault: it does
  // what it would have done had it not been caught, ignored or the default action.
  if (info->si_code <= 0) {
    for (int index = 0; index < 4; ++index) {
      if (FaultSignals[index] != signal || PreviousActions[index].sa_handler == SIG_IGN) continue;
      struct sigaction fallback{};
      fallback.sa_handler = SIG_DFL;
      sigaction(signal, &fallback, nullptr);
      raise(signal);  // taken when the handler returns and the signal is unblocked
    }
    return;
  }
  FaultRecord = RecordOf(signal, *info, static_cast<ucontext_t*>(context)->uc_mcontext);
  TopLevelExceptionHandler(FaultRecord);
}

}  // namespace

void CatchProcessorFaults() {
  stack_t faultStack{};
  faultStack.ss_sp = FaultStack;
  faultStack.ss_size = sizeof FaultStack;
  sigaltstack(&faultStack, nullptr);

  struct sigaction action{};
  action.sa_sigaction = OnProcessorFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int index = 0; index < 4; ++index) {
    sigaction(FaultSignals[index], &action, &PreviousActions[index]);
  }
}

void StopCatchingProcessorFaults() {
  for (int index = 0; index < 4; ++index) {
    sigaction(FaultSignals[index], &PreviousActions[index], nullptr);
  }
}

}  // namespace dartcirc
