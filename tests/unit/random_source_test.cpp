#include <gtest/gtest.h>

#include "runtime/random_source.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

TEST(RandomSource, SixDrawsFromZero) {
  const struct {
    std::uint32_t state;
    std::int32_t result;
  } expected[] = {{1, 0},           {134775814, 31},  {3698175007u, 861},
                  {870078620, 202}, {1172187917, 272}, {2884733762u, 671}};
  RandomState = 0;
  for (const auto& draw : expected) {
    EXPECT_EQ(DrawBelow(1000), draw.result);
    EXPECT_EQ(RandomState, draw.state);
  }
}

// Bounds 0 and 1 give 0 and still advance the state.
TEST(RandomSource, FortyThousandDrawsWhateverTheBounds) {
  for (std::int32_t bound : {0, 1, 1000, -7, 2147483647}) {
    RandomState = 0;
    for (int i = 0; i < 40000; ++i) {
      const std::int32_t drawn = DrawBelow(bound);
      if (bound == 0 || bound == 1) {
        ASSERT_EQ(drawn, 0);
      }
    }
    EXPECT_EQ(RandomState, 1347873728u) << bound;
  }
}

TEST(RandomSource, ResultStaysBelowTheBound) {
  for (std::int32_t bound : {2, 3, 1000, 46341, 2147483647}) {
    RandomState = 0xFFFFFFFFu / RandomMultiplier;  // a state whose successor is near 2^32
    for (int i = 0; i < 100000; ++i) {
      const std::int32_t drawn = DrawBelow(bound);
      ASSERT_GE(drawn, 0);
      ASSERT_LT(drawn, bound);
    }
  }
}

TEST(RandomSource, SeedIsMillisecondsSinceMidnightUtc) {
  const struct {
    SystemTime time;
    std::uint32_t seed;
  } cases[] = {{{12, 34, 56, 789}, 45296789}, {{0, 0, 0, 0}, 0}, {{23, 59, 59, 999}, 86399999}};
  for (const auto& c : cases) {
    testing::FakePlatformScope scope;
    scope.fake.time = c.time;
    SeedFromClock();
    EXPECT_EQ(RandomState, c.seed);
  }
  RandomState = 45296789;
  for (std::int32_t expected : {488, 270, 355, 23}) EXPECT_EQ(DrawBelow(1000), expected);
}

}  // namespace
}  // namespace dartcirc
