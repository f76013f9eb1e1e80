// The record loop: unknown codes and the byte count from a start offset.
#include <gtest/gtest.h>

#include "records/dispatcher.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using DispatchTest = DecodeTest;

TEST_F(DispatchTest, UnknownCodesFailTheRunWhereTheyStand) {
  // The code follows a snapshot of 8 bytes, so the offset after it is 9; nothing after it is read.
  for (const std::uint8_t code : {0x05, 0x00, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFA}) {
    fresh();
    EXPECT_FALSE(decode(ImageBuilder().gps({2019, 3, 4, 5, 6, 7}, {}).code(code).gps({2019, 3, 4, 5, 6, 8}, {}).eof()));
    char text[64];
    std::snprintf(text, sizeof text, "Unknown code %x at byte 9\n", code);
    EXPECT_EQ(failure(), text);
    EXPECT_EQ(run.byte_count, 9u);
    EXPECT_EQ(gps(), "2019/03/04 05:06:07 0 3 0\n");  // output already written stays
  }
}

TEST_F(DispatchTest, StartOffsetCountsInTheByteCount) {
  // A snapshot at the end of a 1000-byte input (its next code missing), found from offset 100;
  // the byte count is the offset reached, not the number of bytes read.
  ImageBuilder image;
  image.zeros(992).gps({2019, 3, 4, 5, 6, 7}, {});
  const std::pair<std::int64_t, std::uint64_t> cases[] = {{100, 1000}, {1000, 1000}, {-7, 1000}};
  for (const auto& [offset, count] : cases) {
    ASSERT_TRUE(decode(image, offset));
    EXPECT_EQ(run.byte_count, count) << offset;  // at the end nothing is read; negative is 0
  }
}

}  // namespace
}  // namespace skelv::test
