// Axis ticks: 1-2-5 steps for values, calendar steps and date labels for times, and durations.
#include "quicklook/axis.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace skelv::quicklook {
namespace {

// The tick labels, with a date under a tick as "label/date".
std::string labels(const Ticks& t) {
  std::string text;
  for (int i = 0; i < t.count; ++i) {
    const Tick& k = t.ticks[static_cast<std::size_t>(i)];
    text += std::string(i ? " " : "") + k.label + (k.date[0] ? std::string("/") + k.date : "");
  }
  return text;
}

TEST(Axis, ValueTicksStepBy1Or2Or5TimesAPowerOfTenOverWholeSteps) {
  // Range and target: 7.3 / 5 = 1.46 gives 2; 0.054 / 5 = 0.0108 gives 0.02; 450 / 5 = 90 gives
  // 100; an empty range is widened by 1 each way (0.4: 0.5); absurd values are clamped to
  // 1e150 so that the step stays finite.
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(labels(value_ticks(0, 7.3, 5)), "0 2 4 6 8");
  EXPECT_EQ(labels(value_ticks(-0.013, 0.041, 5)), "-0.02 0.00 0.02 0.04 0.06");
  EXPECT_EQ(labels(value_ticks(0, 450, 5)), "0 100 200 300 400 500");
  EXPECT_EQ(labels(value_ticks(nan, 3, 5)), "-1.0 -0.5 0.0 0.5 1.0");
  const Ticks huge = value_ticks(-1e300, 1e300, 4);
  EXPECT_EQ((std::vector<double>{huge.lo, huge.hi, huge.step, double(huge.count)}),
            (std::vector<double>{-1e150, 1e150, 5e149, 5}));
}

TEST(Axis, TimeTicksFallOnRoundTimesWithTheDateWhereTheDayChanges) {
  const double mar14 = 1615680000.0;  // 2021-03-14 00:00:00 UTC
  // 22:00 to 02:00 next day, at most 5 ticks: hourly, the date under the first and at midnight.
  EXPECT_EQ(labels(time_ticks(mar14 + 22 * 3600, mar14 + 26 * 3600, 5)),
            "22:00/2021-03-14 23:00 00:00/2021-03-15 01:00 02:00");
  // 15 January to 20 June 2021, at most 6 ticks: 156 days are 5.1 months of 30.4375 days.
  EXPECT_EQ(labels(time_ticks(mar14 - 58 * 86400, mar14 + 98 * 86400, 6)), "2021-02 2021-03 2021-04 2021-05 2021-06");
  // Three years, at most 2 ticks: every 2 years on 1 January.
  EXPECT_EQ(labels(time_ticks(mar14, mar14 + 3 * 365.25 * 86400, 2)), "2022 2024");
}

TEST(Axis, DurationsInClockTimeWithDays) {
  // One format for every duration: 12.5 s rounds half away from zero.
  const std::pair<double, const char*> rows[] = {{12.5, "00:00:13"}, {46, "00:00:46"}, {70, "00:01:10"},
                                                 {14706, "04:05:06"}, {273906, "3 d 04:05:06"}, {-5, "00:00:00"},
                                                 {std::numeric_limits<double>::quiet_NaN(), "00:00:00"}};
  for (const auto& [seconds, text] : rows) {
    char out[32];
    format_duration(seconds, out);
    EXPECT_STREQ(out, text) << seconds;
  }
}

}  // namespace
}  // namespace skelv::quicklook
