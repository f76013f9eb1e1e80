// The record loop: start search, end of data, unknown codes and the nesting bound.
#include <gtest/gtest.h>

#include "input/driver.h"
#include "records/dispatcher.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using DispatchTest = DecodeTest;

TEST_F(DispatchTest, DecodingStartsAtTheFirstStartCodeAndStopsAtEndOfData) {
  // Stray codes before the snapshot at offset 6 set nothing; two wet/dry records leave 0;
  // nothing after 0xFF is read.
  ImageBuilder image;
  image.raw({0xF7, 0x01, 0xFF, 0x00, 0xF9, 0xFD}).gps({2019, 3, 4, 5, 6, 7}, {});
  image.raw({0xF7, 0x01, 0xF7, 0x00}).eof().raw({0x12, 0xF2});
  ASSERT_TRUE(decode(image));
  EXPECT_EQ(st.wetdry, 0);
  EXPECT_EQ(run.gps_count, 1u);
  EXPECT_EQ(run.byte_count, image.size() - 2);
  EXPECT_EQ(failure(), "");
}

TEST_F(DispatchTest, UnknownCodesFailTheRunWhereTheyStand) {
  // The code follows a snapshot of 8 bytes, so the offset after it is 9; nothing after it is read.
  for (const std::uint8_t code : {0x05, 0x00, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFA}) {
    st = DecoderState();
    EXPECT_FALSE(decode(ImageBuilder().gps({2019, 3, 4, 5, 6, 7}, {}).code(code).gps({2019, 3, 4, 5, 6, 8}, {}).eof()));
    char text[64];
    std::snprintf(text, sizeof text, "Unknown code %x at byte 9\n", code);
    EXPECT_EQ(failure(), text);
    EXPECT_EQ(run.byte_count, 9u);
    EXPECT_EQ(gps(), "2019/03/04 05:06:07 0 3 0\n");  // output already written stays
  }
}

TEST_F(DispatchTest, NestingStopsAtItsBound) {
  attach({0x03, 0x00});  // the state byte and the next code of a wet/dry record
  // 63 calls in progress: the 64th level is still decoded.
  st.nesting_depth = kMaxNesting - 1;
  EXPECT_EQ(dispatch_record(st, run, 0xF7), 0x00);
  EXPECT_EQ(st.wetdry, 3);
  EXPECT_TRUE(st.run_ok);
  // 64 in progress: a record that would open level 65 fails the run and reads nothing.
  st.nesting_depth = kMaxNesting;
  EXPECT_EQ(dispatch_record(st, run, 0xF7), 0xFF);
  EXPECT_FALSE(st.run_ok);
  EXPECT_EQ(failure(), "Records nested too deeply at byte 2\n");
  EXPECT_EQ(st.byte_offset, 2u);
}

TEST_F(DispatchTest, StartOffsetCountsInTheByteCount) {
  // A snapshot at the end of a 1000-byte input (its next code missing), found from offset 100;
  // the byte count is the offset reached, not the number of bytes read.
  ImageBuilder image;
  image.zeros(992).gps({2019, 3, 4, 5, 6, 7}, {});
  const std::pair<std::int64_t, std::uint64_t> cases[] = {{100, 1000}, {5000, 5000}, {-7, 1000}};
  for (const auto& [offset, count] : cases) {
    ASSERT_TRUE(decode(image, offset));
    EXPECT_EQ(run.byte_count, count) << offset;  // beyond the end nothing is read; negative is 0
  }
  std::snprintf(run.input_name, sizeof run.input_name, "%s", dir.file("absent.bin").c_str());
  EXPECT_FALSE(decode_file(st, run, nullptr, 0, false));
  EXPECT_EQ(failure(), "Can't open TDR data file " + dir.file("absent.bin") + "\n");
}

}  // namespace
}  // namespace skelv::test
