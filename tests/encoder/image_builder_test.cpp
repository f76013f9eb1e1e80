// The image encoder against hand-written bytes, so that every other test can trust it.
#include <gtest/gtest.h>

#include "encoder/image_builder.h"

namespace skelv::test {
namespace {

TEST(ImageBuilder, FieldsAndRecordsEncodeAsWritten) {
  ImageBuilder b;
  b.u16(0x1234).time({2019, 3, 4, 5, 6, 7, 9}).step(5).step(120).step(-1).step(-120);  // 2019: 119 = 0x77
  b.escaped(0x0102).forced(0xFA07).change(500, 400).change(500, 1000);  // -100: 0x78 + 100; +500: an escape
  b.gps({2019, 3, 4, 5, 6, 7}, {{0x0C, 0x0123}}).wetdry(1).dive_start(7, {2020, 1, 2, 3, 4, 5, 0}, 100);
  b.dry_start(200).ctd_start(3, {2020, 1, 2, 3, 4, 5, 0}, 50, 600, {1, 2}).ctd_end().acc_start(1, 2, 3);
  b.acc_end().eof().info({.tag_version = 173, .tdr_interval = 100, .pressure_scale = 16384, .photo_channels = 2,
                          .acc_counts_per_g = 1024, .acc_offset = 8, .size = 26});
  EXPECT_EQ(b.bytes(), (std::vector<std::uint8_t>{
                           0x12, 0x34, 0x77, 3, 4, 5, 6, 7, 9, 0x05, 0x78, 0x79, 0xF0, 0xFA, 0x01, 0x02, 0xFA, 0x07,
                           0xDC, 0xFA, 0x03, 0xE8,                                      // fields
                           0xF2, 0x77, 3, 4, 5, 6, 7, 1, 0x0C, 0x01, 0x23,              // GPS, one entry
                           0xF7, 0x01, 0xFB, 7, 120, 1, 2, 3, 4, 5, 0, 0x00, 0x64,      // wet/dry, dive start
                           0xFE, 0x00, 0xC8, 0xFC, 3, 120, 1, 2, 3, 4, 5, 0, 0x00, 0x32, 0x02, 0x58, 0, 1, 0, 2,
                           0xFD, 0xF8, 0, 1, 0, 2, 0, 3, 0xF9, 0xFF,                    // CTD, burst, end
                           0xF6, 26, 0x00, 0xAD, 0x00, 0x64, 0x00, 0x00, 0x40, 0x00, 0x1F, 0x40, 0x03, 0xE8,
                           0x00, 0xC8, 0x03, 0x20, 0x03, 0xE8, 2, 0, 0, 0x04, 0x00, 8, 0, 0}));  // information
}

}  // namespace
}  // namespace skelv::test
