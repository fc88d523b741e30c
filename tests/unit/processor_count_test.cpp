// The processor cap of the control group quotas, read from files laid out as
// /proc and /sys/fs/cgroup are.
#include "platform/processor_count.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace dartcirc {
namespace {

// Lays out a process in group /outer/inner and gives each group the cpu.max text
// given ("" for none).
int LimitWith(const std::string& rootMax, const std::string& outerMax,
              const std::string& innerMax) {
  const std::filesystem::path root = std::filesystem::path(::testing::TempDir()) / "cgroup_root";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "proc/self");
  std::filesystem::create_directories(root / "sys/fs/cgroup/outer/inner");
  std::ofstream(root / "proc/self/cgroup") << "1:name=systemd:/elsewhere\n0::/outer/inner\n";
  const std::pair<std::string, std::string> maxes[] = {
      {"", rootMax}, {"outer/", outerMax}, {"outer/inner/", innerMax}};
  for (const auto& [group, text] : maxes) {
    if (!text.empty()) std::ofstream(root / "sys/fs/cgroup" / (group + "cpu.max")) << text;
  }
  return ControlGroupProcessorLimit(root.string());
}

TEST(ProcessorCount, SmallestQuotaUpTheTreeRoundedUp) {
  EXPECT_EQ(LimitWith("", "", ""), 0);
  EXPECT_EQ(LimitWith("", "max 100000\n", "max 100000\n"), 0);
  EXPECT_EQ(LimitWith("", "max 100000\n", "200000 100000\n"), 2);
  EXPECT_EQ(LimitWith("", "150000 100000\n", "max 100000\n"), 2);
  EXPECT_EQ(LimitWith("", "50000 100000\n", "400000 100000\n"), 1);
  EXPECT_EQ(LimitWith("300000 100000\n", "", "800000 100000\n"), 3);
  EXPECT_EQ(LimitWith("", "", "garbage\n"), 0);
  EXPECT_EQ(ControlGroupProcessorLimit("/nonexistent-root"), 0);
  EXPECT_GE(UsableProcessorCount(), 1);
}

}  // namespace
}  // namespace dartcirc
