// The class table, the reserve the objects live in, and the making of objects.
#include "runtime/exception_classes.h"

#include <new>

namespace dartcirc {

using C = ExceptionClass;

const ClassRow ClassTable[ClassCount] = {
    {"TObject", C::TObject},
    {"Exception", C::TObject},
    {"EHeapException", C::Exception},
    {"EOutOfMemory", C::EHeapException},
    {"EInvalidPointer", C::EHeapException},
    {"EInOutError", C::Exception},
    {"EExternal", C::Exception},
    {"EIntError", C::EExternal},
    {"EMathError", C::EExternal},
    {"EAccessViolation", C::EExternal},
    {"EPrivilege", C::EExternal},
    {"EStackOverflow", C::EExternal},
    {"EControlC", C::EExternal},
    {"EExternalException", C::EExternal},
    {"EDivByZero", C::EIntError},
    {"ERangeError", C::EIntError},
    {"EIntOverflow", C::EIntError},
    {"EInvalidOp", C::EMathError},
    {"EZeroDivide", C::EMathError},
    {"EOverflow", C::EMathError},
    {"EUnderflow", C::EMathError},
    {"EInvalidCast", C::Exception},
    {"EConvertError", C::Exception},
    {"EVariantError", C::Exception},
    {"EAssertionFailed", C::Exception},
    {"EAbstractError", C::Exception},
    {"EIntfCastError", C::Exception},
    {"ESafecallException", C::Exception},
};

bool InheritsFrom(ExceptionClass descendant, ExceptionClass ancestor) {
  for (;;) {
    if (descendant == ancestor) return true;
    if (descendant == C::TObject) return false;
    descendant = ClassTable[static_cast<std::size_t>(descendant)].parent;
  }
}

void MessageBuffer::Assign(std::string_view text) {
  const FormatArg whole[] = {{text}};
  Fill("%s", whole);
}

namespace {

// A process raises few exceptions, each of which ends it, and makes two at start-up:
// eight slots are more than it ever holds at once.
constexpr std::size_t SlotCount = 8;
constexpr std::size_t SlotSize = sizeof(EExternal);
static_assert(sizeof(EHeapException) <= SlotSize && sizeof(EInOutError) <= SlotSize);

alignas(std::max_align_t) unsigned char Slots[SlotCount][SlotSize];
bool SlotInUse[SlotCount];

}  // namespace

void* TObject::operator new(std::size_t size) {
  for (std::size_t slot = 0; slot < SlotCount && size <= SlotSize; ++slot) {
    if (!SlotInUse[slot]) {
      SlotInUse[slot] = true;
      return Slots[slot];
    }
  }
  return ::operator new(size);
}

void TObject::operator delete(void* object) {
  for (std::size_t slot = 0; slot < SlotCount; ++slot) {
    if (object == Slots[slot]) {
      SlotInUse[slot] = false;
      return;
    }
  }
  ::operator delete(object);
}

void TObject::Release() { delete this; }

void EHeapException::Release() {
  if (MayBeFreed) delete this;
}

Exception* MakeException(ExceptionClass of, std::string_view message) {
  if (InheritsFrom(of, C::EExternal)) return new EExternal(of, message);
  if (InheritsFrom(of, C::EInOutError)) return new EInOutError(of, message);
  if (InheritsFrom(of, C::EHeapException)) return new EHeapException(of, message);
  return new Exception(of, message);
}

}  // namespace dartcirc
