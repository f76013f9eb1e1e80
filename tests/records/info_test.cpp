// The information record: tag version, calibration and what is derived from them.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace skelv::test {
namespace {

class InfoTest : public DecodeTest {
 protected:
  void decode_infos(std::initializer_list<InfoBlock> blocks) {
    st = DecoderState();
    ImageBuilder image;
    for (const InfoBlock& b : blocks) image.info(b);
    ASSERT_TRUE(decode(image.eof()));
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
  decode_infos({b});
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

TEST_F(InfoTest, DerivedValuesFollowTheFieldsInForce) {
  struct Case {
    std::uint16_t version, raw_scale, acc_counts;
    double scale, offset, acc_scale;
    bool force_abs;
  };
  const Case cases[] = {
      {172, 16384, 512, 16384.0, 600.0, 1.0 / 512, false},  // before 173: counts per dbar
      {173, 17000, 0, 17.0, 600.0, 1.0 / 256, false},       // 17.0 is not below 17; 0 keeps 1/256
      {173, 16001, 256, 16.001, 16384.0, 1.0 / 256, false},
      {100, 16, 256, 16.0, 600.0, 1.0 / 256, false},  // 16.0 is not above 16
      {132, 30, 256, 30.0, 600.0, 1.0 / 256, true},
      {133, 30, 256, 30.0, 600.0, 1.0 / 256, true},
      {134, 30, 256, 30.0, 600.0, 1.0 / 256, false},
  };
  for (const Case& c : cases) {
    InfoBlock b;
    b.tag_version = c.version;
    b.pressure_scale = c.raw_scale;
    b.acc_counts_per_g = c.acc_counts;
    decode_infos({b});
    EXPECT_DOUBLE_EQ(st.pressure_scale, c.scale) << c.version;
    EXPECT_EQ(st.pressure_offset, c.offset) << c.version;
    EXPECT_EQ(st.acc_scale, c.acc_scale) << c.version;
    EXPECT_EQ(st.force_abs, c.force_abs) << c.version;
  }
  // A later record replaces an earlier one, but a zero count keeps the scale in force.
  InfoBlock v133, v134;
  v133.tag_version = 133;
  v133.acc_counts_per_g = 512;
  v134.tag_version = 134;
  v134.acc_counts_per_g = 0;
  decode_infos({v133, v134});
  EXPECT_FALSE(st.force_abs);
  EXPECT_EQ(st.acc_scale, 1.0 / 512);
}

TEST_F(InfoTest, ShortLongAndCutBlocks) {
  InfoBlock full, shorter, longer;
  full.tag_version = 150;
  full.tdr_interval = 200;
  full.photo_channels = 2;
  shorter.tag_version = 132;
  shorter.tdr_interval = 300;
  shorter.size = 3;  // the version and the first byte of the dive interval
  longer.size = 32;  // bytes 24..31 are read and ignored
  decode_infos({full, shorter, longer});
  EXPECT_EQ(run.byte_count, 2u + 24 + 2 + 3 + 2 + 32 + 1);
  decode_infos({full, shorter});
  EXPECT_EQ(run.tag_version, 132);
  EXPECT_EQ(st.tdr_interval, 200);  // its two bytes are not both in the block
  EXPECT_EQ(st.photo_channels, 2);
  EXPECT_TRUE(st.force_abs);  // derived from the version in force

  // A block cut short by the end of the input changes nothing.
  ImageBuilder image;
  image.info(full);
  st = DecoderState();
  ASSERT_TRUE(decode(ImageBuilder().raw(std::vector<std::uint8_t>(image.bytes().begin(), image.bytes().end() - 1))));
  EXPECT_EQ(run.tag_version, -1);
  EXPECT_EQ(st.tdr_interval, 0);
  EXPECT_EQ(run.byte_count, 2u);  // the code and the length; the block read came up short
}

TEST_F(InfoTest, DefaultsHoldWithoutAnInformationRecord) {
  ASSERT_TRUE(decode(ImageBuilder().wetdry(1).eof()));
  EXPECT_EQ(run.tag_version, -1);
  const double values[] = {st.pressure_scale, st.pressure_offset, st.temperature_offset,
                           st.temperature_scale, st.conductivity_offset, st.conductivity_scale,
                           st.lag_time_constant, st.acc_scale, st.acc_offset};
  const double defaults[] = {30.0, 600.0, 8000.0, 1000.0, 200.0, 800.0, 1000.0, 0.00390625, 16.0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(values[i], defaults[i]) << i;
}

}  // namespace
}  // namespace skelv::test
