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
    return read_bytes(rs->input, "test", buf.data(), count);
  }
  std::vector<std::uint8_t> buf;
};

TEST_F(ByteSourceTest, ReadsThatStraddleARefillGiveTheFileBytesInOrderAndAShortReadNone) {
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
  // All but the last byte: no end yet. Two more: the read fails and leaves the offset, but the
  // byte it got is stored; later reads fail too.
  ASSERT_TRUE(read(n - at - 1));
  EXPECT_FALSE(rs->input.end_of_input);
  EXPECT_FALSE(read(2));
  EXPECT_EQ(buf[0], (n - 1) % 251);
  EXPECT_EQ(buf[1], 0xEE);
  EXPECT_EQ(rs->input.byte_offset, n - 1);
  EXPECT_TRUE(rs->input.end_of_input);
  EXPECT_FALSE(read(1));
}

TEST_F(ByteSourceTest, ProgressIsReportedWhenAReadEndsOnAMultipleOf1024) {
  attach_counting(3000);
  rs->text.tdr_file.count = 1;
  rs->text.ctd_file.count = 2;
  rs->text.gps_file.count = 3;
  rs->text.acc_file.count = 4;
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
  EXPECT_EQ(rs->input.byte_offset, 2051u);
}

}  // namespace
}  // namespace skelv::test
