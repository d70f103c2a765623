#include "model/local_time.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

TEST(LocalTimeTest, NoonOfADayReadsBackAsThatDay) {
  Time t = 0;
  ASSERT_TRUE(LocalNoon(29, 2, 2024, &t));
  int d, m, y;
  ASSERT_TRUE(LocalDate(t, &d, &m, &y));
  EXPECT_EQ(d, 29);
  EXPECT_EQ(m, 2);
  EXPECT_EQ(y, 2024);
  // Beyond 2038 too: times are 64-bit.
  ASSERT_TRUE(LocalNoon(1, 1, 2100, &t));
  EXPECT_GT(t, Time{INT32_MAX});
  // Days and months out of range carry over.
  Time carried = 0;
  ASSERT_TRUE(LocalNoon(32, 1, 2026, &carried));
  ASSERT_TRUE(LocalNoon(1, 2, 2026, &t));
  EXPECT_EQ(carried, t);
}

TEST(LocalTimeTest, ExtremeFieldsAreRefusedNotOverflowed) {
  // Any of these, from a hostile store or control file, would overflow the
  // int arithmetic of a naive conversion.
  const int cases[][3] = {
      {1, INT_MIN, 2026},
      {1, INT_MAX, 2026},
      {INT_MIN, 1, 2026},
      {INT_MAX, 1, 2026},
      {1, 1, INT_MIN},
      {1, 1, INT_MAX},
      {1, 1, 100001},
      {1, 1300000, 2026},
      // Within each limit, but carried past the year 100000: the store
      // could write such a date and never read it back.
      {36000000, 1, 2026},
      {1, 1199000, 2026},
  };
  for (const auto& c : cases) {
    Time t = 42;
    EXPECT_FALSE(LocalNoon(c[0], c[1], c[2], &t)) << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(t, 42);
  }
}

// Conversions are kept for the dates seen last: the answers must still
// follow the zone, and a date asked again, after more dates than are kept,
// or after a refusal, must get the same answer as the first time.
TEST(LocalTimeTest, RepeatedDatesFollowTheZone) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows' C runtime reads TZ once, not at each conversion";
#endif
  constexpr Time kUtcNoon = 1767268800;  // 1 January 2026, 12:00 UTC
  Time t = 0;
  {
    testing::ScopedEnv utc("TZ", "UTC0");
    ASSERT_TRUE(LocalNoon(1, 1, 2026, &t));
    EXPECT_EQ(t, kUtcNoon);
  }
  {
    testing::ScopedEnv tokyo("TZ", "JST-9");
    ASSERT_TRUE(LocalNoon(1, 1, 2026, &t));
    EXPECT_EQ(t, kUtcNoon - 9 * 3600);
  }
  testing::ScopedEnv utc("TZ", "UTC0");
  for (int round = 0; round < 3; ++round) {
    for (int day = 1; day <= 20; ++day) {
      ASSERT_TRUE(LocalNoon(day, 1, 2026, &t)) << day;
      EXPECT_EQ(t, kUtcNoon + (day - 1) * kSecondsPerDay) << "day " << day << " round " << round;
      Time refused = 42;
      EXPECT_FALSE(LocalNoon(1, 1, 100001, &refused)) << round;
      EXPECT_EQ(refused, 42);
    }
  }
}

}  // namespace
}  // namespace gantrell
