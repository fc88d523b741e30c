// The program's texts are the code page 932 bytes of their readable forms.
#include <string>

#include <gtest/gtest.h>

#include "estimator/program_texts.h"
#include "tests/support/cp932.h"

namespace dartcirc {
namespace {

TEST(ProgramTexts, AreTheCodePage932BytesOfTheirReadableForms) {
  const struct {
    std::string_view bytes;
    const char* utf8;
  } texts[] = {
      {BannerLine1, "確率で円周率を求める"},
      {BannerLine2, "2004/11/6 Ver.1.00"},
      {UsageLine1, "使用法"},
      {UsageLine2, "　dartcirc <半径> <試行回数>"},
      {UsageLine3, "　[例] dartcirc 1000 1000000"},
      {ErrorPrefix, "ERR: "},
      {RadiusErrorText, "半径の設定"},
      {TrialCountErrorText, "試行回数の設定"},
      {RadiusPrompt, "Random Range:"},
      {TrialCountPrompt, "Max count:"},
  };
  for (const auto& text : texts) {
    EXPECT_EQ(text.bytes, testing::Cp932FromUtf8(text.utf8)) << text.utf8;
  }
}

TEST(ProgramTexts, CreditLineIsPrintableAscii) {
  ASSERT_FALSE(BannerLine3.empty());
  for (char byte : BannerLine3) EXPECT_TRUE(byte >= 0x20 && byte < 0x7F);
}

}  // namespace
}  // namespace dartcirc
