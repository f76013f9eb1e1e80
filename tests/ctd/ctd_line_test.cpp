#include "ctd/ctd_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ctd/ctd_expect.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

// A sample at 0 dbar, 0 degrees C and 0 mS/cm with the default calibration.
const std::vector<std::uint16_t> kZeroSample{600, 8000, 200};
const char kZeroColumns[] = "\t0.00\t0.00\t0.00\t0.000\t0.0000\t0.0000\n";

class CtdLineTest : public DecodeTest {
 protected:
  CtdLineTest() {
    out_open(st.ctd_file, run.ctd_name);
    st.surface_pressure_raw = 600;
    st.ctd_time = kT0;
  }
  void line(std::vector<std::uint16_t> raw, const CtdColumns& columns = {}) {
    raw.resize(kCtdValues);
    write_ctd_line(st, st.ctd_file, raw.data(), columns);
  }
  std::string written() {
    out_close(st.ctd_file);
    return ctd();
  }
};

TEST_F(CtdLineTest, TimestampIsTheWholeSecondAfterRoundingToFiveMilliseconds) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double time;
    const char* stamp;
  };
  const Row rows[] = {
      {kT0, "2020/01/01 00:00:00"},
      {kT0 + 0.5, "2020/01/01 00:00:00"},
      {kT0 + 59.994, "2020/01/01 00:00:59"},
      {kT0 + 59.996, "2020/01/01 00:01:00"},  // within 5 ms of the next second
      {-0.5, "1969/12/31 23:59:59"},          // before 1970: the second that holds the time
      {-62167219200.0, "0000/01/01 00:00:00"},  // 719528 days before 1970
      {253402300799.0, "9999/12/31 23:59:59"},
      // Outside the years 0..9999, or no number at all.
      {253402300799.996, "0000/00/00 00:00:00"},
      {-62167219201.0, "0000/00/00 00:00:00"},
      {1e300, "0000/00/00 00:00:00"},
      {-1e300, "0000/00/00 00:00:00"},
      {inf, "0000/00/00 00:00:00"},
      {-inf, "0000/00/00 00:00:00"},
      {std::numeric_limits<double>::quiet_NaN(), "0000/00/00 00:00:00"},
  };
  std::string expected;
  for (const Row& r : rows) {
    st.ctd_time = r.time;
    line(kZeroSample);
    expected += std::string(r.stamp) + kZeroColumns;
  }
  EXPECT_EQ(written(), expected);
  EXPECT_EQ(st.ctd_count, std::size(rows));
}

TEST_F(CtdLineTest, PressuresTemperatureAndConductivity) {
  // Default calibration: P = (raw - 600) / 30, T = (raw - 8000) / 1000, C = (raw - 200) / 800.
  line(kZeroSample);
  // P = 300 / 30 = 10, surface 30 / 30 = 1, relative 9; T = 15; C = 34328 / 800 = 42.91.
  st.surface_pressure_raw = 630;
  line({900, 23000, 34528});
  // Surface above the sample: P = 0.5, surface 2, relative -1.5; salinity as at 0 dbar.
  st.surface_pressure_raw = 660;
  line({615, 23000, 34528});
  // Salinities: PSS-78 evaluated separately at (9 dbar, 42.91, 15) and (0 dbar, 42.91, 15).
  EXPECT_EQ(written(),
            std::string("2020/01/01 00:00:00") + kZeroColumns +
                "2020/01/01 00:00:00\t9.00\t10.00\t1.00\t15.000\t42.9100\t34.9895\n"
                "2020/01/01 00:00:00\t-1.50\t0.50\t2.00\t15.000\t42.9100\t34.9931\n");
}

TEST_F(CtdLineTest, SalinityUsesTheLaggedConductivity) {
  // 10 dbar, 15 degrees C; conductivity 40, 30, 30 with coefficient 0.5 lags to 40, 35, 32.5.
  st.lag_coefficient = 0.5;
  line({900, 23000, 32200});
  line({900, 23000, 24200});
  line({900, 23000, 24200});
  EXPECT_DOUBLE_EQ(st.lagged_conductivity, 32.5);
  // Without a coefficient each line takes its own conductivity, 30.
  st.lag_coefficient = 0.0;
  line({900, 23000, 24200});
  // Salinities: PSS-78 evaluated separately at 10 dbar, 15 degrees C and 40, 35, 32.5, 30 mS/cm.
  EXPECT_EQ(written(),
            "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
            "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t30.0000\t27.8872\n"
            "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t30.0000\t25.6909\n"
            "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t30.0000\t23.5184\n");
}

TEST_F(CtdLineTest, AuxiliaryColumnsAndTheLightSentinel) {
  CtdColumns light;  // PPFD, then internal temperature
  light.count = 2;
  light.offset[0] = 14000.0;
  light.offset[1] = 5000.0;
  light.scale[0] = light.scale[1] = 0.001;
  st.light_sentinel_column = 0;
  line({600, 8000, 200, 0xFFF2, 0xFFF2}, light);  // -14 in the sentinel column; (65522 - 5000) / 1000
  line({600, 8000, 200, 15000, 6000}, light);
  st.light_sentinel_column = 999;
  line({600, 8000, 200, 0xFFF2, 0xFFF2}, light);  // (65522 - 14000) / 1000

  CtdColumns six;  // the most a mask can ask for
  six.count = 6;
  six.scale[5] = 0.5;
  line({600, 8000, 200, 1, 2, 3, 4, 5, 6}, six);

  CtdColumns none;
  line(kZeroSample, none);
  const std::string zero = std::string("2020/01/01 00:00:00") + "\t0.00\t0.00\t0.00\t0.000\t0.0000\t0.0000";
  EXPECT_EQ(written(), zero + "\t-14.0000\t60.5220\n" +  //
                           zero + "\t1.0000\t1.0000\n" +  //
                           zero + "\t51.5220\t60.5220\n" +
                           zero + "\t1.0000\t2.0000\t3.0000\t4.0000\t5.0000\t3.0000\n" +  //
                           zero + "\n");
}

TEST_F(CtdLineTest, ClosedFileWritesAndAdvancesNothing) {
  OutFile closed;
  st.lag_coefficient = 0.5;
  const std::uint16_t raw[kCtdValues] = {900, 23000, 32200};
  write_ctd_line(st, closed, raw, CtdColumns{});
  EXPECT_EQ(st.ctd_count, 0u);
  EXPECT_EQ(st.lagged_conductivity, -1.0);
}

}  // namespace
}  // namespace skelv::test
