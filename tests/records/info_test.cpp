// The information record: the calibration a CTD sample and an accelerometer burst after it show.
#include <gtest/gtest.h>


#include "support/test_support.h"

namespace skelv::test {
namespace {

using InfoTest = DecodeTest;

TEST_F(InfoTest, CalibrationInForceShowsInTheLinesAfterIt) {
  // After the blocks: a CTD sample of raw pressure 17000 over a surface of 600 (15 C, 0 mS/cm)
  // and a one-sample burst of raw 1024 on each axis, both at time 0 (no dive has set the clock).
  // Pressure (raw - offset) / scale; the offset is 16384 for scales above 16 and below 17, else
  // 600. Acceleration raw * scale - offset g; a count of 0 keeps the scale in force.
  const struct {
    std::vector<InfoBlock> blocks;
    const char *pressures, *g;
  } rows[] = {
      {{}, "546.67\t546.67\t0.00", "-12.0000"},  // 30 counts per dbar, 1/256 g, 16 g
      // Before version 173 the scale is counts per dbar: (17000 - 600) / 16384.
      {{{.tag_version = 172, .pressure_scale = 16384, .acc_counts_per_g = 512}}, "1.00\t1.00\t0.00", "-14.0000"},
      // From 173 on, thousandths: 17.000 is not below 17; 16.001 takes the offset 16384, also
      // for the surface: (600 - 16384) / 16.001 = -986.44.
      {{{.tag_version = 173, .pressure_scale = 17000, .acc_counts_per_g = 0}}, "964.71\t964.71\t0.00", "-12.0000"},
      {{{.tag_version = 173, .pressure_scale = 16001}}, "1024.94\t38.50\t-986.44", "-12.0000"},
      {{{.tag_version = 100, .pressure_scale = 16}}, "1025.00\t1025.00\t0.00", "-12.0000"},  // 16 is not above 16
      // A later block replaces an earlier one, but a count of 0 keeps 1/512 g.
      {{{.pressure_scale = 16, .acc_counts_per_g = 512}, {.acc_counts_per_g = 0}}, "546.67\t546.67\t0.00", "-14.0000"},
      // Blocks of 22, 23 and 24 bytes: the count per g is bytes 21 and 22, the offset byte 23.
      {{{.acc_counts_per_g = 512, .acc_offset = 8, .size = 22}}, "546.67\t546.67\t0.00", "-12.0000"},
      {{{.acc_counts_per_g = 512, .acc_offset = 8, .size = 23}}, "546.67\t546.67\t0.00", "-14.0000"},
      {{{.acc_counts_per_g = 512, .acc_offset = 8, .size = 24}}, "546.67\t546.67\t0.00", "-6.0000"},
      // 8 bytes end right after the pressure scale, which takes effect: (17000 - 600) / 100; 7
      // bytes end inside it, and the default stays.
      {{{.pressure_scale = 100, .size = 8}}, "164.00\t164.00\t0.00", "-12.0000"},
      {{{.pressure_scale = 100, .size = 7}}, "546.67\t546.67\t0.00", "-12.0000"},
      // 3 bytes: the version and half the dive interval; the scale of the block before stays.
      {{{.pressure_scale = 16}, {.tag_version = 132, .pressure_scale = 30, .size = 3}}, "1025.00\t1025.00\t0.00",
       "-12.0000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pressures);
    fresh();
    ImageBuilder image;
    for (const InfoBlock& b : row.blocks) image.info(b);
    EXPECT_TRUE(decode(image.ctd_start(0, {2020, 1, 1, 0, 0, 0}, 100, 600, {17000, 23000, 200}).ctd_end()
                           .acc_start(1024, 1024, 1024).acc_end().eof()));
    EXPECT_EQ(ctd(), kCtdHeader + "\n2020/01/01 00:00:00\t" + row.pressures + "\t15.000\t0.0000\t0.0000\n");
    const std::string g = std::string("\t") + row.g;
    EXPECT_EQ(acc(), "DATE(UTC)\tX\tY\tZ\n1970/01/01 00:00:00.000" + g + g + g + "\n");
  }
  EXPECT_EQ(run.tag_version, 132);
}

}  // namespace
}  // namespace skelv::test
