// CTD profiles: the start record with its columns and header, the sample stream, and the lines
// with their times, pressures, lagged salinity and auxiliary columns. A profile nested in another
// is shown by the end-to-end deployment.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "ctd/ctd_stream.h"
#include "ctd/ctd_values.h"
#include "output/text/text_lines.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using Sample = std::vector<std::uint16_t>;
const TagTime kStart{2020, 1, 1, 0, 0, 0};
constexpr double kT0 = 1577836800.0;  // 2020-01-01 00:00:00: (50 * 365 + 12 leap days) * 86400 s
// Default calibration: P = (raw - 600) / 30, T = (raw - 8000) / 1000, C = (raw - 200) / 800; so
// raw 900, 23000, 200 over surface raw 600 is 10 dbar, 15 degrees C and 0 mS/cm.
const Sample kFirst{900, 23000, 200};
const std::string kFirstLine = "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000";

using CtdTest = DecodeTest;

TEST_F(CtdTest, HeaderAndFirstLineForEachMask) {
  const char ppfd[] = "\tPPFD(umol/m2/s)";
  struct Row {  // version -1: no information record; aux: raw auxiliary values of the first sample
    std::uint8_t mask;
    int version;
    Sample aux;
    const char *header_text, *aux_text;
  };
  const Row rows[] = {
      {0, -1, {}, "", ""}, {1, -1, {}, "", ""}, {6, -1, {}, "", ""}, {7, -1, {}, "", ""},
      {2, -1, {1234}, "\tFluoro(V)", "\t1.2340"}, {4, -1, {1234}, "\tDOxy(umol/l)", "\t12.3400"},
      {3, -1, {320}, "\tDOxy(umol/l)", "\t10.0004"},  // 320 / 31.9988 = 10.000375
      {5, -1, {1234}, "\tBPhase(deg)", "\t12.3400"},
      {8, -1, {}, "", ""}, {0xE8, 150, {}, "", ""},  // bits 0x08, 0x20, 0x40 and 0x80 add no column
      // Light raw 0xFFF2 (65522): three raw photo channels before version 151, from it on PPFD
      // (65522 - 14000) / 1000 = 51.522, but -14 in the PPFD column of tags up to version 167.
      {0x0C, 150, {10, 20, 0xFFF2}, "\tPhoto2\tPhoto2\tPhoto3", "\t10.0000\t20.0000\t65522.0000"},
      {0x0C, 151, {0xFFF2}, ppfd, "\t-14.0000"}, {0x0C, 160, {0xFFF2}, ppfd, "\t-14.0000"},
      {0x0C, 168, {0xFFF2}, ppfd, "\t51.5220"}, {0x0C, -1, {0xFFF2}, ppfd, "\t51.5220"},
      // The sentinel only in the PPFD column: 65.522 and (65522 - 5000) / 1000 elsewhere.
      {0x1D, 167, {0xFFF2, 0xFFF2, 0xFFF2}, "\tFLUORO(V)\tPPFD(umol/m2/s)\tINTERNAL_TEMP(C)",
       "\t65.5220\t-14.0000\t60.5220"},
  };  // 0x13: the end-to-end deployment; six columns: the cut sample at the end of this file
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mask " << int{r.mask} << ", version " << r.version);
    fresh();
    std::remove(run.ctd_name);
    Sample first = kFirst;
    first.insert(first.end(), r.aux.begin(), r.aux.end());
    ImageBuilder b;
    if (r.version >= 0) b.info({.tag_version = static_cast<std::uint16_t>(r.version)});
    EXPECT_TRUE(decode(b.ctd_start(r.mask, kStart, 100, 600, first).ctd_end().eof()));  // 0xFD in place
    EXPECT_EQ(ctd(), kCtdHeader + r.header_text + "\n" + kFirstLine + r.aux_text + "\n");
  }
}

TEST_F(CtdTest, ThreeProfilesOfOneRun) {
  // Version 160 (light sentinel), P raw / 100, T (raw - 10000) / 2000, C raw / 1000, no lag
  // time constant: coefficient 0. Then version 168, default calibration but P raw / 50, 5 s
  // interval and a 1000 ms lag.
  const InfoBlock custom{.tag_version = 160, .pressure_scale = 100, .temperature_offset = 10000,
                         .temperature_scale = 2000, .conductivity_offset = 0, .conductivity_scale = 1000,
                         .lag_time_constant = 0};
  const InfoBlock later{.tag_version = 168, .ctd_interval = 500, .pressure_scale = 50};
  ImageBuilder b;
  // Profile 1, PPFD: its header names the file's columns; a sample after the calibration changes.
  b.info(custom).ctd_start(0x0C, kStart, 100, 700, {2600, 40000, 42914, 0xFFF2});
  b.info(later).step(0).step(0).step(0).step(0).ctd_end().ctd_end();  // the second 0xFD between records
  // Profile 2, 1 s apart with exp(-1), PPFD and internal temperature: the sentinel column stays.
  b.ctd_start(0x1C, {2020, 1, 1, 1, 0, 0}, 100, 600, {1100, 23000, 32200, 0xFFF2, 30000});
  b.step(0).step(0).escaped(24200).step(0).step(0);
  const std::size_t gps_at = b.size();
  b.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}});
  b.step(3).u8(0xFD).step(0).step(0).step(0);  // codes in later channels: the channel keeps its value
  b.step(3).step(0).u8(0xFB).step(0).step(1).ctd_end();
  // Profile 3 ends right after its first sample; its pressure lies above the surface. A time
  // constant of 0 keeps the lag coefficient of the profile before.
  const InfoBlock no_lag{.tag_version = 168, .ctd_interval = 500, .pressure_scale = 50, .lag_time_constant = 0};
  b.info(no_lag).ctd_start(0, {2020, 1, 1, 2, 0, 0}, 100, 700, {625, 23000, 34528}).ctd_end().eof();
  EXPECT_TRUE(decode(b));
  char note[40];
  std::snprintf(note, sizeof note, "@%08zX GPS F2!", gps_at + 1);  // the offset just after the 0xF2
  EXPECT_EQ(console, note);
  EXPECT_EQ(gps(), "2021/03/14 09:26:53 1 3 0 12 0123\n");
  // 1: P = 2000 / 100 = 20, surface 1, T = 30000 / 2000 = 15, C = 42.914, PPFD -14.
  // 2: the same raw values 1 s later (the interval of the running profile): P = 2000 / 50 = 40,
  //    surface 2, T = 32000 / 1000 = 32, C = 42714 / 800 = 53.3925, not lagged (coefficient 0).
  // 3 to 6: 10 dbar, 15 degrees C; C 40 then 30, lagged with exp(-1) to 33.6788, 31.3534, 30.4979;
  //    pressure 3 / 50 deeper each time after the GPS; internal temperature (30000 - 5000) / 1000.
  // 7: P = 25 / 50 = 0.5 below a surface of 2 dbar; C = 34328 / 800 = 42.91, unlagged again.
  // Salinities: PSS-78 evaluated separately at relative pressure and lagged conductivity (0 dbar
  // for the negative pressure).
  EXPECT_EQ(ctd(), kCtdHeader + "\tPPFD(umol/m2/s)\n" +
                       "2020/01/01 00:00:00\t19.00\t20.00\t1.00\t15.000\t42.9140\t34.9890\t-14.0000\n"
                       "2020/01/01 00:00:01\t38.00\t40.00\t2.00\t32.000\t53.3925\t30.3988\t-14.0000\n"
                       "2020/01/01 01:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\t-14.0000\t25.0000\n"
                       "2020/01/01 01:00:01\t10.00\t10.00\t0.00\t15.000\t30.0000\t26.7236\t-14.0000\t25.0000\n"
                       "2020/01/01 01:00:02\t10.06\t10.06\t0.00\t15.000\t30.0000\t24.6915\t-14.0000\t25.0000\n"
                       "2020/01/01 01:00:03\t10.12\t10.12\t0.00\t15.000\t30.0000\t23.9491\t-14.0000\t25.0010\n"
                       "2020/01/01 02:00:00\t-1.50\t0.50\t2.00\t15.000\t42.9100\t34.9931\n");
}

TEST_F(CtdTest, StampIsTheWholeSecondAfterAdding5Milliseconds) {
  ASSERT_TRUE(out_open(rs->text.ctd_file.file, run.ctd_name));
  rs->decoder.ctd.surface_pressure_raw = 600;
  const std::uint16_t surface[kCtdValues] = {600, 8000, 200};  // 0 dbar, 0 degrees C, 0 mS/cm
  struct Row { double time; const char* stamp; };
  const Row rows[] = {
      {kT0 + 59.994, "2020/01/01 00:00:59"}, {kT0 + 59.996, "2020/01/01 00:01:00"},
      {-0.5, "1969/12/31 23:59:59"},  // before 1970: the second that holds the time
      {253402300799.996, "0000/00/00 00:00:00"},  // past the year 9999 once rounded
      {std::numeric_limits<double>::quiet_NaN(), "0000/00/00 00:00:00"},
  };
  std::string expected;
  for (const Row& r : rows) {
    const CtdValues values = ctd_values(rs->decoder.deployment, rs->decoder.ctd, surface, CtdColumns{});
    write_ctd_line(rs->text.ctd_file, r.time, values);
    expected += std::string(r.stamp) + "\t0.00\t0.00\t0.00\t0.000\t0.0000\t0.0000\n";
  }
  EXPECT_EQ(ctd(), expected);
  out_close(rs->text.ctd_file.file);
}

TEST_F(CtdTest, StopBeforeLine14169UnlessAProfileStartsThere) {
  const auto profiles = [](std::vector<int> samples_after_the_first) {
    ImageBuilder b;
    for (int n : samples_after_the_first) {
      b.ctd_start(0, kStart, 100, 600, kFirst);
      for (int k = 0; k < n; ++k) b.step(0).step(0).step(0);
      b.ctd_end();
    }
    return b.eof();
  };
  rs->decoder.console = [&](const char* text) { console += text + std::to_string(rs->text.ctd_file.count); };  // lines so far
  EXPECT_TRUE(decode(profiles({14200})));
  EXPECT_EQ(console, "Stop14168");
  console = "";
  fresh();
  EXPECT_TRUE(decode(profiles({14167, 1})));  // line 14169 is the first of the second profile
  EXPECT_EQ(console, "");
}

// A CTD file that can't be created, and input cut short.

TEST_F(CtdTest, StartCutShortWritesNothingButASampleCutShortIsWritten) {
  ImageBuilder whole;  // six auxiliary columns
  whole.info({.tag_version = 100}).ctd_start(0xFF, kStart, 100, 600, {900, 23000, 200, 1000, 2000, 10, 20, 30, 30000});
  for (std::size_t n = 1; n < whole.size(); ++n) {  // cut anywhere before the last byte of the start
    EXPECT_TRUE(decode(cut(whole, n)));
    EXPECT_FALSE(file_exists(run.ctd_name)) << n;
  }
  // A sample with all six auxiliary channels one count up, then one cut after its pressure.
  EXPECT_TRUE(decode(whole.step(0).step(0).step(0).step(1).step(1).step(1).step(1).step(1).step(1).step(3)));
  const std::string aux = "\t1.0010\t20.0100\t11.0000\t21.0000\t31.0000\t25.0010\n";
  EXPECT_EQ(ctd(), kCtdHeader + "\tFLUORO(V)\tBPhase(deg)\tPhoto2\tPhoto2\tPhoto3\tINTERNAL_TEMP(C)\n" + kFirstLine +
                       "\t1.0000\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000\n"
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000" + aux +
                       "2020/01/01 00:00:02\t10.10\t10.10\t0.00\t15.000\t0.0000\t0.0000" + aux);
}

}  // namespace
}  // namespace skelv::test
