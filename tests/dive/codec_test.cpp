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
    return read_rel(st, value, run, force_abs);
  }
  std::uint16_t value = 0;
};

struct ValueCase {
  const char* what;
  Bytes bytes;
  std::uint16_t start;
  bool force_abs;
  std::uint16_t expected;
  std::uint64_t consumed;
};

TEST_F(CodecTest, EveryByteClassUpdatesTheValue) {
  const ValueCase cases[] = {
      {"step +5", {0x05}, 500, false, 505, 1},
      {"step 0 repeats", {0x00}, 500, false, 500, 1},
      {"largest step up", {0x78}, 500, false, 620, 1},
      {"smallest step down", {0x79}, 500, false, 499, 1},
      {"largest step down", {0xF0}, 500, false, 380, 1},
      {"step -6 wraps below zero", {0x7E}, 3, false, 65533, 1},
      {"step +10 wraps above 65535", {0x0A}, 65530, false, 4, 1},
      {"escape replaces the value", {0xFA, 0x01, 0x02}, 9999, false, 258, 3},
      {"escaped bytes are never codes", {0xFA, 0xFF, 0xFB}, 0, false, 0xFFFB, 3},
      {"forced: two bytes", {0x01, 0x02}, 0, true, 258, 2},
      {"forced: high byte 0xFA", {0xFA, 0x07}, 0, true, 250 * 256 + 7, 2},
      {"forced: low byte never a code", {0x05, 0xFF}, 0, true, 5 * 256 + 255, 2},
      {"filler skipped", {0xF1, 0x05}, 500, false, 505, 2},
      {"unused code skipped", {0xF4, 0x05}, 500, false, 505, 2},
      {"0xF3 and 0xF5 skipped", {0xF3, 0xF5, 0x05}, 500, false, 505, 3},
      {"0xFD with no profile open skipped", {0xFD, 0x05}, 500, false, 505, 2},
      {"0xF9 with no burst open skipped", {0xF9, 0x05}, 500, false, 505, 2},
      {"forced: filler before the high byte", {0xF1, 0x01, 0x02}, 0, true, 258, 3},
  };
  for (const ValueCase& c : cases) {
    DecoderState fresh;
    fresh.console = st.console;
    st = std::move(fresh);
    EXPECT_EQ(rel(c.bytes, c.start, c.force_abs), 0) << c.what;
    EXPECT_EQ(value, c.expected) << c.what;
    EXPECT_EQ(st.byte_offset, c.consumed) << c.what;
  }
}

TEST_F(CodecTest, EndingCodesAreReturnedWithTheValueUntouched) {
  struct Case {
    const char* what;
    Bytes bytes;
    bool ctd_open, acc_open, force_abs;
    std::uint8_t result;
  };
  const Case cases[] = {
      {"dive start", {0xFB, 0x05}, false, false, false, 0xFB},
      {"dry start", {0xFE, 0x05}, false, false, false, 0xFE},
      {"end of data", {0xFF, 0x05}, false, false, false, 0xFF},
      {"dry start in forced mode", {0xFE, 0x05}, false, false, true, 0xFE},
      {"CTD end in a profile", {0xFD, 0x05}, true, false, false, 0xFD},
      {"burst end in a burst", {0xF9, 0x05}, false, true, false, 0xF9},
      {"after filler", {0xF1, 0xFB, 0x05}, false, false, false, 0xFB},
  };
  for (const Case& c : cases) {
    DecoderState fresh;
    st = std::move(fresh);
    st.ctd_open = c.ctd_open;
    st.acc_open = c.acc_open;
    EXPECT_EQ(rel(c.bytes, 1234, c.force_abs), c.result) << c.what;
    EXPECT_EQ(value, 1234) << c.what;
    // The code is consumed; the byte after it is not.
    EXPECT_EQ(st.byte_offset, c.bytes.size() - 1) << c.what;
  }
}

TEST_F(CodecTest, EndOfInputInsideAValueLeavesItUntouched) {
  const Bytes cut[] = {{}, {0xFA, 0x12}, {0xF1}, {0xF4}, {0x01}};
  for (const Bytes& bytes : cut) {
    DecoderState fresh;
    st = std::move(fresh);
    const bool forced = bytes.size() == 1 && bytes[0] == 0x01;
    EXPECT_EQ(rel(bytes, 77, forced), 0xFF);
    EXPECT_EQ(value, 77);
    EXPECT_TRUE(st.end_of_input);
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
  while (read_rel(st, v, run, false) == 0) ++values;
  EXPECT_EQ(values, 70000);
  EXPECT_EQ(v, 70000 % 65536);
  EXPECT_EQ(st.byte_offset, 70001u);
  ASSERT_EQ(progress.size(), 68u);  // 1024 * 68 = 69632
  for (std::size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i].offset, 1024 * (i + 1));
}

}  // namespace
}  // namespace skelv::test
