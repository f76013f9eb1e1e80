// The tag's 7-byte time and the date-time text of the output lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "records/time_base.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

class TimeTest : public DecodeTest {
 protected:
  double read(std::vector<std::uint8_t> bytes) {
    attach(bytes);
    double t = -1.0;
    EXPECT_TRUE(read_time(rs->input, t));
    return t;
  }
  static std::string text(double seconds) {
    char buf[kTimeTextSize];
    return format_time(seconds, buf, false);
  }
};

// 2019-03-04 05:06:07 UTC: 17959 days after 1970-01-01 (49 years with 12 leap days = 17897,
// plus 31 + 28 + 3 = 62 days into the year), 17959 * 86400 + 5 * 3600 + 6 * 60 + 7.
constexpr double kT = 1551675967.0;

TEST_F(TimeTest, SevenByteTimeIgnoresItsLastByteAndFieldsOutOfRangeCarry) {
  const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
      {{0x77, 3, 4, 5, 6, 7, 99}, "2019/03/04 05:06:07"},  // 2019 - 1900 = 0x77
      {{0x77, 0, 1, 0, 0, 0, 0}, "2018/12/01 00:00:00"},   // month 0: December before
      {{0x77, 3, 0, 0, 0, 0, 0}, "2019/02/28 00:00:00"},   // day 0: last day of February
      {{0x78, 3, 0, 0, 0, 0, 0}, "2020/02/29 00:00:00"},   // ... of a leap year
      {{0x77, 3, 4, 5, 6, 60, 0}, "2019/03/04 05:07:00"},  // second 60
      {{0x77, 13, 1, 0, 0, 0, 0}, "2020/01/01 00:00:00"},  // month 13
      // Every field at its largest: month 255 is March of 2155 + 21; day 255 is 1 March + 254
      // days = 10 November; 255 h = 10 d 15 h; 255 min = 4 h 15 min; 255 s = 4 min 15 s.
      {{0xFF, 255, 255, 255, 255, 255, 0}, "2176/11/20 19:19:15"},
      {{0x45, 12, 31, 23, 59, 0, 0}, "1969/12/31 23:59:00"},  // before 1970
      {{0x00, 1, 1, 0, 0, 0, 0}, "1900/01/01 00:00:00"},
  };
  for (const auto& [bytes, expected] : cases) {
    fresh();
    EXPECT_EQ(text(read(bytes)), expected);
  }
  // 2004-02-29 12:00: 34 years from 1970 with 8 leap days (1972 to 2000) = 12418 days, then
  // 31 + 28 days into 2004: 12477 * 86400 + 12 * 3600 seconds.
  fresh();
  EXPECT_EQ(read({104, 2, 29, 12, 0, 0, 0}), 1078056000.0);
  // With only 4 bytes left: false, nothing stored, end of input.
  attach({0x77, 3, 4, 5});
  double t = 42.0;
  EXPECT_FALSE(read_time(rs->input, t));
  EXPECT_EQ(t, 42.0);
  EXPECT_TRUE(rs->input.end_of_input);
}

// The haul-out times: whole seconds after rounding to the millisecond.
TEST_F(TimeTest, SecondsTextRoundsToTheMillisecondFirst) {
  const std::pair<double, const char*> cases[] = {
      {kT + 0.9996, "2019/03/04 05:06:08"}, {kT + 0.9994, "2019/03/04 05:06:07"},
      {kT + 52.9996, "2019/03/04 05:07:00"}, {-60.0, "1969/12/31 23:59:00"},
      {-0.25, "1969/12/31 23:59:59"},        {951782400.0, "2000/02/29 00:00:00"},  // leap day of 2000
      // Outside the years 0..9999 (also by rounding), or not finite: zeros.
      {253402300799.9996, "0000/00/00 00:00:00"}, {-62167219201.0, "0000/00/00 00:00:00"},
      {1e300, "0000/00/00 00:00:00"},             {std::numeric_limits<double>::quiet_NaN(), "0000/00/00 00:00:00"},
  };
  for (const auto& [seconds, expected] : cases) EXPECT_EQ(text(seconds), expected) << seconds;
  char buf[kTimeTextSize];
  EXPECT_STREQ(format_time(kT + 0.9994, buf, true), "2019/03/04 05:06:07.999");  // with milliseconds
}

// The cached text of the line writers over a run of times that stays in one second, crosses
// seconds, days, midnight and 1970, leaves the range and comes back.
TEST(CachedTimeText, FollowsEachTimeWhateverCameBefore) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TimeText ms_cache, s_cache;
  std::string ms, s;
  char buf[kTimeTextSize];
  for (double t : {kT, kT + 0.25, kT + 0.9994, kT + 0.9996, kT + 1.5, kT + 86400 * 3 - 0.25, kT + 86400 * 3,
                   kT - 86400, -0.25, 0.0, -86400.5, -1.0004, 253402300799.0, 253402300800.0, -62167219200.0,
                   kT + 3600, nan, kT + 3600.001}) {
    ms.append(buf, put_time_ms(ms_cache, t, buf)).append("|");
  }
  EXPECT_EQ(ms, "2019/03/04 05:06:07.000|2019/03/04 05:06:07.250|2019/03/04 05:06:07.999|2019/03/04 05:06:08.000|"
                "2019/03/04 05:06:08.500|2019/03/07 05:06:06.750|2019/03/07 05:06:07.000|2019/03/03 05:06:07.000|"
                "1969/12/31 23:59:59.750|1970/01/01 00:00:00.000|1969/12/30 23:59:59.500|1969/12/31 23:59:59.000|"
                "9999/12/31 23:59:59.000|0000/00/00 00:00:00.000|0000/01/01 00:00:00.000|2019/03/04 06:06:07.000|"
                "0000/00/00 00:00:00.000|2019/03/04 06:06:07.001|");
  // Seconds one after the other across 09:59:59, 19:59:59, midnight (2019/03/05 is day 17960) and 1970.
  for (std::int64_t start : {17960 * 86400 + 10 * 3600 - 2, 17960 * 86400 + 20 * 3600 - 2, 17961 * 86400 - 2, -2}) {
    for (int i = 0; i < 4; ++i) s.append(buf, put_seconds(s_cache, start + i, buf)).append("|");
  }
  EXPECT_EQ(s, "2019/03/05 09:59:58|2019/03/05 09:59:59|2019/03/05 10:00:00|2019/03/05 10:00:01|"
               "2019/03/05 19:59:58|2019/03/05 19:59:59|2019/03/05 20:00:00|2019/03/05 20:00:01|"
               "2019/03/05 23:59:58|2019/03/05 23:59:59|2019/03/06 00:00:00|2019/03/06 00:00:01|"
               "1969/12/31 23:59:58|1969/12/31 23:59:59|1970/01/01 00:00:00|1970/01/01 00:00:01|");
}

}  // namespace
}  // namespace skelv::test
