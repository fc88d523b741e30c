// The runtime's messages by string-table identifier, as code page 932 bytes, and
// the tables that choose a message and a class for an error.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/exception_classes.h"

namespace dartcirc {

struct StringTableEntry {
  std::uint16_t identifier;
  std::string_view text;
};

inline constexpr std::size_t StringTableSize = 41;
extern const StringTableEntry StringTable[StringTableSize];

// The text under identifier, empty when there is none.
std::string_view LoadResourceString(std::uint16_t identifier);

// Identifiers the runtime loads by name.
inline constexpr std::uint16_t MessageExternalException = 65490;     // "外部例外 %x"
inline constexpr std::uint16_t MessageModuleAccessViolation = 65496;
inline constexpr std::uint16_t MessageInvalidPointer = 65504;
inline constexpr std::uint16_t MessageAccessViolation = 65506;
inline constexpr std::uint16_t MessageExceptionReport = 65510;
inline constexpr std::uint16_t MessageReadAccess = 65517;
inline constexpr std::uint16_t MessageWriteAccess = 65518;
inline constexpr std::uint16_t MessageOutOfMemory = 65520;
inline constexpr std::uint16_t MessageIoError = 65521;               // "I/O エラー (%d)"

// The class and message of each error kind from 3 to 24.
struct TExceptRec {
  ExceptionClass exceptionClass;
  std::string_view message;
};

inline constexpr std::uint8_t FirstClassKind = 3;
inline constexpr std::uint8_t LastClassKind = 24;
inline constexpr std::uint8_t KindAccessViolation = 11;
inline constexpr std::uint8_t KindExternalException = 22;
extern const TExceptRec ErrorKindClasses[LastClassKind - FirstClassKind + 1];

// The input/output codes with a message of their own, searched in order.
struct TErrorRec {
  std::int32_t code;
  std::string_view message;
};

extern const TErrorRec IoErrorMessages[7];

// The error kind of a platform exception code; 22 when the code is unlisted.
std::uint8_t KindForOsException(std::uint32_t code);

}  // namespace dartcirc
