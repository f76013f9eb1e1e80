// Dive sample streams: channel order, one-step-late lines, ending codes and records inside.
#include "dive/tdr_stream.h"

#include <gtest/gtest.h>

#include "records/codes.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

// 2020/01/02 03:04:05 UTC: 1577836800 (2020/01/01) + 86400 + 3 * 3600 + 4 * 60 + 5.
constexpr double kT = 1577934245.0;
const std::string kDay = "2020/01/02 ";

class TdrStreamTest : public DecodeTest {
 protected:
  // Decodes `image` as one stream starting at kT; `result` holds its ending code.
  void stream(unsigned flags, const ImageBuilder& image, double interval = 1.0) {
    attach(image.bytes());
    EXPECT_TRUE(out_open(st.tdr_file, run.tdr_name));
    st.time_base = kT;
    result = decode_tdr_stream(st, run, flags, interval);
    out_close(st.tdr_file);
    out_close(st.gps_file);
  }
  std::uint8_t result = 0;
};

TEST_F(TdrStreamTest, EndingCodesCloseWithTheSampleInProgress) {
  struct Row {
    std::uint8_t code;
    bool ctd_open, acc_open;
  };
  const Row rows[] = {{0xFB, false, false}, {0xFE, false, false}, {0xFF, false, false},
                      {0xFD, true, false},  {0xF9, false, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    st.ctd_open = row.ctd_open;
    st.acc_open = row.acc_open;
    ImageBuilder b;
    b.raw({0x00, 0x64, 0x05, row.code});
    stream(TDR_DEPTH, b);
    EXPECT_EQ(tdr(), kDay + "03:04:05.000\t10.000\n" + kDay + "03:04:06.000\t10.500\n");
    EXPECT_EQ(result, row.code);
    EXPECT_EQ(st.time_base, kT + 1.0);  // the time of the closing line
  }
}

TEST_F(TdrStreamTest, ShortStreams) {
  struct Row {
    std::vector<std::uint8_t> bytes;
    std::string text;
  };
  const Row rows[] = {
      {{0x00, 0x64, 0xFE}, kDay + "03:04:05.000\t10.000\n"},  // opening sample alone
      {{0x00}, ""},                                             // input ends in the opening sample
      {{0x00, 0x64, 0x05}, kDay + "03:04:05.000\t10.000\n" + kDay + "03:04:06.000\t10.500\n"},
  };
  for (const Row& row : rows) {
    stream(TDR_DEPTH, ImageBuilder().raw(row.bytes));
    EXPECT_EQ(tdr(), row.text);
  }
  EXPECT_EQ(result, TDRCODE_EOF);
}

TEST_F(TdrStreamTest, NoChannelsWritesTheIllegalStreamLineAndReadsNothing) {
  st.byte_offset = 0x123456789;  // offsets beyond 4 GiB print in full
  stream(0, ImageBuilder().raw({0x00, 0x64}));
  EXPECT_EQ(tdr(), "123456789: Illegal stream contents (0)\n");
  EXPECT_EQ(result, TDRCODE_EOF);
  EXPECT_EQ(st.byte_offset, 0x123456789u);
}

TEST_F(TdrStreamTest, DepthAbove21000BecomesZeroExceptInTheOpeningSample) {
  ImageBuilder b;
  b.u16(24576)         // opening, taken as it comes: 2457.6 m
      .escaped(21000)  // the deepest depth kept
      .step(1)         // 21001 -> 0
      .step(-6)        // 0 - 6 wraps to 65530 -> 0
      .step(5)         // steps go on from 0
      .code(0xFE);
  stream(TDR_DEPTH, b);
  EXPECT_EQ(tdr(), kDay + "03:04:05.000\t2457.600\n" + kDay + "03:04:06.000\t2100.000\n" +
                       kDay + "03:04:07.000\t0.000\n" + kDay + "03:04:08.000\t0.000\n" +
                       kDay + "03:04:09.000\t0.500\n");
}

TEST_F(TdrStreamTest, ChannelsStandInTheirOrderAndTheWetDryByteMoves) {
  st.photo_channels = 1;
  ImageBuilder b;
  // Opening: depth 100, temperature 6000, photo 7, odometer 25, magnetometer 2, -10, 0 and
  // temperature -3, wet/dry byte 1, millimetre byte 5 (10.005 m).
  b.u16(100).u16(6000).u16(7).u16(25).u16(2).u16(0xFFF6).u16(0).u8(0xFD).u8(1).u8(5);
  // Then depth, temperature, photo, wet/dry byte, odometer, magnetometer, millimetre byte:
  // 101, 5998, 8, wet/dry 2, 26, (-3, 0, -1), 30, 9 (10.109 m).
  b.step(1).step(-2).step(1).u8(2).step(1).step(-5).step(10).step(-1).u8(30).u8(9);
  // 101, 5998, 8, wet/dry 3, 26, (-3, 0, -1), 31, 7.
  b.step(0).step(0).step(0).u8(3).step(0).step(0).step(0).step(0).u8(31).u8(7);
  b.code(0xFE);  // at the depth: the closing line drops the millimetres
  stream(0xFF & ~TDR_WETDRY, b);
  // Each line shows the wet/dry byte of the sample read after it.
  EXPECT_EQ(tdr(), kDay + "03:04:05.000\t10.005\t26.85\t    7\t3.00\t0.2\t-1.0\t0.0\t-3\t2\n" +
                       kDay + "03:04:06.000\t10.109\t26.75\t    8\t3.12\t-0.3\t0.0\t-0.1\t30\t3\n" +
                       kDay + "03:04:07.000\t10.100\t26.75\t    8\t3.12\t-0.3\t0.0\t-0.1\t31\t3\n");
}

TEST_F(TdrStreamTest, CodeAtAPhotoChannelClosesWithAMixedSample) {
  st.photo_channels = 2;
  ImageBuilder b;
  b.u16(100).u16(7).u16(8).step(1).step(2).code(0xFE);  // the second channel is never read
  stream(TDR_DEPTH | TDR_PHOTO, b);
  // The unfinished sample takes the place of the opening one, whose line is never written.
  EXPECT_EQ(tdr(), kDay + "03:04:05.000\t10.100\t    9\t    8\n");
}

TEST_F(TdrStreamTest, RecordsInsideTheStreamLeaveTheTimingUnbroken) {
  ImageBuilder b;
  b.u16(100);
  b.gps({2020, 1, 2, 3, 4, 30}, {{5, 0x000A}}).step(1);  // GPS code at offset 2
  b.wetdry(1).step(1);
  b.code(0xF9).code(0xFD).code(0xF1).code(0xF4).step(1);  // no burst or profile open: skipped
  b.code(0xFE);
  stream(TDR_DEPTH | TDR_WETDRY, b, 0.5);
  // A line is written after the next sample, so the wet/dry record before the second further
  // sample already shows in the line of the first.
  EXPECT_EQ(tdr(), kDay + "03:04:05.000\t10.000\t0\n" + kDay + "03:04:05.500\t10.100\t1\n" +
                       kDay + "03:04:06.000\t10.200\t1\n" + kDay + "03:04:06.500\t10.300\t1\n");
  EXPECT_EQ(console, "@00000003 GPS F2!");
  EXPECT_EQ(gps(), "2020/01/02 03:04:30 1 3 0 5 000a\n");
  EXPECT_EQ(result, TDRCODE_START_DRY);
}

TEST_F(TdrStreamTest, InformationRecordTakesEffectFromTheNextValue) {
  st.photo_channels = 1;
  InfoBlock info;
  info.tag_version = 132;  // forced-absolute values from here on
  info.photo_channels = 2;
  info.tdr_interval = 500;  // the running stream keeps its own interval
  ImageBuilder b;
  b.u16(100).u16(7).step(1).step(1);
  // The depth that the record interrupts is still a step; the photo values after it are forced.
  b.info(info).step(1).forced(9).forced(32);
  b.code(0xFE);
  stream(TDR_DEPTH | TDR_PHOTO, b);
  // The opening line is written before the record, the line of the first further sample after.
  EXPECT_EQ(tdr(), kDay + "03:04:05.000\t10.000\t    7\n" + kDay + "03:04:06.000\t10.100\t    8\t    0\n" +
                       kDay + "03:04:07.000\t10.200\t    9\t   32\n");
}

}  // namespace
}  // namespace skelv::test
