// Lines of the four text files, taken apart: sample lines, and the lines that are counted and skipped.
#include <gtest/gtest.h>

#include <string>

#include "quicklook/line_parse.h"

namespace skelv::quicklook {
namespace {

// 2021-03-14 00:00:00 UTC: 51 years from 1970 with 13 leap days (1972..2020) give 18628 days to
// 2021-01-01, then 31 + 28 + 13 days: 18700 days = 1615680000 s.
constexpr double kMar14 = 1615680000.0;
// 2019-03-04 00:00:00 UTC: 49 years with 12 leap days = 17897 days, then 31 + 28 + 3: 17959 days.
constexpr double kMar4of2019 = 17959.0 * 86400;

TEST(ParseTimestamp, ReadsDateAndTimeWithOrWithoutMilliseconds) {
  double t = 0;
  // 09:26:53 = 34013 s after midnight.
  EXPECT_EQ(parse_timestamp("2021/03/14 09:26:53.250\t1.000", true, t), 23u);
  EXPECT_DOUBLE_EQ(t, kMar14 + 34013.25);
  EXPECT_EQ(parse_timestamp("2021/03/14 09:26:53\t0.00", false, t), 19u);
  EXPECT_DOUBLE_EQ(t, kMar14 + 34013);
  // A leap second as strftime may print it is the first second of the next minute.
  EXPECT_EQ(parse_timestamp("2021/03/14 09:26:60", false, t), 19u);
  EXPECT_DOUBLE_EQ(t, kMar14 + 34020);
}

TEST(ParseTimestamp, RefusesWhatIsNoDate) {
  double t = 0;
  for (const char* text : {
           "0000/00/00 00:00:00.000",  // Skelv's text for a time it can't show
           "2021/13/14 09:26:53.000",  // month 13
           "2021/03/00 09:26:53.000",  // day 0
           "2021/03/14 24:00:00.000",  // hour 24
           "2021-03-14 09:26:53.000",  // wrong separators
           "2021/03/14 09:26:53",      // milliseconds missing
           "2021/03/14 09:26:5",       // cut short
           "2021/03/14 09:26:53.0x0",
       }) {
    EXPECT_EQ(parse_timestamp(text, true, t), 0u) << text;
  }
}

TEST(ClassifyLine, TellsEachKindOfLine) {
  struct Row {
    FileKind kind;
    const char* line;
    LineKind expected;
  };
  const Row rows[] = {
      {FileKind::kTdr, "2021/03/14 09:00:00.000\t1.500", LineKind::kData},
      {FileKind::kTdr, "DATE(UTC)\tDEPTH(m)", LineKind::kHeader},
      {FileKind::kTdr, "***Unknown TDR regime 4 ***", LineKind::kHeader},
      {FileKind::kTdr, "HAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59", LineKind::kHaulout},
      {FileKind::kTdr, "@0001A2F0: ACC OVERFLOW: WARNING", LineKind::kNote},
      {FileKind::kTdr, "1a2f: Illegal stream contents (0)", LineKind::kIllegalStream},
      {FileKind::kTdr, "1a2f: Illegal stream contents (1)", LineKind::kUnparsed},
      {FileKind::kTdr, ": Illegal stream contents (0)", LineKind::kUnparsed},  // no offset
      {FileKind::kTdr, "", LineKind::kUnparsed},
      {FileKind::kTdr, "garbage", LineKind::kUnparsed},
      // HAULOUT and illegal-stream lines belong to the TDR file only.
      {FileKind::kCtd, "HAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59", LineKind::kUnparsed},
      {FileKind::kAcc, "1a2f: Illegal stream contents (0)", LineKind::kUnparsed},
      {FileKind::kCtd, "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)", LineKind::kHeader},
      {FileKind::kAcc, "DATE(UTC)\tX\tY\tZ", LineKind::kHeader},
      {FileKind::kGps, "@00000010: ACC OVERFLOW: FATAL", LineKind::kNote},
      {FileKind::kGps, "2021/03/14 09:26:53 0 3 0", LineKind::kData},
  };
  for (const Row& r : rows) EXPECT_EQ(classify_line(r.kind, r.line), r.expected) << r.line;
}

TEST(ParseNote, TakesOffsetAndText) {
  std::uint64_t offset = 0;
  std::string_view text;
  ASSERT_TRUE(parse_note("@0001A2F0: ACC OVERFLOW: WARNING", offset, text));
  EXPECT_EQ(offset, 0x1A2F0u);
  EXPECT_EQ(text, "ACC OVERFLOW: WARNING");
  ASSERT_TRUE(parse_note("@ffffffff: ", offset, text));
  EXPECT_EQ(offset, 0xFFFFFFFFu);
  EXPECT_EQ(text, "");
  EXPECT_FALSE(parse_note("@1A2F0: short offset", offset, text));
  EXPECT_FALSE(parse_note("@0001A2G0: not hexadecimal", offset, text));
  EXPECT_FALSE(parse_note("@0001A2F0 no colon", offset, text));
}

TEST(TdrColumns, FollowTheHeaderOfEachRegime) {
  struct Row {
    const char* header;
    int fields, temp, wetdry;
  };
  const Row rows[] = {
      {"DATE(UTC)\tDEPTH(m)\tTEMP(C)", 3, 2, -1},                  // regime 1
      {"DATE(UTC)\tDEPTH(m)", 2, -1, -1},                          // regime 2
      {"DATE(UTC)\tDEPTH(m)\tPHOTO0\tPHOTO1", 4, -1, -1},          // regime 3, two channels
      {"DATE(UTC)\tDEPTH(cm)", 2, -1, -1},                         // regime 5
      {"DATE(UTC)\tDEPTH(m)\tWETDRY", 3, -1, 2},                   // regime 6
      {"DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS",
       9, 2, 8},                                                   // regime 7
      {"DATE(UTC)\tDEPTH(mm)\tWETDRY", 3, -1, 2},                  // regime 8
      {"***Unknown TDR regime 9 ***", 2, -1, -1},
  };
  for (const Row& r : rows) {
    const TdrColumns c = tdr_columns_from_header(r.header);
    EXPECT_EQ(c.fields, r.fields) << r.header;
    EXPECT_EQ(c.temp, r.temp) << r.header;
    EXPECT_EQ(c.wetdry, r.wetdry) << r.header;
  }
}

TEST(ParseTdrLine, TakesTheColumnsTheHeaderNames) {
  const TdrColumns regime7 = tdr_columns_from_header(
      "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS");
  TdrLine s;
  ASSERT_TRUE(parse_tdr_line("2021/03/14 00:00:01.500\t12.300\t-1.25\t3.00\t-1.0\t0.0\t2.5\t-3\t255", regime7, s));
  EXPECT_DOUBLE_EQ(s.t, kMar14 + 1.5);
  EXPECT_DOUBLE_EQ(s.depth_m, 12.3);
  EXPECT_TRUE(s.has_temp);
  EXPECT_DOUBLE_EQ(s.temp_c, -1.25);
  EXPECT_TRUE(s.has_wetdry);
  EXPECT_DOUBLE_EQ(s.wetdry, 255);

  // Regime 3 photo values are right-aligned with blanks; they are not read, the depth is.
  const TdrColumns regime3 = tdr_columns_from_header("DATE(UTC)\tDEPTH(m)\tPHOTO0");
  ASSERT_TRUE(parse_tdr_line("2021/03/14 00:00:00.000\t0.000\t    7", regime3, s));
  EXPECT_DOUBLE_EQ(s.depth_m, 0.0);
  EXPECT_FALSE(s.has_temp);
  EXPECT_FALSE(s.has_wetdry);
}

TEST(ParseTdrLine, ReadsOnlyTheDepthWhenTheColumnsDifferFromTheHeader) {
  // A later dive start in regime 2 writes two fields under the regime 1 header.
  const TdrColumns regime1 = tdr_columns_from_header("DATE(UTC)\tDEPTH(m)\tTEMP(C)");
  TdrLine s;
  ASSERT_TRUE(parse_tdr_line("2021/03/14 00:00:00.000\t4.500", regime1, s));
  EXPECT_DOUBLE_EQ(s.depth_m, 4.5);
  EXPECT_FALSE(s.has_temp);
  // Four fields under a three-field header: the depth alone again.
  ASSERT_TRUE(parse_tdr_line("2021/03/14 00:00:00.000\t4.500\t1.00\t2.00", regime1, s));
  EXPECT_FALSE(s.has_temp);
}

TEST(ParseTdrLine, RefusesDamagedLines) {
  const TdrColumns regime1 = tdr_columns_from_header("DATE(UTC)\tDEPTH(m)\tTEMP(C)");
  TdrLine s;
  for (const char* line : {
           "2021/03/14 00:00:00.000",            // no depth
           "2021/03/14 00:00:00.000\t",          // empty depth
           "2021/03/14 00:00:00.000\t1.5x\t2.00", // trailing text
           "2021/03/14 00:00:00.000\tnan\t2.00",  // not finite
           "2021/03/14 00:00:00.000 \t1.5",       // blank after the time
           "2021/03/14 00:00:00\t1.500\t2.00",    // no milliseconds
           "2021/03/14 00:00:00.000\t+1.5",       // Skelv never prints a plus sign
       }) {
    EXPECT_FALSE(parse_tdr_line(line, regime1, s)) << line;
  }
}

TEST(ParseHauloutLine, TakesStartAndEnd) {
  double start = 0, end = 0;
  ASSERT_TRUE(parse_haulout_line("HAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59", start, end));
  EXPECT_DOUBLE_EQ(start, kMar14 + 11 * 3600 + 59 * 60 + 2);
  EXPECT_DOUBLE_EQ(end, kMar14 + 12 * 3600 + 59 * 60 + 59);
  EXPECT_FALSE(parse_haulout_line("HAULOUT: 2021/03/14 11:59:02", start, end));
  EXPECT_FALSE(parse_haulout_line("HAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59 x", start, end));
  EXPECT_FALSE(parse_haulout_line("HAULOUT: 2021/03/14 11:59:02\t2021/03/14 12:59:59", start, end));
}

TEST(ParseCtdLine, TakesPressureSurfaceTemperatureAndSalinity) {
  CtdLine s;
  ASSERT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t-0.20\t0.00\t0.20\t12.345\t38.3000\t35.1234", s));
  EXPECT_DOUBLE_EQ(s.t, kMar14 + 2);
  EXPECT_DOUBLE_EQ(s.pressure, -0.2);
  EXPECT_DOUBLE_EQ(s.surface, 0.2);
  EXPECT_DOUBLE_EQ(s.temp_c, 12.345);
  EXPECT_DOUBLE_EQ(s.salinity, 35.1234);
  // Up to four auxiliary columns follow.
  EXPECT_TRUE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t-14.0000\t0.4", s));
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5\t6\t0.1\t0.2\t0.3\t0.4\t0.5", s));
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02\t1\t2\t3\t4\t5", s));  // no salinity
  EXPECT_FALSE(parse_ctd_line("2021/03/14 00:00:02.000\t1\t2\t3\t4\t5\t6", s));
}

TEST(ParseAccLine, TakesThreeAxesInG) {
  AccLine s;
  ASSERT_TRUE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000\t1.5000", s));
  EXPECT_DOUBLE_EQ(s.t, kMar14 + 0.75);
  EXPECT_DOUBLE_EQ(s.g[0], -16.0);
  EXPECT_DOUBLE_EQ(s.g[1], 0.0);
  EXPECT_DOUBLE_EQ(s.g[2], 1.5);
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t-16.0000\t0.0000", s));
  EXPECT_FALSE(parse_acc_line("2021/03/14 00:00:00.750\t1\t2\t3\t4", s));
}

TEST(ParseGpsLine, TakesTimeAndEntries) {
  GpsLine s;
  // The snapshot 0x77 0x03 0x04 0x05 0x06 0x07, two entries (12, 0x0123) and (31, 0xabcd).
  ASSERT_TRUE(parse_gps_line("2019/03/04 05:06:07 2 3 0 12 0123 31 abcd", s));
  EXPECT_TRUE(s.time_valid);
  EXPECT_DOUBLE_EQ(s.t, kMar4of2019 + 5 * 3600 + 6 * 60 + 7);
  EXPECT_EQ(s.entries, 2);
  ASSERT_TRUE(parse_gps_line("2019/03/04 05:06:07 0 3 0", s));
  EXPECT_EQ(s.entries, 0);
}

TEST(ParseGpsLine, KeepsSnapshotsWithoutAValidTime) {
  GpsLine s;
  // Fields are printed as stored: month 0, month 13, a byte of 255, a year of 1900.
  for (const char* line : {"2019/00/04 05:06:07 0 3 0", "2019/13/04 05:06:07 0 3 0",
                           "2019/03/255 05:06:07 0 3 0", "1900/01/01 00:00:00 0 3 0"}) {
    ASSERT_TRUE(parse_gps_line(line, s)) << line;
    EXPECT_FALSE(s.time_valid) << line;
  }
}

TEST(ParseGpsLine, RefusesDamagedLines) {
  GpsLine s;
  for (const char* line : {
           "2019/03/04 05:06:07 2 3 0 12 0123",          // one entry of two
           "2019/03/04 05:06:07 1 3 0 12 0123 31 abcd",  // one entry too many
           "2019/03/04 05:06:07 1 3 0 12 012",           // entry cut short
           "2019/03/04 05:06:07 1 3 0 12 012g",
           "2019/03/04 05:06:07 0 4 0",                  // the constant text is " 3 0"
           "2019/03/04 05:06:07 0 3 0 ",
           "2019/03/04 05:06:07",
       }) {
    EXPECT_FALSE(parse_gps_line(line, s)) << line;
  }
}

}  // namespace
}  // namespace skelv::quicklook
