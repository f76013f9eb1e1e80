// Lines of the four text files taken apart: sample lines, and the lines that are counted and skipped.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "quicklook/line_parse.h"

namespace skelv::quicklook {
namespace {

// 2021-03-14 00:00:00 UTC: 51 years from 1970 with 13 leap days (1972..2020) give 18628 days to
// 2021-01-01, then 31 + 28 + 13 days: 18700 days = 1615680000 s. 09:26:53 is 34013 s later.
constexpr double kMar14 = 1615680000.0;
constexpr double kNone = -1e9;  // no value in the column
using V = std::vector<double>;

// Each regime's header names its columns; a line is read by them when it has as many fields
// (a later dive start in another regime writes other columns under the same header: depth only).
TEST(LineParse, ReadsTheTdrColumnsOfEachRegimeAndRefusesDamage) {
  constexpr char kRegime1[] = "DATE(UTC)\tDEPTH(m)\tTEMP(C)";
  // Header, line, and the seconds after kMar14, depth, temperature and wet/dry read (none: refused).
  const std::tuple<const char*, const char*, V> rows[] = {
      {kRegime1, "2021/03/14 09:26:53.250\t12.300\t-1.25", {34013.25, 12.3, -1.25, kNone}},
      {"DATE(UTC)\tDEPTH(mm)\tWETDRY", "2021/03/14 00:00:00.000\t0.120\t1", {0, 0.12, kNone, 1}},
      {"DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS",
       "2021/03/14 00:00:00.000\t3.000\t-1.25\t3.00\t-1.0\t0.0\t2.5\t-3\t255", {0, 3, -1.25, 255}},
      {"***Unknown TDR regime 9 ***", "2021/03/14 00:00:00.000\t7.000", {0, 7, kNone, kNone}},
      {kRegime1, "2021/03/14 00:00:00.000\t4.500", {0, 4.5, kNone, kNone}},  // two fields of three
      {kRegime1, "2021/03/14 00:00:00.000\t4.500\t1.00\t2.00", {0, 4.5, kNone, kNone}},
      {kRegime1, "2021/03/14 09:26:60.000\t1.000\t2.00", {34020, 1, 2, kNone}},  // a leap second
      {kRegime1, "0000/00/00 00:00:00.000\t1.000\t2.00", {}},  // a time Skelv can't show
      {kRegime1, "2021/03/14 00:00:00\t1.000\t2.00", {}},      // no milliseconds
      {kRegime1, "2021/03/14 00:00:00.000\t1.5x\t2.00", {}},
      {kRegime1, "2021/03/14 00:00:00.000\tnan\t2.00", {}},
  };
  for (const auto& [header, line, expected] : rows) {
    TdrLine s;
    const bool ok = parse_tdr_line(line, tdr_columns_from_header(header), s);
    const V got{s.t - kMar14, s.depth_m, s.has_temp ? s.temp_c : kNone, s.has_wetdry ? s.wetdry : kNone};
    EXPECT_EQ(ok ? got : V{}, expected) << line;
  }
}

TEST(LineParse, TakesCtdAndAccelerometerFieldsAndRefusesOthers) {
  CtdLine c;
  ASSERT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t-0.20\t0.00\t0.20\t12.345\t38.3000\t35.1234", c));
  EXPECT_EQ((V{c.t - kMar14, c.pressure, c.surface, c.temp_c, c.salinity}),
            (V{2, -0.2, 0.2, 12.345, 35.1234}));
  EXPECT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t-14.0000\t0.4", c));  // 4 more
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t0.3\t0.4\t0.5", c));
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5", c));  // no salinity
  AccLine a;
  ASSERT_TRUE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000\t1.5000", a));
  EXPECT_EQ((V{a.t - kMar14, a.g[0], a.g[1], a.g[2]}), (V{0.75, -16, 0, 1.5}));
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000", a));
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t1\t2\t3\t4", a));
}

// Fields are printed as stored: a month may read 0 or 13; such a snapshot is kept without a
// valid time.
TEST(LineParse, TakesGpsTimesAndEntries) {
  // Line, and whether its time is valid, its entries and its time (none: refused).
  const std::pair<const char*, V> rows[] = {
      {"2021/03/14 09:26:53 2 3 0 12 0123 31 abcd", {1, 2, kMar14 + 34013}},
      {"2021/00/14 09:26:53 0 3 0", {0, 0, 0}},
      {"1900/01/01 00:00:00 0 3 0", {0, 0, 0}},
      {"2021/03/14 09:26:53 2 3 0 12 0123", {}},  // one entry of two
      {"2021/03/14 09:26:53 1 3 0 12 012", {}},
      {"2021/03/14 09:26:53 0 4 0", {}},  // the constant text is " 3 0"
  };
  for (const auto& [line, expected] : rows) {
    GpsLine s;
    const bool ok = parse_gps_line(line, s);
    EXPECT_EQ(ok ? V({double(s.time_valid), double(s.entries), s.t}) : V{}, expected) << line;
  }
}

}  // namespace
}  // namespace skelv::quicklook
