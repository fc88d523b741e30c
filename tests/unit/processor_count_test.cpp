// The processor cap of the control group quotas, read from files laid out as
// /proc and /sys/fs/cgroup are.
#include "platform/processor_count.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace dartcirc {
namespace {

// A process in group /outer/inner, with cpu.max texts for the groups from the
// hierarchy's root down ("" for none).
int LimitWith(const std::string (&maxes)[3]) {
  const std::filesystem::path root =
      std::filesystem::path(::testing::TempDir()) / ("cgroup_root_" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "proc/self");
  std::filesystem::create_directories(root / "sys/fs/cgroup/outer/inner");
  std::ofstream(root / "proc/self/cgroup") << "1:name=systemd:/elsewhere\n0::/outer/inner\n";
  const char* groups[] = {"", "outer/", "outer/inner/"};
  for (int i = 0; i < 3; ++i) {
    if (!maxes[i].empty())
      std::ofstream(root / "sys/fs/cgroup" / groups[i] / "cpu.max") << maxes[i];
  }
  const int limit = ControlGroupProcessorLimit(root.string());
  std::filesystem::remove_all(root);
  return limit;
}

TEST(ProcessorCount, SmallestQuotaUpTheTreeRoundedUp) {
  EXPECT_EQ(LimitWith({"", "", ""}), 0);
  EXPECT_EQ(LimitWith({"", "max 100000\n", "max 100000\n"}), 0);
  EXPECT_EQ(LimitWith({"", "max 100000\n", "150000 100000\n"}), 2);
  EXPECT_EQ(LimitWith({"", "50000 100000\n", "400000 100000\n"}), 1);
  EXPECT_EQ(LimitWith({"300000 100000\n", "", "800000 100000\n"}), 3);
  EXPECT_EQ(LimitWith({"", "", "garbage\n"}), 0);
  EXPECT_GE(UsableProcessorCount(), 1);
}

}  // namespace
}  // namespace dartcirc
