// TDR lines: the columns each flag adds, their units and widths.
#include "dive/tdr_line.h"

#include <gtest/gtest.h>

#include "records/codes.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

// 2020/01/02 03:04:05 UTC: 1577836800 (2020/01/01) + 86400 + 3 * 3600 + 4 * 60 + 5.
constexpr double kT = 1577934245.0;

class TdrLineTest : public DecodeTest {
 protected:
  // The whole file after one line of `sample` stamped kT + 0.25.
  std::string line(unsigned flags, const TdrSample& sample) {
    EXPECT_TRUE(out_open(st.tdr_file, run.tdr_name));
    st.time_base = kT + 0.25;
    write_tdr_line(st, st.tdr_file, sample, flags);
    out_close(st.tdr_file);
    return tdr();
  }
};

TEST_F(TdrLineTest, ColumnsAndTheirWidths) {
  TdrSample s;
  s.depth_m = 12.3;
  s.temp_raw = 20;  // 20 * 0.05 - 273.15
  s.photo = {7, 65535, 3, 4};
  s.odo_raw = 25;                   // 25 * 0.12 m
  s.mag = {0xFFF6, 32767, 0x8000};  // -10, 32767, -32768 tenths of uT
  s.mag_temp = -3;
  st.photo_channels = 2;
  st.wetdry = 255;
  const std::string t = "2020/01/02 03:04:05.250\t";
  struct Row {
    unsigned flags;
    std::string text;
  };
  const Row rows[] = {
      {TDR_TEMP, t + "12.300\t-272.15\n"},  // the depth column is always there
      {TDR_WETDRY_STREAM, t + "12.300\t255\n"},
      {0xFF, t + "12.300\t-272.15\t    7\t65535\t3.00\t-1.0\t3276.7\t-3276.8\t-3\t255\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    EXPECT_EQ(line(row.flags, s), row.text);
  }
  EXPECT_EQ(st.tdr_count, 3u);
}

TEST_F(TdrLineTest, ClosedFileWritesAndCountsNothing) {
  TdrSample s;
  write_tdr_line(st, st.tdr_file, s, TDR_DEPTH);
  EXPECT_EQ(st.tdr_count, 0u);
  EXPECT_FALSE(file_exists(run.tdr_name));
}

}  // namespace
}  // namespace skelv::test
