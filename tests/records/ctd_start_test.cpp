// CTD start and end records: column masks, the file header, the first line and the lag state.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "ctd/ctd_expect.h"
#include "records/handlers.h"
#include "support/ctd_builder.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using Sample = std::vector<std::uint16_t>;
constexpr int kUnknown = -1;  // no information record
// With the default calibration raw 900, 23000, 200 are 10 dbar, 15 degrees C and 0 mS/cm.
const std::string kFirstColumns = "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000";

InfoBlock info_of_version(int version) {
  InfoBlock info;
  info.tag_version = static_cast<std::uint16_t>(version);
  return info;
}

Sample first_sample(const Sample& aux) {
  Sample values{900, 23000, 200};
  values.insert(values.end(), aux.begin(), aux.end());
  return values;
}

class CtdStartTest : public DecodeTest {
 protected:
  // Decodes, on a fresh state, a profile with `mask` and auxiliary raw values `aux` that ends
  // right after its first sample; a wrong number of values read breaks the file.
  std::string single_profile(std::uint8_t mask, int version, const Sample& aux) {
    DecodeTest::st = DecoderState{};
    ImageBuilder b;
    if (version != kUnknown) b.info(info_of_version(version));
    EXPECT_TRUE(decode(b.ctd_start(mask, kStart, 100, 600, first_sample(aux)).ctd_end().eof()));
    EXPECT_FALSE(st.ctd_open);
    return ctd();
  }
};

TEST_F(CtdStartTest, HeaderAndFirstLineForEachMask) {
  const std::string ppfd = "\tPPFD(umol/m2/s)";
  const std::string all = "\tFLUORO(V)\tBPhase(deg)\tPhoto2\tPhoto2\tPhoto3\tINTERNAL_TEMP(C)";
  struct Row {
    std::uint8_t mask;
    int version;
    Sample aux;  // raw auxiliary values of the first sample
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
      {8, kUnknown, {}, "", ""},  // bit 0x08 adds no column
      {0xE8, 150, {}, "", ""},    // nor do 0x20, 0x40 and 0x80
      // raw / 1000, raw / 100, (raw - 5000) / 1000.
      {0x13, 170, {1000, 2000, 30000}, "\tFLUORO(V)\tBPhase(deg)\tINTERNAL_TEMP(C)", "\t1.0000\t20.0000\t25.0000"},
      // Light: three raw photo channels before version 151, from it on PPFD (raw - 14000) / 1000.
      {0x0C, 150, {10, 20, 30}, "\tPhoto2\tPhoto2\tPhoto3", "\t10.0000\t20.0000\t30.0000"},
      {0x0C, 151, {15000}, ppfd, "\t1.0000"},
      {0x0C, 160, {15000}, ppfd, "\t1.0000"},
      {0x0C, 168, {15000}, ppfd, "\t1.0000"},
      {0x0C, kUnknown, {15000}, ppfd, "\t1.0000"},
      // Five and six auxiliary columns are all kept.
      {0x16, 150, {2000, 10, 20, 30, 30000}, "\tBPhase(deg)\tPhoto2\tPhoto2\tPhoto3\tINTERNAL_TEMP(C)",
       "\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000"},
      {0xFF, 100, {1000, 2000, 10, 20, 30, 30000}, all, "\t1.0000\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mask " << int{r.mask} << ", version " << r.version);
    EXPECT_EQ(single_profile(r.mask, r.version, r.aux), kCtdHeader + r.header_text + "\n" + kFirstColumns +
                                                            r.aux_text + "\n");
  }
}

TEST_F(CtdStartTest, HeaderNamesTheColumnsOfTheProfileThatCreatedTheFile) {
  ImageBuilder b;
  b.info(info_of_version(150)).ctd_start(2, kStart, 100, 600, first_sample({1234})).ctd_end();
  // Six auxiliary channels, also in the samples after the first.
  Sample previous = first_sample({1000, 2000, 10, 20, 30, 30000});
  ctd_samples(b.ctd_start(0xFF, kStart, 100, 600, previous), previous, {first_sample({1001, 2001, 11, 21, 31, 30001})});
  EXPECT_TRUE(decode(b.ctd_end().eof()));
  EXPECT_EQ(ctd(), kCtdHeader + "\tFluoro(V)\n" + kFirstColumns + "\t1.2340\n" + kFirstColumns +
                       "\t1.0000\t20.0000\t10.0000\t20.0000\t30.0000\t25.0000\n" +
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000"
                       "\t1.0010\t20.0100\t11.0000\t21.0000\t31.0000\t25.0010\n");
}

TEST_F(CtdStartTest, LightSentinelColumnOfOlderPpfdTags) {
  // Raw 0xFFF2 (65522) everywhere: -14 in the sentinel column; elsewhere FLUORO 65.522, PPFD
  // (65522 - 14000) / 1000 = 51.522 and INTERNAL_TEMP (65522 - 5000) / 1000 = 60.522.
  const std::string line = kFirstColumns;
  const std::string header = kCtdHeader + "\tPPFD(umol/m2/s)\tINTERNAL_TEMP(C)\n";
  EXPECT_EQ(single_profile(0x1C, 160, {0xFFF2, 0xFFF2}), header + line + "\t-14.0000\t60.5220\n");  // PPFD at 0
  EXPECT_EQ(single_profile(0x1D, 167, {0xFFF2, 0xFFF2, 0xFFF2}),  // PPFD at index 1
            kCtdHeader + "\tFLUORO(V)\tPPFD(umol/m2/s)\tINTERNAL_TEMP(C)\n" + line + "\t65.5220\t-14.0000\t60.5220\n");
  EXPECT_EQ(single_profile(0x1C, 168, {0xFFF2, 0xFFF2}), header + line + "\t51.5220\t60.5220\n");
  EXPECT_EQ(single_profile(0x1C, kUnknown, {0xFFF2, 0xFFF2}), header + line + "\t51.5220\t60.5220\n");

  // A newer tag's PPFD column leaves the sentinel column where an earlier profile put it.
  DecodeTest::st = DecoderState{};
  ImageBuilder b;
  b.info(info_of_version(160)).ctd_start(0x0C, kStart, 100, 600, first_sample({0xFFF2})).ctd_end();
  b.info(info_of_version(168)).ctd_start(0x1C, kStart, 100, 600, first_sample({0xFFF2, 0xFFF2})).ctd_end();
  EXPECT_TRUE(decode(b.eof()));
  EXPECT_EQ(ctd(), kCtdHeader + "\tPPFD(umol/m2/s)\n" + line + "\t-14.0000\n" + line + "\t-14.0000\t60.5220\n");
}

TEST_F(CtdStartTest, LagFilterRestartsWithEachProfile) {
  // 1 s apart with the default time constant of 1000 ms: coefficient exp(-1). Conductivity 40 then
  // 30 lags to 30 + 10 exp(-1) = 33.6788; the next profile starts afresh at 40.
  ImageBuilder b;
  Sample previous{900, 23000, 32200};
  ctd_samples(b.ctd_start(0, kStart, 100, 600, previous), previous, {{900, 23000, 24200}});
  b.ctd_end().ctd_start(0, kStart, 100, 600, {900, 23000, 32200}).ctd_end();
  EXPECT_TRUE(decode(b.eof()));
  EXPECT_DOUBLE_EQ(st.lag_coefficient, std::exp(-1.0));
  // Salinities: PSS-78 evaluated separately at 10 dbar, 15 degrees C and 40, 33.6788, 40 mS/cm.
  EXPECT_EQ(ctd(), kCtdHeader + "\n" +
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
                       "2020/01/01 00:00:01\t10.00\t10.00\t0.00\t15.000\t30.0000\t26.7236\n"
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n");
}

TEST_F(CtdStartTest, LagCoefficientFromIntervalAndTimeConstant) {
  struct Row {
    std::uint16_t interval;       // hundredths of a second
    std::uint16_t time_constant;  // milliseconds
    double coefficient;
  };
  // A time constant of 0 keeps the coefficient: 0 when no profile set it, else the last one.
  const Row rows[] = {{100, 1000, std::exp(-1.0)}, {50, 2000, std::exp(-0.25)}, {0, 1000, 1.0}, {100, 0, 0.0}};
  for (const Row& r : rows) {
    DecodeTest::st = DecoderState{};
    InfoBlock info = info_of_version(170);
    info.lag_time_constant = r.time_constant;
    ImageBuilder b;
    EXPECT_TRUE(decode(b.info(info).ctd_start(0, kStart, r.interval, 600, {900, 23000, 200}).ctd_end().eof()));
    EXPECT_DOUBLE_EQ(st.lag_coefficient, r.coefficient) << r.interval << " / " << r.time_constant;
    InfoBlock no_lag = info_of_version(170);
    no_lag.lag_time_constant = 0;
    ImageBuilder again;
    EXPECT_TRUE(decode(again.info(no_lag).ctd_start(0, kStart, 50, 600, {900, 23000, 200}).ctd_end().eof()));
    EXPECT_DOUBLE_EQ(st.lag_coefficient, r.coefficient);
  }
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
  EXPECT_TRUE(decode(b.ctd_end().eof()));
  // First: P = 2000 / 100 = 20, surface 100 / 100 = 1, T = 30000 / 2000 = 15, C = 42914 / 1000.
  // Second, same raw values 1 s later (the running interval): P = 2000 / 50 = 40, surface
  // 100 / 50 = 2, T = 32000 / 1000 = 32, C = 42714 / 800 = 53.3925; not lagged, as the coefficient
  // was set at the start with a constant of 0.
  // Salinities: PSS-78 evaluated separately at (19, 42.914, 15) and (38, 53.3925, 32).
  EXPECT_EQ(ctd(), kCtdHeader + "\n" +
                       "2020/01/01 00:00:00\t19.00\t20.00\t1.00\t15.000\t42.9140\t34.9890\n"
                       "2020/01/01 00:00:01\t38.00\t40.00\t2.00\t32.000\t53.3925\t30.3988\n");
}

// A CTD file that can't be created.

TEST_F(CtdStartTest, UncreatableFileFailsEachProfileButItsSamplesAreRead) {
  ASSERT_EQ(::mkdir(run.ctd_name, 0755), 0);
  ASSERT_EQ(::mkdir(run.gps_name, 0755), 0);
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {900, 23000, 200}).step(1).step(0).step(0).ctd_end();
  b.gps({2021, 3, 14, 9, 26, 53}, {});  // replaces the failure text with its own
  b.ctd_start(0, {2020, 1, 1, 1, 0, 0}, 100, 600, {900, 23000, 200}).step(1).step(0).step(0).ctd_end();
  EXPECT_FALSE(decode(b.eof()));
  // The second profile tried again and failed again.
  EXPECT_EQ(failure(), std::string("Can't create CTD data file ") + run.ctd_name + "\n");
  EXPECT_EQ(run.ctd_count, 0u);
  EXPECT_EQ(run.gps_count, 1u);
  EXPECT_EQ(st.ctd_time, kT0 + 3601.0);  // 01:00:01: the second profile's sample was read
  EXPECT_EQ(run.byte_count, b.size());
}

TEST_F(CtdStartTest, NextProfileCreatesTheFileOnceItCan) {
  ASSERT_EQ(::mkdir(run.ctd_name, 0755), 0);
  ImageBuilder b;
  b.u8(0).time(kStart).u16(100).u16(600).u16(900).u16(23000).u16(200).step(1).step(0).step(0).ctd_end();
  attach(b.ctd_start(2, kStart, 100, 600, first_sample({1234})).ctd_end().eof().bytes());
  EXPECT_EQ(handle_ctd_start(st, run), 0xFC);
  EXPECT_EQ(failure(), std::string("Can't create CTD data file ") + run.ctd_name + "\n");
  EXPECT_FALSE(st.run_ok);
  ASSERT_EQ(::rmdir(run.ctd_name), 0);
  EXPECT_EQ(handle_ctd_start(st, run), 0xFF);
  out_close(st.ctd_file);
  EXPECT_EQ(ctd(), kCtdHeader + "\tFluoro(V)\n" + kFirstColumns + "\t1.2340\n");
}

// Records cut short by the end of the input.

TEST_F(CtdStartTest, StartCutShortWritesNothing) {
  for (std::uint8_t mask : {0, 0x13}) {
    ImageBuilder full;
    const std::vector<std::uint8_t> bytes =
        full.ctd_start(mask, kStart, 100, 600, first_sample(mask == 0 ? Sample{} : Sample{1, 2, 3})).bytes();
    // Cut anywhere after the code and before the last byte of the first sample.
    for (std::size_t n = 1; n < bytes.size(); ++n) {
      SCOPED_TRACE(testing::Message() << "mask " << int{mask} << ", " << n << " bytes");
      DecodeTest::st = DecoderState{};
      ImageBuilder cut;
      EXPECT_TRUE(decode(cut.raw(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + n))));
      EXPECT_FALSE(file_exists(run.ctd_name));
      EXPECT_EQ(failure(), "");
    }
  }
  // Whole, with nothing after it: header and first line.
  DecodeTest::st = DecoderState{};
  ImageBuilder whole;
  EXPECT_TRUE(decode(whole.ctd_start(0, kStart, 100, 600, {900, 23000, 200})));
  EXPECT_EQ(ctd(), kCtdHeader + "\n" + kFirstColumns + "\n");
  // Called directly, a cut start returns the end-of-data code.
  DecodeTest::st = DecoderState{};
  attach({0, 120, 1, 1, 0, 0, 0, 0, 0x00, 0x64, 0x02, 0x58, 0x03, 0x84, 0x59});  // cut in the temperature
  EXPECT_EQ(handle_ctd_start(st, run), 0xFF);
  EXPECT_TRUE(st.end_of_input);
}

// The end code outside a profile.

TEST_F(CtdStartTest, EndCodeOutsideAProfileIsPassedOver) {
  ImageBuilder b;
  EXPECT_TRUE(decode(b.info(info_of_version(170)).ctd_end().wetdry(1).eof()));
  EXPECT_EQ(st.wetdry, 1);
  EXPECT_FALSE(file_exists(run.ctd_name));
  EXPECT_EQ(failure(), "");

  DecodeTest::st = DecoderState{};
  st.ctd_open = true;  // left open by a profile cut short: still open after it
  attach({0x42});
  EXPECT_EQ(handle_ctd_end(st, run), 0x42);
  EXPECT_TRUE(st.ctd_open);
}

}  // namespace
}  // namespace skelv::test
