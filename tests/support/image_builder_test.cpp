// The test encoder against hand-written bytes, so that every other test can trust it.
#include <gtest/gtest.h>

#include "support/image_builder.h"

namespace skelv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageBuilder, FieldsEncodeAsWritten) {
  ImageBuilder b;
  b.u16(0x1234)
      .time({2019, 3, 4, 5, 6, 7, 9})  // 2019 - 1900 = 119 = 0x77
      .step(5)
      .step(0)
      .step(120)
      .step(-1)    // 0x79
      .step(-120)  // 0xF0
      .escaped(0x0102)
      .forced(0xFA07)
      .change(500, 400)    // -100: a step, 0x78 + 100 = 0xDC
      .change(500, 1000);  // +500: an escape
  EXPECT_EQ(b.bytes(), (Bytes{0x12, 0x34, 0x77, 0x03, 0x04, 0x05, 0x06, 0x07, 0x09, 0x05, 0x00, 0x78,
                              0x79, 0xF0, 0xFA, 0x01, 0x02, 0xFA, 0x07, 0xDC, 0xFA, 0x03, 0xE8}));
}

TEST(ImageBuilder, RecordsEncodeWithTheirCodes) {
  ImageBuilder b;
  b.gps({2019, 3, 4, 5, 6, 7}, {{0x0C, 0x0123}})
      .wetdry(1)
      .dive_start(7, {2020, 1, 2, 3, 4, 5, 0}, 100)
      .dry_start(200)
      .ctd_start(3, {2020, 1, 2, 3, 4, 5, 0}, 50, 600, {1, 2, 3, 4})
      .ctd_end()
      .acc_start(1, 2, 3)
      .acc_end()
      .eof();
  EXPECT_EQ(b.bytes(), (Bytes{0xF2, 0x77, 3, 4, 5, 6, 7, 1, 0x0C, 0x01, 0x23,  // GPS, one entry
                              0xF7, 0x01,                                      // wet/dry
                              0xFB, 7, 120, 1, 2, 3, 4, 5, 0, 0x00, 0x64,      // dive start
                              0xFE, 0x00, 0xC8,                                // dry start
                              0xFC, 3, 120, 1, 2, 3, 4, 5, 0, 0x00, 0x32, 0x02, 0x58,
                              0, 1, 0, 2, 0, 3, 0, 4,  // CTD start with its first sample
                              0xFD, 0xF8, 0, 1, 0, 2, 0, 3, 0xF9, 0xFF}));
}

TEST(ImageBuilder, InfoBlockHoldsItsFieldsAtTheirOffsets) {
  InfoBlock info;
  info.tag_version = 173;
  info.tdr_interval = 100;
  info.ctd_interval = 50;
  info.pressure_scale = 16384;
  info.photo_channels = 2;
  info.acc_counts_per_g = 1024;
  info.acc_offset = 8;
  info.size = 26;
  ImageBuilder b;
  b.info(info);
  EXPECT_EQ(b.bytes(), (Bytes{0xF6, 26,  0x00, 0xAD, 0x00, 0x64, 0x00, 0x32, 0x40, 0x00, 0x1F, 0x40,
                              0x03, 0xE8, 0x00, 0xC8, 0x03, 0x20, 0x03, 0xE8, 2,    0,    0,    0x04,
                              0x00, 8,    0,    0}));
}

}  // namespace
}  // namespace skelv::test
