// Lines of the four text files taken apart: sample lines, and the lines that are counted and skipped.
#include <gtest/gtest.h>

#include <vector>

#include "quicklook/line_parse.h"

namespace skelv::quicklook {
namespace {

// 2021-03-14 00:00:00 UTC: 51 years from 1970 with 13 leap days (1972..2020) give 18628 days to
// 2021-01-01, then 31 + 28 + 13 days: 18700 days = 1615680000 s. 09:26:53 is 34013 s later.
constexpr double kMar14 = 1615680000.0;
constexpr double kNone = -1e9;  // no value in the column

// The rarer forms of line, and the files they belong to (whole TDR files: deployment_test.cpp).
TEST(LineParse, TellsEachKindOfLine) {
  struct Row {
    FileKind kind;
    const char* line;
    LineKind expected;
  };
  const Row rows[] = {
      {FileKind::kTdr, "***Unknown TDR regime 4 ***", LineKind::kHeader},
      {FileKind::kTdr, "1a2f: Illegal stream contents (0)", LineKind::kIllegalStream},
      {FileKind::kTdr, "1a2f: Illegal stream contents (1)", LineKind::kUnparsed},
      {FileKind::kTdr, ": Illegal stream contents (0)", LineKind::kUnparsed},  // no offset
      {FileKind::kTdr, "", LineKind::kUnparsed},
      // HAULOUT and illegal-stream lines belong to the TDR file only.
      {FileKind::kCtd, "HAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59", LineKind::kUnparsed},
      {FileKind::kAcc, "1a2f: Illegal stream contents (0)", LineKind::kUnparsed},
      {FileKind::kGps, "@00000010: ACC OVERFLOW: FATAL", LineKind::kNote},
      {FileKind::kGps, "2021/03/14 09:26:53 0 3 0", LineKind::kData},
  };
  for (const Row& r : rows) EXPECT_EQ(classify_line(r.kind, r.line), r.expected) << r.line;
}

// Each regime's header names its columns; a line is read by them when it has as many fields
// (a later dive start in another regime writes other columns under the same header: depth only).
TEST(LineParse, ReadsTheTdrColumnsOfEachRegimeAndRefusesDamage) {
  constexpr char kRegime1[] = "DATE(UTC)\tDEPTH(m)\tTEMP(C)";
  struct Row {
    const char* header;
    const char* line;
    bool ok;
    double seconds, depth, temp, wetdry;  // seconds after kMar14
  };
  const Row rows[] = {
      {kRegime1, "2021/03/14 09:26:53.250\t12.300\t-1.25", true, 34013.25, 12.3, -1.25, kNone},
      {"DATE(UTC)\tDEPTH(m)", "2021/03/14 00:00:00.000\t4.500", true, 0, 4.5, kNone, kNone},
      {"DATE(UTC)\tDEPTH(m)\tPHOTO0", "2021/03/14 00:00:00.000\t0.000\t    7", true, 0, 0, kNone, kNone},
      {"DATE(UTC)\tDEPTH(mm)\tWETDRY", "2021/03/14 00:00:00.000\t0.120\t1", true, 0, 0.12, kNone, 1},
      {"DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS",
       "2021/03/14 00:00:00.000\t3.000\t-1.25\t3.00\t-1.0\t0.0\t2.5\t-3\t255", true, 0, 3, -1.25, 255},
      {"***Unknown TDR regime 9 ***", "2021/03/14 00:00:00.000\t7.000", true, 0, 7, kNone, kNone},
      {kRegime1, "2021/03/14 00:00:00.000\t4.500", true, 0, 4.5, kNone, kNone},  // two fields of three
      {kRegime1, "2021/03/14 00:00:00.000\t4.500\t1.00\t2.00", true, 0, 4.5, kNone, kNone},
      {kRegime1, "2021/03/14 09:26:60.000\t1.000\t2.00", true, 34020, 1, 2, kNone},  // a leap second
      {kRegime1, "0000/00/00 00:00:00.000\t1.000\t2.00", false, 0, 0, 0, 0},  // a time Skelv can't show
      {kRegime1, "2021/13/14 00:00:00.000\t1.000\t2.00", false, 0, 0, 0, 0},
      {kRegime1, "2021/03/14 24:00:00.000\t1.000\t2.00", false, 0, 0, 0, 0},
      {kRegime1, "2021/03/14 00:00:00\t1.000\t2.00", false, 0, 0, 0, 0},  // no milliseconds
      {kRegime1, "2021/03/14 00:00:00.000", false, 0, 0, 0, 0},           // no depth
      {kRegime1, "2021/03/14 00:00:00.000\t1.5x\t2.00", false, 0, 0, 0, 0},
      {kRegime1, "2021/03/14 00:00:00.000\tnan\t2.00", false, 0, 0, 0, 0},
      {kRegime1, "2021/03/14 00:00:00.000\t+1.5", false, 0, 0, 0, 0},  // never printed
  };
  for (const Row& r : rows) {
    TdrLine s;
    ASSERT_EQ(parse_tdr_line(r.line, tdr_columns_from_header(r.header), s), r.ok) << r.line;
    if (!r.ok) continue;
    EXPECT_DOUBLE_EQ(s.t, kMar14 + r.seconds) << r.line;
    EXPECT_DOUBLE_EQ(s.depth_m, r.depth) << r.line;
    EXPECT_EQ(s.has_temp ? s.temp_c : kNone, r.temp) << r.line;
    EXPECT_EQ(s.has_wetdry ? s.wetdry : kNone, r.wetdry) << r.line;
  }
}

TEST(LineParse, TakesCtdAndAccelerometerFieldsAndRefusesOthers) {
  CtdLine c;
  ASSERT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t-0.20\t0.00\t0.20\t12.345\t38.3000\t35.1234", c));
  EXPECT_EQ((std::vector<double>{c.t - kMar14, c.pressure, c.surface, c.temp_c, c.salinity}),
            (std::vector<double>{2, -0.2, 0.2, 12.345, 35.1234}));
  EXPECT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t-14.0000\t0.4", c));  // 4 more
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t0.3\t0.4\t0.5", c));
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5", c));  // no salinity
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02.000\t1\t2\t3\t4\t5\t6", c));
  AccLine a;
  ASSERT_TRUE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000\t1.5000", a));
  EXPECT_EQ((std::vector<double>{a.t - kMar14, a.g[0], a.g[1], a.g[2]}), (std::vector<double>{0.75, -16, 0, 1.5}));
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000", a));
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t1\t2\t3\t4", a));
}

// Fields are printed as stored: a month may read 0 or 13, a day 255; such a snapshot is kept
// without a valid time.
TEST(LineParse, TakesGpsTimesAndEntries) {
  struct Row {
    const char* line;
    bool ok, time_valid;
    int entries;
  };
  const Row rows[] = {
      {"2021/03/14 09:26:53 2 3 0 12 0123 31 abcd", true, true, 2},
      {"2021/03/14 09:26:53 0 3 0", true, true, 0},
      {"2021/00/14 09:26:53 0 3 0", true, false, 0},
      {"2021/03/255 09:26:53 0 3 0", true, false, 0},
      {"1900/01/01 00:00:00 0 3 0", true, false, 0},
      {"2021/03/14 09:26:53 2 3 0 12 0123", false, false, 0},  // one entry of two
      {"2021/03/14 09:26:53 1 3 0 12 0123 31 abcd", false, false, 0},
      {"2021/03/14 09:26:53 1 3 0 12 012", false, false, 0},
      {"2021/03/14 09:26:53 0 4 0", false, false, 0},  // the constant text is " 3 0"
      {"2021/03/14 09:26:53 0 3 0 ", false, false, 0},
  };
  for (const Row& r : rows) {
    GpsLine s;
    ASSERT_EQ(parse_gps_line(r.line, s), r.ok) << r.line;
    if (!r.ok) continue;
    EXPECT_EQ(s.time_valid, r.time_valid) << r.line;
    EXPECT_EQ(s.entries, r.entries) << r.line;
    EXPECT_DOUBLE_EQ(s.t, r.time_valid ? kMar14 + 34013 : 0) << r.line;
  }
}

}  // namespace
}  // namespace skelv::quicklook
