// The byte source: offsets, end of input and progress calls, including across buffer refills.
#include <gtest/gtest.h>

#include "input/byte_source.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

class ByteSourceTest : public DecodeTest {
 protected:
  // An input of n bytes whose byte i is i mod 251, so misplaced bytes show.
  void attach_counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    attach(bytes);
  }
  bool read(std::size_t count) {
    buf.assign(count + 1, 0xEE);
    return read_bytes(st, "test", buf.data(), count);
  }
  std::vector<std::uint8_t> buf;
};

TEST_F(ByteSourceTest, ShortReadKeepsTheBytesItGotAndTheOffset) {
  attach({9, 8, 7, 6, 5});
  ASSERT_TRUE(read(2));
  EXPECT_FALSE(read(7));  // 3 bytes left: they are stored, the offset stays
  EXPECT_EQ(std::vector<std::uint8_t>(buf.begin(), buf.begin() + 4), (std::vector<std::uint8_t>{7, 6, 5, 0xEE}));
  EXPECT_EQ(st.byte_offset, 2u);
  EXPECT_TRUE(st.end_of_input);
  EXPECT_FALSE(read(1));  // the flag stays set and later reads fail again
  // The last byte of a file is read; only the read after it fails.
  attach({1, 2, 3});
  st.end_of_input = false;
  st.byte_offset = 0;
  ASSERT_TRUE(read(3));
  EXPECT_FALSE(st.end_of_input);
  EXPECT_FALSE(read(1));
  EXPECT_EQ(st.byte_offset, 3u);
}

TEST_F(ByteSourceTest, ReadsThatStraddleARefillGiveTheFileBytesInOrder) {
  const std::size_t n = kInputBufferSize * 2 + 100;
  attach_counting(n);
  // 65533 single bytes, then 7 bytes across the first refill, then the rest in big pieces.
  for (std::size_t i = 0; i < kInputBufferSize - 3; ++i) ASSERT_TRUE(read(1));
  ASSERT_TRUE(read(7));
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(buf[i], (kInputBufferSize - 3 + i) % 251) << i;
  std::size_t at = kInputBufferSize + 4;
  ASSERT_TRUE(read(kInputBufferSize + 50));  // longer than the buffer itself
  for (std::size_t i = 0; i < kInputBufferSize + 50; ++i) ASSERT_EQ(buf[i], (at + i) % 251) << i;
  at += kInputBufferSize + 50;
  EXPECT_EQ(st.byte_offset, at);
  EXPECT_FALSE(read(n - at + 1));
  EXPECT_EQ(st.byte_offset, at);
  EXPECT_TRUE(st.end_of_input);
}

TEST_F(ByteSourceTest, ProgressIsReportedWhenAReadEndsOnAMultipleOf1024) {
  attach_counting(3000);
  st.tdr_count = 1;
  st.ctd_count = 2;
  st.gps_count = 3;
  st.acc_count = 4;
  ASSERT_TRUE(read(1023));
  EXPECT_TRUE(progress.empty());
  ASSERT_TRUE(read(1));  // one below 1024: the read reaches it
  EXPECT_EQ(progress, (std::vector<ProgressCall>{{1024, 1, 2, 3, 4}}));
  ASSERT_TRUE(read(0));  // zero bytes on a multiple: reported again, offset unchanged
  EXPECT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress.back(), (ProgressCall{1024, 1, 2, 3, 4}));
  ASSERT_TRUE(read(1020));  // four below 2048
  ASSERT_TRUE(read(7));     // ends three past 2048: nothing
  EXPECT_EQ(progress.size(), 2u);
  EXPECT_EQ(st.byte_offset, 2051u);
}

TEST_F(ByteSourceTest, ProgressFollowsTheWholeRunFromTheStartOffset) {
  // 4096 bytes of no start code: the start search reads them one by one.
  ImageBuilder image;
  image.zeros(4096);
  ASSERT_TRUE(decode(image, 2048));
  // The first call comes 1024 bytes after the start offset, with the value 2048 + 1024.
  EXPECT_EQ(progress, (std::vector<ProgressCall>{{3072, 0, 0, 0, 0}, {4096, 0, 0, 0, 0}}));
  EXPECT_EQ(run.byte_count, 4096u);
}

}  // namespace
}  // namespace skelv::test
