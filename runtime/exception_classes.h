// The exception classes: a table of classes by number, each with its name and
// parent, and the five object records that hold the fields the classes add.
// A class without fields of its own uses the record of its nearest ancestor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/message_format.h"
#include "runtime/termination.h"

namespace dartcirc {

enum class ExceptionClass : std::uint8_t {
  TObject,
  Exception,
  EHeapException,
  EOutOfMemory,
  EInvalidPointer,
  EInOutError,
  EExternal,
  EIntError,
  EMathError,
  EAccessViolation,
  EPrivilege,
  EStackOverflow,
  EControlC,
  EExternalException,
  EDivByZero,
  ERangeError,
  EIntOverflow,
  EInvalidOp,
  EZeroDivide,
  EOverflow,
  EUnderflow,
  EInvalidCast,
  EConvertError,
  EVariantError,
  EAssertionFailed,
  EAbstractError,
  EIntfCastError,
  ESafecallException,
};

struct ClassRow {
  const char* name;
  ExceptionClass parent;  // TObject is its own parent
};

inline constexpr std::size_t ClassCount = 28;
extern const ClassRow ClassTable[ClassCount];

bool InheritsFrom(ExceptionClass descendant, ExceptionClass ancestor);

// A message is read only by the exception report, whose whole text is 1,024 bytes,
// so it never needs more room; holding it inside the object keeps making, raising
// and reporting an exception off the heap.
inline constexpr std::uint32_t MessageCapacity = 1024;

struct MessageBuffer {
  std::uint32_t length = 0;
  char bytes[MessageCapacity];

  std::string_view View() const { return {bytes, length}; }
  // Keeps as much of text as fits without splitting a double-byte character.
  void Assign(std::string_view text);
  void Fill(std::string_view pattern, std::span<const FormatArg> args) {
    length = FillTemplate(pattern, args, bytes, MessageCapacity);
  }
};

// Objects live in a small reserve of static slots, so that none of them needs the
// heap while the reserve lasts; only then do they come from the heap.
struct TObject {
  explicit TObject(ExceptionClass of) : classOf(of) {}
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  // Gives the object's memory back.
  virtual void Release();

  const char* ClassName() const { return ClassTable[static_cast<std::size_t>(classOf)].name; }
  bool Is(ExceptionClass ancestor) const { return InheritsFrom(classOf, ancestor); }

  static void* operator new(std::size_t size);
  static void operator delete(void* object);

  ExceptionClass classOf;
};

struct Exception : TObject {
  Exception(ExceptionClass of, std::string_view message) : TObject(of) { MessageText.Assign(message); }

  MessageBuffer MessageText;
};

struct EHeapException : Exception {
  using Exception::Exception;
  // Released only once MayBeFreed is set: the pre-made instances survive handling.
  void Release() override;

  bool MayBeFreed = false;
};

struct EInOutError : Exception {
  using Exception::Exception;

  std::int32_t IoErrorCode = 0;
};

struct EExternal : Exception {
  using Exception::Exception;

  const dartcirc::OsExceptionRecord* OsExceptionRecord = nullptr;
};

// A new object of any class at or below Exception, with its message.
Exception* MakeException(ExceptionClass of, std::string_view message);

}  // namespace dartcirc
