// Run-time errors and platform exception records turned into exception objects,
// and the whole way of an unhandled one to the report and exit code 1.
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "runtime/console_stream.h"
#include "runtime/error_handling.h"
#include "runtime/message_table.h"
#include "tests/support/cp932.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::Cp932FromUtf8;
using testing::FakePlatformScope;

std::string MessageOf(const TObject* object) {
  return std::string(dynamic_cast<const Exception&>(*object).MessageText.View());
}

TEST(IoErrorException, MessageByCodeAndTheCodeIsTaken) {
  struct Case {
    std::int32_t code;
    const char* utf8Message;
  } cases[] = {
      {2, "ファイルが見つかりません"},          {3, "不正なファイル名です"},
      {4, "オープンしたファイルが多すぎます"},  {5, "ファイルへのアクセスが拒否されました"},
      {100, "ファイルの末尾以降を読み込みました"}, {101, "ディスクがいっぱいです"},
      {106, "入力値が数値ではありません"},      {104, "I/O エラー (104)"},
      {109, "I/O エラー (109)"},                {1784, "I/O エラー (1784)"},
      {-3, "I/O エラー (-3)"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    IoResultCode = c.code;
    EInOutError* made = MakeIoErrorException();
    EXPECT_STREQ(made->ClassName(), "EInOutError");
    EXPECT_EQ(made->IoErrorCode, c.code);
    EXPECT_EQ(MessageOf(made), Cp932FromUtf8(c.utf8Message));
    EXPECT_EQ(IoResultCode, 0);
    delete made;
  }
}

TEST(RuntimeErrorException, EachKindRaisesItsObjectAtThePlace) {
  struct Case {
    std::uint8_t kind;
    const char* className;
    const char* utf8Message;
  } cases[] = {
      {0, "EInOutError", "ファイルが見つかりません"},
      {3, "EDivByZero", "ゼロによる除算"},
      {11, "EAccessViolation", "アドレス %0:p でアドレス %2:p に対する%1:s違反がおきました。"},
      {22, "EExternalException", "外部例外 %x"},
      {24, "ESafecallException", "safecall メソッド内で例外が発生しました。"},
      {25, "EInOutError", "ファイルが見つかりません"},
      {127, "EInOutError", "ファイルが見つかりません"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    IoResultCode = 2;
    try {
      RaiseForRuntimeError(c.kind, 0x1234);
    } catch (const RaisedException& raised) {
      EXPECT_EQ(raised.place, 0x1234u);
      EXPECT_STREQ(raised.object->ClassName(), c.className);
      EXPECT_EQ(MessageOf(raised.object), Cp932FromUtf8(c.utf8Message)) << int(c.kind);
      delete raised.object;
    }
  }
}

TEST(RuntimeErrorException, HeapKindsRaiseThePreMadeInstancesAgainAndAgain) {
  FakePlatformScope scope;
  InstallErrorHandling();
  for (std::uint8_t kind : {KindOutOfMemory, KindOutOfMemory, KindInvalidPointer}) {
    try {
      RaiseForRuntimeError(kind, 0x10);
    } catch (const RaisedException& raised) {
      EXPECT_EQ(raised.object, kind == KindOutOfMemory ? OutOfMemoryInstance : InvalidPointerInstance);
      raised.object->Release();  // handling it does not free it
    }
  }
  EXPECT_STREQ(OutOfMemoryInstance->ClassName(), "EOutOfMemory");
  EXPECT_EQ(MessageOf(OutOfMemoryInstance), Cp932FromUtf8("メモリが足りません"));
  EXPECT_STREQ(InvalidPointerInstance->ClassName(), "EInvalidPointer");
  EXPECT_EQ(MessageOf(InvalidPointerInstance), Cp932FromUtf8("無効なポインタ操作"));
  EXPECT_FALSE(OutOfMemoryInstance->MayBeFreed);
  RemoveErrorHandling();
  EXPECT_EQ(OutOfMemoryInstance, nullptr);
  EXPECT_EQ(RuntimeErrorHook, nullptr);
  EXPECT_EQ(UnhandledExceptionHook, nullptr);
  EXPECT_EQ(OsExceptionTranslator, nullptr);
}

TEST(OsExceptionTranslation, CodesBecomeClassesWithTheirMessages) {
  struct Case {
    std::uint32_t code;
    const char* className;
    const char* utf8Message;
  } cases[] = {
      {0xC000008C, "ERangeError", "範囲チェックエラー"},
      {0xC000008D, "EUnderflow", "浮動小数点数のアンダーフロー"},
      {0xC000008E, "EZeroDivide", "0 による浮動小数点数除算"},
      {0xC000008F, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC0000090, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC0000091, "EOverflow", "浮動小数点数のオーバーフロー"},
      {0xC0000092, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC0000093, "EUnderflow", "浮動小数点数のアンダーフロー"},
      {0xC0000094, "EDivByZero", "ゼロによる除算"},
      {0xC0000095, "EIntOverflow", "整数のオーバーフロー"},
      {0xC0000096, "EPrivilege", "特権命令違反"},
      {0xC00000FD, "EStackOverflow", "スタック オーバーフロー"},
      {0xC000013A, "EControlC", "CTRL-C"},
      {0xC000001D, "EExternalException", "外部例外 C000001D"},
      {0x00000001, "EExternalException", "外部例外 1"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    const OsExceptionRecord record{c.code, 0x10, {0, 0}};
    TObject* made = TranslateOsException(record);
    EXPECT_STREQ(made->ClassName(), c.className);
    EXPECT_EQ(MessageOf(made), Cp932FromUtf8(c.utf8Message)) << std::hex << c.code;
    EXPECT_EQ(dynamic_cast<EExternal&>(*made).OsExceptionRecord, &record);
    delete made;
  }
}

TEST(OsExceptionTranslation, AccessViolationNamesAccessTargetAndModule) {
  const CodePlace inProgram = ModuleBase() + 0x1000;
  char hexProgram[32];
  std::snprintf(hexProgram, sizeof hexProgram, "%08lX", static_cast<unsigned long>(inProgram));
  struct Case {
    CodePlace address;
    std::uintptr_t access;
    std::uintptr_t target;
    std::string utf8Message;
  } cases[] = {
      {inProgram, 0, 0,
       std::string("モジュール 'dartcirc.exe' のアドレス ") + hexProgram +
           " でアドレス 00000000 に対する読み込み違反がおきました。"},
      {inProgram, 1, 0xDEAD,
       std::string("モジュール 'dartcirc.exe' のアドレス ") + hexProgram +
           " でアドレス 0000DEAD に対する書き込み違反がおきました。"},
      {0x20, 8, 0x20, "アドレス 00000020 でアドレス 00000020 に対する書き込み違反がおきました。"},
      {0, 0, 0x123456789A, "アドレス 00000000 でアドレス 123456789A に対する読み込み違反がおきました。"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    scope.fake.moduleFileName = "/opt/dartcirc/dartcirc.exe";
    const OsExceptionRecord record{0xC0000005, c.address, {c.access, c.target}};
    TObject* made = TranslateOsException(record);
    EXPECT_STREQ(made->ClassName(), "EAccessViolation");
    EXPECT_EQ(MessageOf(made), Cp932FromUtf8(c.utf8Message));
    delete made;
  }
}

std::int32_t ExitCodeOfProgram(void (*body)()) {
  return testing::ExitCodeOf([body] { RunUnderTopLevelHandler(body); });
}

std::string SecondLine(const std::string& report) { return report.substr(report.find('\n') + 1); }

TEST(TopLevelReport, ExceptionsThatReachTheTopAreReportedWithExitCodeOne) {
  struct Case {
    void (*body)();
    const char* className;
    const char* utf8SecondLine;
  } cases[] = {
      {[] {
         StartModules();
         throw std::bad_alloc();
       },
       "EOutOfMemory", "メモリが足りません.\r\n"},
      {[] {
         StartModules();
         SignalRuntimeError(KindInvalidPointer, 0x10);
       },
       "EInvalidPointer", "無効なポインタ操作.\r\n"},
      {[] {
         StartModules();
         static const OsExceptionRecord record{0xE0001234, 0x10, {0, 0}};
         TopLevelExceptionHandler(record);
       },
       "EExternalException", "外部例外 E0001234.\r\n"},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    EXPECT_EQ(ExitCodeOfProgram(c.body), 1);
    const std::string output = scope.fake.Output();
    EXPECT_TRUE(output.starts_with(c.className + Cp932FromUtf8("がモジュール dartcirc の "))) << c.className;
    EXPECT_EQ(SecondLine(output), Cp932FromUtf8(c.utf8SecondLine));
    EXPECT_EQ(OutOfMemoryInstance, nullptr);  // released at the end
  }
}

TEST(TopLevelReport, AllocationFailureWithoutErrorHandlingIsRunTimeError203) {
  FakePlatformScope scope;
  EXPECT_EQ(ExitCodeOfProgram([] { throw std::bad_alloc(); }), 203);
  EXPECT_TRUE(scope.fake.Output().starts_with("Runtime error 203 at "));
}

TEST(TopLevelReport, FailureAfterTheErrorHandlingEndedIsReportedByNumber) {
  FakePlatformScope scope;
  EXPECT_EQ(ExitCodeOfProgram([] {
              StartModules();
              StopModules();
              IoResultCode = 105;
              CheckIoResult();
            }),
            105);
  EXPECT_TRUE(scope.fake.Output().starts_with("Runtime error 105 at "));
}

}  // namespace
}  // namespace dartcirc
