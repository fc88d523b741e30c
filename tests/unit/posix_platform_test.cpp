// The POSIX platform under conditions that Linux allows: output converted for a
// UTF-8 terminal, against iconv's conversion; a clock before 1970; processor quotas
// and memory limits of control groups.
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/memory_room.h"
#include "platform/posix/posix_calls.h"
#include "platform/posix/terminal_encoding.h"
#include "platform/processor_count.h"
#include "runtime/random_source.h"
#include "tests/support/cp932.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

// Characters, and bytes that stand for no character (these go out as they are: a
// lead byte before a byte that cannot trail it, a lone lead byte at the end), in
// flushes cut anywhere, even inside a character.
TEST(TerminalEncoding, FlushesCutAnywhereGiveTheConversionOfEachCharacter) {
  const std::string pieces[] = {"a", "\r\n", "\x82\xA0", "\x81\x40", "\xA1", "\\", "\x8A\x6D", "\x88\x9F",
                                "\xFC\x4B", "\x87\x40", "~", "\x80", "\xA0", "\xFD", "\xFF", "\x81 "};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text, expected;
    for (std::size_t count = random() % 300; count > 0; --count) {
      const std::size_t which = random() % 16;  // the last five stand for no character
      text += pieces[which];
      expected += which < 11 ? Utf8FromCp932(pieces[which]) : pieces[which];
    }
    if (round % 3 == 0) text += "\x82", expected += "\x82";  // released when the terminal goes
    TerminalEncoder encoder;
    ASSERT_TRUE(OpenTerminalEncoder(encoder));
    std::string written;
    char out[EncodedStepCapacity];
    for (std::size_t at = 0, size; at < text.size(); at += size) {
      size = std::min<std::size_t>(1 + random() % 128, text.size() - at);
      written.append(out, EncodeForTerminal(encoder, text.data() + at, size, out));
    }
    for (int twice = 0; twice < 2; ++twice) written.append(out, ReleaseLeadByte(encoder, out));
    iconv_close(encoder.converter);
    ASSERT_EQ(written, expected) << round;
  }
}

TEST(ClockSeed, SeedIsTheTimeOfDayForAnyClock) {
  FakePlatformScope scope;
  for (std::int64_t seconds = -4'000'000'007; seconds < 4'000'000'000; seconds += 3'999'991) {
    const auto nanoseconds = static_cast<std::int64_t>(static_cast<std::uint64_t>(seconds) % 1'000'000'000);
    const std::chrono::sys_seconds moment{std::chrono::seconds{seconds}};
    scope.fake.time = TimeOfDayAt(seconds, nanoseconds);
    SeedFromClock();
    ASSERT_EQ(RandomState, (moment - std::chrono::floor<std::chrono::days>(moment)).count() * 1000 + nanoseconds / 1'000'000) << seconds;
  }
}

// A process in group /outer/inner, with the cpu.max texts of the groups from the
// hierarchy's root down ("" for none); then the memory files of its two groups under
// cgroup v2, and of its own under cgroup v1's memory hierarchy.
TEST(ControlGroups, SmallestQuotaRoundedUpAndLeastMemoryRoomUpTheTree) {
  const std::pair<std::array<std::string, 3>, int> cases[] = {
      {{"", "", ""}, 0}, {{"", "max 100000", "50000 100000"}, 1}, {{"300000 100000", "garbage", "800000 100000"}, 3},
      // whole fields of digits only, without overflow
      {{"", "100000 9223372036854775807", ""}, 1}, {{"", "18446744073709551615 1", ""}, 1 << 20},
      {{"", "18446744073709551616 1", ""}, 0}, {{"", "1e9 100000", ""}, 0}, {{"", "50000abc 100000", ""}, 0},
      {{"", "-50000 100000", ""}, 0}, {{"", "+50000 100000", ""}, 0}, {{"", "50000 100000 1", ""}, 0}};
  const auto root = std::filesystem::path(::testing::TempDir()) / ("cgroup_" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "proc/self");
  std::filesystem::create_directories(root / "sys/fs/cgroup/outer/inner");
  std::filesystem::create_directories(root / "sys/fs/cgroup/memory/outer/inner");
  std::ofstream(root / "proc/self/cgroup") << "1:name=systemd:/elsewhere\n5:cpu,memory:/outer/inner\n0::/outer/inner\n";
  for (const auto& [maxes, limit] : cases) {
    const char* groups[] = {"", "outer/", "outer/inner/"};
    for (int i = 0; i < 3; ++i) std::ofstream(root / "sys/fs/cgroup" / groups[i] / "cpu.max") << maxes[i] << "\n";
    EXPECT_EQ(ControlGroupProcessorLimit(root.string()), limit) << maxes[1] << "/" << maxes[2];
  }
  const char* memoryFiles[] = {"outer/memory.max", "outer/memory.current", "outer/inner/memory.max", "outer/inner/memory.current",
                               "memory/outer/inner/memory.limit_in_bytes", "memory/outer/inner/memory.usage_in_bytes"};
  const std::pair<std::array<std::string, 6>, std::uint64_t> rooms[] = {
      {{"", "", "", "", "", ""}, NoMemoryLimit}, {{"1000", "200", "max", "100", "", ""}, 800}, {{"1000", "1200", "", "", "", ""}, 0},
      {{"", "", "1000", "lots", "", ""}, 0} /* usage unknown */, {{"1e9", "5", " 1000", "5", "", ""}, NoMemoryLimit},
      {{"", "", "5000", "100", "4096", "1024"}, 3072}};
  for (const auto& [texts, room] : rooms) {
    for (int i = 0; i < 6; ++i) std::filesystem::remove(root / "sys/fs/cgroup" / memoryFiles[i]);
    for (int i = 0; i < 6; ++i) if (!texts[i].empty()) std::ofstream(root / "sys/fs/cgroup" / memoryFiles[i]) << texts[i];
    EXPECT_EQ(ControlGroupMemoryRoom(root.string()), room) << texts[2] << "/" << texts[3];
  }
  std::filesystem::remove_all(root);
  EXPECT_GE(UsableProcessorCount(), 1);
}

}  // namespace
}  // namespace dartcirc::testing
