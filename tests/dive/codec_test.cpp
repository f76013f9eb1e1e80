// Channel values of packed streams: steps, escapes, forced-absolute values and the codes met
// where a value is expected.
#include <gtest/gtest.h>

#include "dive/codec.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CodecTest : public DecodeTest {
 protected:
  // Reads one value from `bytes` starting at `start`; returns the result code.
  std::uint8_t rel(const Bytes& bytes, std::uint16_t start, bool force_abs = false) {
    attach(bytes);
    value = start;
    return read_rel(rs->decoder, value, force_abs);
  }
  std::uint16_t value = 0;
};

TEST_F(CodecTest, EveryByteClassUpdatesTheValueOrEndsTheStream) {
  constexpr int kForced = 1, kCtd = 2, kAcc = 4;  // forced-absolute values, a profile or a burst open
  const struct {
    const char* what;
    Bytes bytes;
    std::uint16_t start;
    int flags;
    std::uint8_t result;
    std::uint16_t expected;
    std::uint64_t consumed;
  } cases[] = {
      {"step +5", {0x05}, 500, 0, 0, 505, 1},
      {"largest step up", {0x78}, 500, 0, 0, 620, 1},
      {"smallest step down", {0x79}, 500, 0, 0, 499, 1},
      {"largest step down", {0xF0}, 500, 0, 0, 380, 1},
      {"step -6 wraps below zero", {0x7E}, 3, 0, 0, 65533, 1},
      {"step +10 wraps above 65535", {0x0A}, 65530, 0, 0, 4, 1},
      {"escape replaces the value", {0xFA, 0x01, 0x02}, 9999, 0, 0, 258, 3},
      {"escaped bytes are never codes", {0xFA, 0xFF, 0xFB}, 0, 0, 0, 0xFFFB, 3},
      {"forced: two bytes", {0x01, 0x02}, 0, kForced, 0, 258, 2},
      {"forced: high byte 0xFA", {0xFA, 0x07}, 0, kForced, 0, 250 * 256 + 7, 2},
      {"forced: low byte never a code", {0x05, 0xFF}, 0, kForced, 0, 5 * 256 + 255, 2},
      {"forced: filler before the high byte", {0xF1, 0x01, 0x02}, 0, kForced, 0, 258, 3},
      {"filler and unused codes skipped", {0xF1, 0xF3, 0xF4, 0xF5, 0x05}, 500, 0, 0, 505, 5},
      // Codes that end the stream: consumed, the byte after them not, the value untouched.
      {"dive start", {0xFB, 0x05}, 1234, 0, 0xFB, 1234, 1},
      {"dry start", {0xFE, 0x05}, 1234, 0, 0xFE, 1234, 1},
      {"end of data", {0xFF, 0x05}, 1234, 0, 0xFF, 1234, 1},
      {"dry start in forced mode", {0xFE, 0x05}, 1234, kForced, 0xFE, 1234, 1},
      {"CTD end in a profile", {0xFD, 0x05}, 1234, kCtd, 0xFD, 1234, 1},
      {"burst end in a burst", {0xF9, 0x05}, 1234, kAcc, 0xF9, 1234, 1},
      {"after filler", {0xF1, 0xFB, 0x05}, 1234, 0, 0xFB, 1234, 2},
      // The input ending inside a value (start 77).
      {"no byte", {}, 77, 0, 0xFF, 77, 0},
      {"half an escape", {0xFA, 0x12}, 77, 0, 0xFF, 77, 1},
      {"filler", {0xF1}, 77, 0, 0xFF, 77, 1},
      {"half a forced value", {0x01}, 77, kForced, 0xFF, 77, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    rs->decoder.ctd.ctd_open = c.flags & kCtd;
    rs->decoder.acc.acc_open = c.flags & kAcc;
    EXPECT_EQ(rel(c.bytes, c.start, c.flags & kForced), c.result);
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(rs->input.byte_offset, c.consumed);
    EXPECT_EQ(rs->input.end_of_input, c.start == 77);
  }
}

TEST_F(CodecTest, LongRunsOfStepsKeepOffsetAndProgressExact) {
  // 70000 steps of +1 cross the read buffer's refill and 68 multiples of 1024; a filler at
  // 2047 is skipped on the way (its byte counts, its step does not exist).
  Bytes bytes(70001, 0x01);
  bytes[2047] = 0xF1;
  attach(bytes);
  std::uint16_t v = 0;
  int values = 0;
  while (read_rel(rs->decoder, v, false) == 0) ++values;
  EXPECT_EQ(values, 70000);
  EXPECT_EQ(v, 70000 % 65536);
  EXPECT_EQ(rs->input.byte_offset, 70001u);
  ASSERT_EQ(progress.size(), 68u);  // 1024 * 68 = 69632
  for (std::size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i].offset, 1024 * (i + 1));
}

}  // namespace
}  // namespace skelv::test
