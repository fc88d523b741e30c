// The platform under conditions that Linux allows: output converted for a UTF-8
// terminal, against iconv's conversion of the whole text; any program name; a
// clock before 1970.
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/terminal_encoding.h"
#include "runtime/command_line.h"
#include "runtime/random_source.h"
#include "tests/support/cp932.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

// What the terminal receives: one write per flush, and at the end the released byte.
std::vector<std::string> Encode(const std::vector<std::string>& flushes) {
  TerminalEncoder encoder;
  EXPECT_TRUE(OpenTerminalEncoder(encoder));
  std::vector<std::string> writes;
  char out[EncodedStepCapacity];
  for (const std::string& flush : flushes) {
    writes.emplace_back(out, EncodeForTerminal(encoder, flush.data(), flush.size(), out));
  }
  writes.emplace_back(out, ReleaseLeadByte(encoder, out));
  iconv_close(encoder.converter);
  return writes;
}

TEST(TerminalEncoding, FlushesCutAnywhereGiveTheConversionOfTheWholeText) {
  const std::string characters[] = {"a", "\r\n", "\x82\xA0", "\x81\x40", "\xA1", "\\",
                                    "\x8A\x6D", "\x88\x9F", "\xFC\x4B", "\x87\x40", "~"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (std::size_t count = random() % 300; count > 0; --count) text += characters[random() % 11];
    std::vector<std::string> flushes;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t size = 1 + random() % 128;
      flushes.push_back(text.substr(at, size));
      at += size;
    }
    const std::vector<std::string> writes = Encode(flushes);
    std::string joined;
    for (const std::string& write : writes) joined += write;
    ASSERT_EQ(joined, Utf8FromCp932(text)) << round;
    ASSERT_EQ(writes.size(), flushes.size() + 1);
    ASSERT_EQ(writes.back(), "");  // nothing is held after whole characters
  }
}

TEST(TerminalEncoding, BytesThatStandForNoCharacterGoOutAsTheyAre) {
  const std::vector<std::string> cases[][2] = {
      {{"\x8A", "\x6D"}, {"", "確", ""}},  // a character split by a flush
      {{"a\x80" "b\xA0\xFD\xFF"}, {"a\x80" "b\xA0\xFD\xFF", ""}},
      {{"\x81 x"}, {"\x81 x", ""}},  // a lead byte before a byte that cannot trail it
      {{"x\x82", " "}, {"x", "\x82 ", ""}},
      {{"\x82\xA0\x82"}, {"あ", "\x82"}},  // a lone lead byte at the end
  };
  for (const auto& c : cases) EXPECT_EQ(Encode(c[0]), c[1]) << c[0][0];
}

TEST(CommandLineJoin, AnyProgramNameStaysOneArgument) {
  for (const char* name : {"/tmp/a\"b/dartcirc", "\"", "", "\"\"", "a b\x81", "\x81"}) {
    const char* const argv[] = {name, "1000", "2 0"};
    FakePlatformScope scope;
    scope.fake.commandLine = JoinCommandLine(3, argv);
    EXPECT_EQ(ArgumentCount(), 2) << scope.fake.commandLine;
    EXPECT_EQ(ArgumentText(2), "2 0");
  }
}

TEST(ClockSeed, SeedIsTheTimeOfDayForAnyClock) {
  FakePlatformScope scope;
  std::mt19937_64 random(11);
  for (int round = 0; round < 20000; ++round) {
    const auto seconds = static_cast<std::int64_t>(random() % 8'000'000'000) - 4'000'000'000;
    const auto nanoseconds = static_cast<std::int64_t>(random() % 1'000'000'000);
    scope.fake.time = TimeOfDayAt(seconds, nanoseconds);
    SeedFromClock();
    const std::chrono::sys_seconds moment{std::chrono::seconds{seconds}};
    const auto sinceMidnight = moment - std::chrono::floor<std::chrono::days>(moment);
    ASSERT_EQ(RandomState, sinceMidnight.count() * 1000 + nanoseconds / 1'000'000) << seconds;
  }
}

}  // namespace
}  // namespace dartcirc::testing
