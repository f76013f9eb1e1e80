// Axis ticks: round values, calendar steps in UTC, and their labels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quicklook/axis.h"
#include "records/time_base.h"

namespace skelv::quicklook {
namespace {

constexpr double kMar14 = 1615680000.0;  // 2021-03-14 00:00:00 UTC

std::vector<std::string> labels(const Ticks& t) {
  std::vector<std::string> out;
  for (int i = 0; i < t.count; ++i) {
    std::string s = t.ticks[static_cast<std::size_t>(i)].label;
    if (t.ticks[static_cast<std::size_t>(i)].date[0] != '\0') s += std::string(" / ") + t.ticks[static_cast<std::size_t>(i)].date;
    out.push_back(s);
  }
  return out;
}

using Labels = std::vector<std::string>;

TEST(ValueTicks, StepOneTwoOrFiveTimesAPowerOfTen) {
  // 480.1 / 5 = 96: steps of 10, 20, 50 are too small, 100 fits; the range widens to 500.
  Ticks t = value_ticks(0, 480.1, 5);
  EXPECT_EQ(t.step, 100);
  EXPECT_EQ(t.hi, 500);
  EXPECT_EQ(labels(t), (Labels{"0", "100", "200", "300", "400", "500"}));
  // 0.92 / 5 = 0.184: step 0.2, from 33.8 up to 34.8.
  t = value_ticks(33.8, 34.72, 5);
  EXPECT_EQ(labels(t), (Labels{"33.8", "34.0", "34.2", "34.4", "34.6", "34.8"}));
  // Negative values: -1.3 .. 0.4, 1.7 / 5 = 0.34: step 0.5.
  t = value_ticks(-1.3, 0.4, 5);
  EXPECT_EQ(labels(t), (Labels{"-1.5", "-1.0", "-0.5", "0.0", "0.5"}));
}

TEST(ValueTicks, WidenAnEmptyRange) {
  // A single value 5 becomes 4 .. 6; 2 / 5 = 0.4 gives steps of 0.5.
  EXPECT_EQ(labels(value_ticks(5, 5, 5)), (Labels{"4.0", "4.5", "5.0", "5.5", "6.0"}));
}

TEST(ValueTicks, StayFiniteForAbsurdValues) {
  const Ticks t = value_ticks(-1e308, 1e308, 5);
  EXPECT_TRUE(std::isfinite(t.lo) && std::isfinite(t.hi) && t.hi > t.lo);
  EXPECT_GT(t.count, 1);
}

TEST(TimeTicks, TimesOfDayCarryTheDateWhereTheDayChanges) {
  // 2021-03-14 06:00:00 to 2021-03-17 06:18:40 (260320 s): 6-hour steps give 12 ticks, more than
  // 9; 12-hour steps give 6, from 12:00 on the 14th.
  const Ticks t = time_ticks(kMar14 + 6 * 3600, kMar14 + 3 * 86400 + 6 * 3600 + 1120, 9);
  EXPECT_EQ(t.step, 43200);
  EXPECT_EQ(labels(t), (Labels{"12:00 / 2021-03-14", "00:00 / 2021-03-15", "12:00", "00:00 / 2021-03-16",
                               "12:00", "00:00 / 2021-03-17"}));
}

TEST(TimeTicks, FractionsOfASecondForAShortBurst) {
  // 0.9 s widens to 1 s around its middle: X+0.15 .. X+1.15; steps of 0.2 s.
  const Ticks t = time_ticks(kMar14 + 0.2, kMar14 + 1.1, 9);
  EXPECT_EQ(labels(t), (Labels{"00:00:00.2 / 2021-03-14", "00:00:00.4", "00:00:00.6", "00:00:00.8",
                               "00:00:01.0"}));
}

TEST(TimeTicks, MonthsAndYearsStartOnTheFirst) {
  // 2021-01-15 .. 2021-12-20, 339 days: monthly ticks would be 11, two-monthly fit.
  const double jan15 = static_cast<double>(civil_to_seconds(2021, 1, 15, 0, 0, 0));
  const double dec20 = static_cast<double>(civil_to_seconds(2021, 12, 20, 0, 0, 0));
  EXPECT_EQ(labels(time_ticks(jan15, dec20, 9)), (Labels{"2021-03", "2021-05", "2021-07", "2021-09", "2021-11"}));
  // 1990-06-01 .. 2021-03-14, 31 years: every 5 years from 1995.
  const double jun1990 = static_cast<double>(civil_to_seconds(1990, 6, 1, 0, 0, 0));
  EXPECT_EQ(labels(time_ticks(jun1990, kMar14, 9)), (Labels{"1995", "2000", "2005", "2010", "2015", "2020"}));
}

TEST(FormatDuration, SecondsHoursAndDays) {
  char text[32];
  format_duration(12.5, text);
  EXPECT_STREQ(text, "12.5 s");
  format_duration(3723, text);
  EXPECT_STREQ(text, "01:02:03");
  format_duration(260320, text);  // 3 days and 1120 s
  EXPECT_STREQ(text, "3 d 00:18:40");
  format_utc(kMar14 + 34013.9, text);
  EXPECT_STREQ(text, "2021-03-14 09:26:53");
}

}  // namespace
}  // namespace skelv::quicklook
