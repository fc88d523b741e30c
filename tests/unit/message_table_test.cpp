// The runtime's message bytes against the C library's own conversion to code page
// 932, and the tables that pick a class and a message.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "runtime/message_format.h"
#include "runtime/message_table.h"
#include "tests/support/cp932.h"

namespace dartcirc {
namespace {

using testing::Cp932FromUtf8;

struct ReadableText {
  std::uint16_t identifier;
  const char* utf8;
};

const ReadableText ReadableTexts[] = {
    {65488, "バリアント配列ではありません"},
    {65489, "バリアント配列の範囲を超えています"},
    {65490, "外部例外 %x"},
    {65491, "アサート失敗"},
    {65492, "Interface はサポートされていません"},
    {65493, "safecall メソッド内で例外が発生しました。"},
    {65494, "%s (%s, %d 行)"},
    {65495, "Abstract エラー"},
    {65496, "モジュール '%1:s' のアドレス %0:p でアドレス %3:p に対する%2:s違反がおきました。"},
    {65504, "無効なポインタ操作"},
    {65505, "無効なクラス型キャスト"},
    {65506, "アドレス %0:p でアドレス %2:p に対する%1:s違反がおきました。"},
    {65507, "スタック オーバーフロー"},
    {65508, "CTRL-C"},
    {65509, "特権命令違反"},
    {65510, "%sがモジュール %s の %p で発生しました。\n%s%s"},
    {65511, "アプリケーション エラー"},
    {65512, "書式文字列 '%s' は正しくないか引数の型と一致しません"},
    {65513, "書式文字列 '%s' の引数が見つかりません"},
    {65514, "バリアントの型変換が正しくありません"},
    {65515, "バリアントに対する演算が正しくありません"},
    {65516, "バリアントのメソッド呼び出しは使えません"},
    {65517, "読み込み"},
    {65518, "書き込み"},
    {65519, "バリアント配列を作成できません"},
    {65520, "メモリが足りません"},
    {65521, "I/O エラー (%d)"},
    {65522, "ファイルが見つかりません"},
    {65523, "不正なファイル名です"},
    {65524, "オープンしたファイルが多すぎます"},
    {65525, "ファイルへのアクセスが拒否されました"},
    {65526, "ファイルの末尾以降を読み込みました"},
    {65527, "ディスクがいっぱいです"},
    {65528, "入力値が数値ではありません"},
    {65529, "ゼロによる除算"},
    {65530, "範囲チェックエラー"},
    {65531, "整数のオーバーフロー"},
    {65532, "不正な浮動小数点数演算命令"},
    {65533, "0 による浮動小数点数除算"},
    {65534, "浮動小数点数のオーバーフロー"},
    {65535, "浮動小数点数のアンダーフロー"},
};

TEST(StringTable, EveryTextIsItsCodePage932Bytes) {
  ASSERT_EQ(std::size(ReadableTexts), StringTableSize);
  for (const ReadableText& readable : ReadableTexts) {
    EXPECT_EQ(LoadResourceString(readable.identifier), Cp932FromUtf8(readable.utf8))
        << readable.identifier;
  }
  std::set<std::uint16_t> identifiers;
  for (const StringTableEntry& entry : StringTable) identifiers.insert(entry.identifier);
  EXPECT_EQ(identifiers.size(), StringTableSize);
  EXPECT_EQ(LoadResourceString(65497), "");  // a month name, no message
}

TEST(StringTable, ErrorKindsChooseClassAndMessage) {
  struct Row {
    std::uint8_t kind;
    const char* className;
    std::uint16_t message;
  } rows[] = {
      {3, "EDivByZero", 65529},        {4, "ERangeError", 65530},     {5, "EIntOverflow", 65531},
      {6, "EInvalidOp", 65532},        {7, "EZeroDivide", 65533},     {8, "EOverflow", 65534},
      {9, "EUnderflow", 65535},        {10, "EInvalidCast", 65505},   {11, "EAccessViolation", 65506},
      {12, "EPrivilege", 65509},       {13, "EControlC", 65508},      {14, "EStackOverflow", 65507},
      {15, "EVariantError", 65514},    {16, "EVariantError", 65515},  {17, "EVariantError", 65516},
      {18, "EVariantError", 65519},    {19, "EVariantError", 65488},  {20, "EVariantError", 65489},
      {21, "EAssertionFailed", 65491}, {22, "EExternalException", 65490},
      {23, "EIntfCastError", 65492},   {24, "ESafecallException", 65493},
  };
  ASSERT_EQ(std::size(rows), std::size(ErrorKindClasses));
  for (const Row& row : rows) {
    const TExceptRec& rec = ErrorKindClasses[row.kind - FirstClassKind];
    EXPECT_STREQ(ClassTable[static_cast<std::size_t>(rec.exceptionClass)].name, row.className);
    EXPECT_EQ(rec.message, LoadResourceString(row.message)) << int(row.kind);
  }
}

std::string Fill(std::string_view pattern, std::initializer_list<FormatArg> args,
                 std::uint32_t capacity = 200) {
  char out[200];
  return std::string(out, FillTemplate(pattern, {args.begin(), args.size()}, out, capacity));
}

TEST(FillTemplate, DirectivesInOrderAndByIndex) {
  EXPECT_EQ(Fill("%s|%s|%p", {{"a"}, {"b"}, {{}, 0xABCD}}), "a|b|0000ABCD");
  EXPECT_EQ(Fill("%p", {{{}, 0x55D4C0A01234}}), "55D4C0A01234");  // never cut to 8 digits
  EXPECT_EQ(Fill("at %0:p on %2:p by %1:s", {{{}, 1}, {"read"}, {{}, 2}}),
            "at 00000001 on 00000002 by read");
  EXPECT_EQ(Fill("%1:s%s", {{"a"}, {"b"}, {"c"}}), "bc");  // the count goes on after an index
  EXPECT_EQ(Fill("(%x)", {{{}, 0xC000001D}}), "(C000001D)");
  EXPECT_EQ(Fill("(%d)(%d)", {{{}, 109}, {{}, static_cast<std::uint64_t>(-5)}}), "(109)(-5)");
  EXPECT_EQ(Fill("100% sure, %q, %", {}), "100% sure, %q, %");
  EXPECT_EQ(Fill("%s.%s", {{"only"}}), "only.");
}

TEST(FillTemplate, CutsAtCapacityBetweenCharacters) {
  const std::string twoByte = "\x82\xA0";  // one double-byte character
  EXPECT_EQ(Fill("ab%s", {{twoByte + twoByte}}, 5), "ab" + twoByte);
  EXPECT_EQ(Fill("ab%s", {{twoByte + twoByte}}, 6), "ab" + twoByte + twoByte);
  EXPECT_EQ(Fill("%s", {{"abc"}}, 0), "");
}

}  // namespace
}  // namespace dartcirc
