// The information record: tag version, calibration and what is derived from them.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace skelv::test {
namespace {

class InfoTest : public DecodeTest {
 protected:
  bool decode_infos(std::initializer_list<InfoBlock> blocks) {
    ImageBuilder image;
    for (const InfoBlock& b : blocks) image.info(b);
    return decode(image.eof());
  }
};

TEST_F(InfoTest, FieldsComeFromTheirOffsets) {
  InfoBlock b;  // 00 AD 00 64 00 32 40 00 ...
  b.tag_version = 173;
  b.tdr_interval = 100;
  b.ctd_interval = 50;
  b.pressure_scale = 0x4000;
  b.temperature_offset = 7000;
  b.temperature_scale = 900;
  b.conductivity_offset = 100;
  b.conductivity_scale = 700;
  b.lag_time_constant = 500;
  b.photo_channels = 3;
  b.acc_counts_per_g = 0x0400;
  b.acc_offset = 8;
  ASSERT_TRUE(decode_infos({b}));
  EXPECT_EQ(run.tag_version, 173);
  EXPECT_EQ(st.tdr_interval, 100);
  EXPECT_EQ(st.ctd_interval, 50);
  EXPECT_DOUBLE_EQ(st.pressure_scale, 16.384);  // 16384 thousandths from version 173 on
  EXPECT_EQ(st.pressure_offset, 16384.0);
  EXPECT_EQ(st.temperature_offset, 7000.0);
  EXPECT_EQ(st.temperature_scale, 900.0);
  EXPECT_EQ(st.conductivity_offset, 100.0);
  EXPECT_EQ(st.conductivity_scale, 700.0);
  EXPECT_EQ(st.lag_time_constant, 500.0);
  EXPECT_EQ(st.photo_channels, 3);
  EXPECT_EQ(st.acc_scale, 1.0 / 1024);
  EXPECT_EQ(st.acc_offset, 8.0);
  EXPECT_FALSE(st.force_abs);
}

TEST_F(InfoTest, PressureOffsetFollowsTheScaleStrictlyBetween16And17) {
  struct Case {
    std::uint16_t version, raw_scale;
    double scale, offset;
  };
  const Case cases[] = {
      {172, 16384, 16384.0, 600.0},  // before 173 the value is counts per dbar
      {173, 17000, 17.0, 600.0},     // 17.0 is not below 17
      {173, 16001, 16.001, 16384.0},
      {100, 16, 16.0, 600.0},  // 16.0 is not above 16
      {100, 30, 30.0, 600.0},
  };
  for (const Case& c : cases) {
    DecoderState fresh;
    st = std::move(fresh);
    InfoBlock b;
    b.tag_version = c.version;
    b.pressure_scale = c.raw_scale;
    ASSERT_TRUE(decode_infos({b}));
    EXPECT_DOUBLE_EQ(st.pressure_scale, c.scale) << c.raw_scale;
    EXPECT_EQ(st.pressure_offset, c.offset) << c.raw_scale;
  }
}

TEST_F(InfoTest, ForcedAbsoluteValuesOnlyForVersions132And133) {
  InfoBlock v132, v133, v134;
  v132.tag_version = 132;
  v133.tag_version = 133;
  v134.tag_version = 134;
  ASSERT_TRUE(decode_infos({v132}));
  EXPECT_TRUE(st.force_abs);
  ASSERT_TRUE(decode_infos({v133}));
  EXPECT_TRUE(st.force_abs);
  ASSERT_TRUE(decode_infos({v133, v134}));  // a later record switches it off again
  EXPECT_FALSE(st.force_abs);
}

TEST_F(InfoTest, ZeroAccelerometerCountsKeepThePreviousScale) {
  InfoBlock set, zero;
  set.acc_counts_per_g = 512;
  zero.acc_counts_per_g = 0;
  ASSERT_TRUE(decode_infos({zero}));
  EXPECT_EQ(st.acc_scale, 1.0 / 256);
  ASSERT_TRUE(decode_infos({set, zero}));
  EXPECT_EQ(st.acc_scale, 1.0 / 512);
}

TEST_F(InfoTest, ShortBlockSetsOnlyTheFieldsItHoldsAndLongBlockIsConsumed) {
  InfoBlock full;
  full.tag_version = 150;
  full.tdr_interval = 200;
  full.photo_channels = 2;
  InfoBlock shorter;
  shorter.tag_version = 132;
  shorter.tdr_interval = 300;
  shorter.photo_channels = 4;
  shorter.size = 3;  // the version and the first byte of the dive interval
  InfoBlock longer;
  longer.tag_version = 160;
  longer.size = 32;  // bytes 24..31 are read and ignored
  ASSERT_TRUE(decode_infos({full, shorter}));
  EXPECT_EQ(run.tag_version, 132);
  EXPECT_EQ(st.tdr_interval, 200);   // its two bytes are not both in the block
  EXPECT_EQ(st.photo_channels, 2);   // kept
  EXPECT_TRUE(st.force_abs);         // derived from the version in force
  EXPECT_EQ(st.pressure_offset, 600.0);
  ASSERT_TRUE(decode_infos({longer}));
  EXPECT_EQ(run.byte_count, 2u + 32u + 1u);  // code, length, block, 0xFF
}

TEST_F(InfoTest, BlockCutShortByTheEndOfInputChangesNothing) {
  InfoBlock b;
  b.tag_version = 133;
  b.tdr_interval = 500;
  ImageBuilder image;
  image.info(b);
  ImageBuilder cut;
  cut.raw(std::vector<std::uint8_t>(image.bytes().begin(), image.bytes().end() - 1));
  ASSERT_TRUE(decode(cut));
  EXPECT_EQ(run.tag_version, -1);
  EXPECT_EQ(st.tdr_interval, 0);
  EXPECT_FALSE(st.force_abs);
  EXPECT_EQ(run.byte_count, 2u);  // the code and the length; the block read came up short
}

TEST_F(InfoTest, DefaultsHoldWithoutAnInformationRecord) {
  ASSERT_TRUE(decode(ImageBuilder().wetdry(1).eof()));
  EXPECT_EQ(run.tag_version, -1);
  EXPECT_EQ(st.pressure_scale, 30.0);
  EXPECT_EQ(st.pressure_offset, 600.0);
  EXPECT_EQ(st.temperature_offset, 8000.0);
  EXPECT_EQ(st.temperature_scale, 1000.0);
  EXPECT_EQ(st.conductivity_offset, 200.0);
  EXPECT_EQ(st.conductivity_scale, 800.0);
  EXPECT_EQ(st.lag_time_constant, 1000.0);
  EXPECT_EQ(st.acc_scale, 0.00390625);
  EXPECT_EQ(st.acc_offset, 16.0);
}

}  // namespace
}  // namespace skelv::test
