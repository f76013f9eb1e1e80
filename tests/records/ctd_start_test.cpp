// CTD start and end records: column masks, the file header, the first line and the lag state.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/handlers.h"
#include "support/ctd_builder.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

constexpr char kHeader[] =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
    "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)";
const TagTime kStart{2020, 1, 1, 0, 0, 0};
// With the default calibration raw 900, 23000, 200 are 10 dbar, 15 degrees C and 0 mS/cm.
constexpr char kFirstColumns[] = "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000";

InfoBlock info_of_version(std::uint16_t version) {
  InfoBlock info;
  info.tag_version = version;
  return info;
}

std::vector<std::uint16_t> first_sample(const std::vector<std::uint16_t>& aux) {
  std::vector<std::uint16_t> values{900, 23000, 200};
  values.insert(values.end(), aux.begin(), aux.end());
  return values;
}

class CtdStartTest : public DecodeTest {
 protected:
  void fresh_state() {
    DecodeTest::st = DecoderState{};
    st.console = [this](const char* text) { console += text; };
    console.clear();
  }
};

TEST_F(CtdStartTest, HeaderAndFirstLineForEachMask) {
  constexpr int kUnknown = -1;
  constexpr char kPpfd[] = "\tPPFD(umol/m2/s)";
  struct Row {
    std::uint8_t mask;
    int version;
    std::vector<std::uint16_t> aux;  // raw auxiliary values of the first sample
    std::string header_text;
    std::string aux_text;
  };
  const std::vector<Row> rows = {
      {0, kUnknown, {}, "", ""},
      {1, kUnknown, {}, "", ""},
      {2, kUnknown, {1234}, "\tFluoro(V)", "\t1.2340"},
      {3, kUnknown, {320}, "\tDOxy(umol/l)", "\t10.0004"},  // 320 / 31.9988 = 10.000375
      {4, kUnknown, {1234}, "\tDOxy(umol/l)", "\t12.3400"},
      {5, kUnknown, {1234}, "\tBPhase(deg)", "\t12.3400"},
      {6, kUnknown, {}, "", ""},
      {7, kUnknown, {}, "", ""},
      {8, kUnknown, {}, "", ""},   // bit 0x08 adds no column
      {0xE8, 150, {}, "", ""},     // nor do 0x20, 0x40 and 0x80
      // (raw - 0) / 1000, (raw - 0) / 100, (raw - 5000) / 1000.
      {0x13, 170, {1000, 2000, 30000}, "\tFLUORO(V)\tBPhase(deg)\tINTERNAL_TEMP(C)", "\t1.0000\t20.0000\t25.0000"},
      // Light: three raw photo channels before version 151, one PPFD column (raw - 14000) / 1000 from it on.
      {0x0C, 150, {10, 20, 30}, "\tPhoto2\tPhoto2\tPhoto3", "\t10.0000\t20.0000\t30.0000"},
      {0x0C, 151, {15000}, kPpfd, "\t1.0000"},
      {0x0C, 160, {15000}, kPpfd, "\t1.0000"},
      {0x0C, 168, {15000}, kPpfd, "\t1.0000"},
      {0x0C, kUnknown, {15000}, kPpfd, "\t1.0000"},
      // Five and six auxiliary columns are all kept.
      {0x16, 150, {2000, 10, 20, 30, 30000}, "\tBPhase(deg)\tPhoto2\tPhoto2\tPhoto3\tINTERNAL_TEMP(C)",
       "\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000"},
      {0xFF, 100, {1000, 2000, 10, 20, 30, 30000},
       "\tFLUORO(V)\tBPhase(deg)\tPhoto2\tPhoto2\tPhoto3\tINTERNAL_TEMP(C)",
       "\t1.0000\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mask " << int{r.mask} << ", version " << r.version);
    fresh_state();
    ImageBuilder b;
    if (r.version >= 0) b.info(info_of_version(static_cast<std::uint16_t>(r.version)));
    // The end code right after the first sample: a wrong number of values read breaks the file.
    b.ctd_start(r.mask, kStart, 100, 600, first_sample(r.aux)).ctd_end().eof();
    EXPECT_TRUE(decode(b));
    EXPECT_EQ(ctd(), kHeader + r.header_text + "\n" + kFirstColumns + r.aux_text + "\n");
    EXPECT_EQ(run.ctd_count, 1u);
    EXPECT_FALSE(st.ctd_open);
  }
}

TEST_F(CtdStartTest, HeaderNamesTheColumnsOfTheProfileThatCreatedTheFile) {
  ImageBuilder b;
  b.info(info_of_version(170));
  b.ctd_start(2, kStart, 100, 600, first_sample({1234})).ctd_end();
  b.ctd_start(0x13, kStart, 100, 600, first_sample({1000, 2000, 30000}));
  std::vector<std::uint16_t> previous = first_sample({1000, 2000, 30000});
  ctd_samples(b, previous, {first_sample({1001, 2001, 30001})});  // 1 s later
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), std::string(kHeader) + "\tFluoro(V)\n" +  //
                       kFirstColumns + "\t1.2340\n" +          //
                       kFirstColumns + "\t1.0000\t20.0000\t25.0000\n" +
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000\t1.0010\t20.0100\t25.0010\n");
}

TEST_F(CtdStartTest, LightSentinelColumnOfOlderPpfdTags) {
  // Raw 0xFFF2 (65522) in every auxiliary channel: -14 in the sentinel column; elsewhere
  // FLUORO 65.522, PPFD 65522 - 14000 = 51522 and INTERNAL_TEMP 65522 - 5000 = 60522 thousandths.
  struct Row {
    int version;
    std::uint8_t mask;
    std::vector<std::uint16_t> aux;
    std::string aux_text;
  };
  const std::vector<Row> rows = {
      {160, 0x1C, {0xFFF2, 0xFFF2}, "\t-14.0000\t60.5220"},            // PPFD at index 0
      {167, 0x1D, {0xFFF2, 0xFFF2, 0xFFF2}, "\t65.5220\t-14.0000\t60.5220"},  // PPFD at index 1
      {168, 0x1C, {0xFFF2, 0xFFF2}, "\t51.5220\t60.5220"},
      {-1, 0x1C, {0xFFF2, 0xFFF2}, "\t51.5220\t60.5220"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.version);
    fresh_state();
    ImageBuilder b;
    if (r.version >= 0) b.info(info_of_version(static_cast<std::uint16_t>(r.version)));
    b.ctd_start(r.mask, kStart, 100, 600, first_sample(r.aux)).ctd_end().eof();
    EXPECT_TRUE(decode(b));
    const std::string lines = ctd();
    EXPECT_EQ(lines.substr(lines.find('\n') + 1), kFirstColumns + r.aux_text + "\n");
  }
}

TEST_F(CtdStartTest, LightSentinelColumnStaysForLaterProfiles) {
  ImageBuilder b;
  b.info(info_of_version(160));
  b.ctd_start(0x0C, kStart, 100, 600, first_sample({0xFFF2})).ctd_end();
  // A newer tag's PPFD column leaves the sentinel column where the earlier profile put it.
  b.info(info_of_version(168));
  b.ctd_start(0x1C, kStart, 100, 600, first_sample({0xFFF2, 0xFFF2})).ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), std::string(kHeader) + "\tPPFD(umol/m2/s)\n" +  //
                       kFirstColumns + "\t-14.0000\n" +               //
                       kFirstColumns + "\t-14.0000\t60.5220\n");
}

TEST_F(CtdStartTest, LagFilterRestartsWithEachProfile) {
  // 1 s apart with the default time constant of 1000 ms: coefficient exp(-1). Conductivity 40 then
  // 30 lags to 30 + 10 exp(-1) = 33.6788; the next profile starts afresh at 40.
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {900, 23000, 32200});
  std::vector<std::uint16_t> previous{900, 23000, 32200};
  ctd_samples(b, previous, {{900, 23000, 24200}});
  b.ctd_end().ctd_start(0, kStart, 100, 600, {900, 23000, 32200}).ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_DOUBLE_EQ(st.lag_coefficient, std::exp(-1.0));
  // Salinities: PSS-78 evaluated separately at 10 dbar, 15 degrees C and 40, 33.6788, 40 mS/cm.
  EXPECT_EQ(ctd(), std::string(kHeader) + "\n" +
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t30.0000\t26.7236\n"
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n");
}

TEST_F(CtdStartTest, LagCoefficientFromIntervalAndTimeConstant) {
  struct Row {
    std::uint16_t interval;  // hundredths of a second
    std::uint16_t time_constant;  // milliseconds
    double coefficient;
  };
  const Row rows[] = {
      {100, 1000, std::exp(-1.0)},
      {50, 2000, std::exp(-0.25)},
      {0, 1000, 1.0},
  };
  for (const Row& r : rows) {
    fresh_state();
    InfoBlock info = info_of_version(170);
    info.lag_time_constant = r.time_constant;
    ImageBuilder b;
    b.info(info).ctd_start(0, kStart, r.interval, 600, {900, 23000, 200}).ctd_end().eof();
    EXPECT_TRUE(decode(b));
    EXPECT_DOUBLE_EQ(st.lag_coefficient, r.coefficient) << r.interval << " / " << r.time_constant;
  }
}

TEST_F(CtdStartTest, ZeroTimeConstantKeepsTheCoefficient) {
  InfoBlock no_lag = info_of_version(170);
  no_lag.lag_time_constant = 0;
  // Never set: 0, and every line takes its own conductivity (40, then 30).
  ImageBuilder b;
  b.info(no_lag).ctd_start(0, kStart, 100, 600, {900, 23000, 32200});
  std::vector<std::uint16_t> previous{900, 23000, 32200};
  ctd_samples(b, previous, {{900, 23000, 24200}});
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(st.lag_coefficient, 0.0);
  EXPECT_EQ(ctd(), std::string(kHeader) + "\n" +
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t30.0000\t23.5184\n");

  // Set by an earlier profile: kept.
  fresh_state();
  ImageBuilder again;
  again.ctd_start(0, kStart, 100, 600, {900, 23000, 200}).ctd_end();
  again.info(no_lag).ctd_start(0, kStart, 50, 600, {900, 23000, 200}).ctd_end().eof();
  EXPECT_TRUE(decode(again));
  EXPECT_DOUBLE_EQ(st.lag_coefficient, std::exp(-1.0));
}

TEST_F(CtdStartTest, CalibrationFromInformationRecordsAlsoInsideAProfile) {
  InfoBlock first = info_of_version(170);
  first.pressure_scale = 100;
  first.temperature_offset = 10000;
  first.temperature_scale = 2000;
  first.conductivity_offset = 0;
  first.conductivity_scale = 1000;
  first.lag_time_constant = 0;
  InfoBlock second = info_of_version(170);  // otherwise default calibration, 5 s interval, 1000 ms lag
  second.pressure_scale = 50;
  second.ctd_interval = 500;
  ImageBuilder b;
  b.info(first).ctd_start(0, kStart, 100, 700, {2600, 40000, 42914});
  b.info(second).step(0).step(0).step(0);
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  // First: P = 2000 / 100 = 20, surface 100 / 100 = 1, T = 30000 / 2000 = 15, C = 42914 / 1000.
  // Second, same raw values 1 s later (the running interval): P = 2000 / 50 = 40, surface
  // 100 / 50 = 2, T = 32000 / 1000 = 32, C = 42714 / 800 = 53.3925; not lagged, as the coefficient
  // was set at the start with a constant of 0.
  // Salinities: PSS-78 evaluated separately at (19, 42.914, 15) and (38, 53.3925, 32).
  EXPECT_EQ(ctd(), std::string(kHeader) + "\n" +
                       "2020/01/01 00:00:00\t19.00\t20.00\t1.00\t15.000\t42.9140\t34.9890\n"
                       "2020/01/01 00:00:01\t38.00\t40.00\t2.00\t32.000\t53.3925\t30.3988\n");
  EXPECT_EQ(st.ctd_interval, 500);  // stored for later, while the running profile kept its 1 s
}

// A CTD file that can't be created.

TEST_F(CtdStartTest, UncreatableFileFailsEachProfileButItsSamplesAreRead) {
  ASSERT_EQ(::mkdir(run.ctd_name, 0755), 0);
  ASSERT_EQ(::mkdir(run.gps_name, 0755), 0);
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {900, 23000, 200}).step(1).step(0).step(0).ctd_end();
  b.gps({2021, 3, 14, 9, 26, 53}, {});  // replaces the failure text with its own
  b.ctd_start(0, {2020, 1, 1, 1, 0, 0}, 100, 600, {900, 23000, 200}).step(1).step(0).step(0).ctd_end();
  b.eof();
  EXPECT_FALSE(decode(b));
  // The second profile tried again and failed again.
  EXPECT_EQ(failure(), std::string("Can't create CTD data file ") + run.ctd_name + "\n");
  EXPECT_EQ(run.ctd_count, 0u);
  EXPECT_EQ(run.gps_count, 1u);
  EXPECT_EQ(st.ctd_time, 1577836800.0 + 3600.0 + 1.0);  // 2020-01-01 01:00:01: its sample was read
  EXPECT_EQ(run.byte_count, b.size());
}

TEST_F(CtdStartTest, NextProfileCreatesTheFileOnceItCan) {
  ASSERT_EQ(::mkdir(run.ctd_name, 0755), 0);
  ImageBuilder b;
  b.u8(0).time(kStart).u16(100).u16(600).u16(900).u16(23000).u16(200).step(1).step(0).step(0).ctd_end();
  b.ctd_start(2, kStart, 100, 600, first_sample({1234})).ctd_end().eof();
  attach(b.bytes());
  EXPECT_EQ(handle_ctd_start(st, run), 0xFC);
  EXPECT_EQ(failure(), std::string("Can't create CTD data file ") + run.ctd_name + "\n");
  EXPECT_FALSE(st.run_ok);
  ASSERT_EQ(::rmdir(run.ctd_name), 0);
  EXPECT_EQ(handle_ctd_start(st, run), 0xFF);
  EXPECT_TRUE(st.ctd_started);
  out_close(st.ctd_file);
  EXPECT_EQ(ctd(), std::string(kHeader) + "\tFluoro(V)\n" + kFirstColumns + "\t1.2340\n");
  EXPECT_EQ(st.ctd_count, 1u);
}

// Records cut short by the end of the input.

TEST_F(CtdStartTest, StartCutShortWritesNothing) {
  for (std::uint8_t mask : {0, 0x13}) {
    ImageBuilder full;
    full.ctd_start(mask, kStart, 100, 600, first_sample(mask == 0 ? std::vector<std::uint16_t>{}
                                                                  : std::vector<std::uint16_t>{1, 2, 3}));
    const std::vector<std::uint8_t>& bytes = full.bytes();
    // Cut anywhere after the code and before the last byte of the first sample.
    for (std::size_t n = 1; n < bytes.size(); ++n) {
      SCOPED_TRACE(testing::Message() << "mask " << int{mask} << ", " << n << " bytes");
      fresh_state();
      ImageBuilder cut;
      cut.raw(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)));
      EXPECT_TRUE(decode(cut));
      EXPECT_FALSE(file_exists(run.ctd_name));
      EXPECT_EQ(run.ctd_count, 0u);
      EXPECT_EQ(failure(), "");
    }
  }
  // Whole, with nothing after it: header and first line.
  fresh_state();
  ImageBuilder whole;
  whole.ctd_start(0, kStart, 100, 600, {900, 23000, 200});
  EXPECT_TRUE(decode(whole));
  EXPECT_EQ(ctd(), std::string(kHeader) + "\n" + kFirstColumns + "\n");
}

TEST_F(CtdStartTest, StartCutShortReturnsEndOfData) {
  attach({0, 120, 1, 1, 0, 0, 0, 0, 0x00, 0x64, 0x02, 0x58, 0x03, 0x84, 0x59});  // cut in the temperature
  EXPECT_EQ(handle_ctd_start(st, run), 0xFF);
  EXPECT_TRUE(st.end_of_input);
  EXPECT_FALSE(st.ctd_started);
}

// The end code outside a profile.

TEST_F(CtdStartTest, EndCodeOutsideAProfileIsPassedOver) {
  ImageBuilder b;
  b.info(info_of_version(170)).ctd_end().wetdry(1).eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(st.wetdry, 1);
  EXPECT_FALSE(file_exists(run.ctd_name));
  EXPECT_EQ(failure(), "");

  fresh_state();
  st.ctd_open = true;  // left open by a profile cut short: still open after it
  attach({0x42});
  EXPECT_EQ(handle_ctd_end(st, run), 0x42);
  EXPECT_TRUE(st.ctd_open);
}

}  // namespace
}  // namespace skelv::test
