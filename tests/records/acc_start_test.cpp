// Accelerometer start (0xF8): the burst's time window and the open-burst flag.
#include <gtest/gtest.h>

#include "accel/acc_test_util.h"
#include "dive/codec.h"
#include "records/handlers.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

struct WindowCase {
  std::uint16_t tdr_interval;  // hundredths of a second
  std::vector<std::string> times;
};

class AccStartWindow : public DecodeTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(AccStartWindow, BurstEndsAtTheTimeBaseAndSpansOneIntervalButAtLeastOneSecond) {
  InfoBlock info;
  info.tdr_interval = GetParam().tdr_interval;
  ImageBuilder image;
  image.info(info).acc_start(256, 0, 4096);
  repeat_samples(image, 3).acc_end().eof();
  st.time_base = 1000000004.0;  // 01:46:44
  ASSERT_TRUE(decode(image));
  std::string expected = std::string(kAccHeader) + "\n";
  for (const std::string& t : GetParam().times) expected += t + "\t-15.0000\t-16.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
}

// Four samples spread over the window, from its start.
INSTANTIATE_TEST_SUITE_P(
    DiveIntervals, AccStartWindow,
    ::testing::Values(
        WindowCase{50, {"2001/09/09 01:46:43.000", "2001/09/09 01:46:43.250", "2001/09/09 01:46:43.500",
                        "2001/09/09 01:46:43.750"}},
        // 1 s exactly: the boundary between the two rules.
        WindowCase{100, {"2001/09/09 01:46:43.000", "2001/09/09 01:46:43.250", "2001/09/09 01:46:43.500",
                         "2001/09/09 01:46:43.750"}},
        WindowCase{200, {"2001/09/09 01:46:42.000", "2001/09/09 01:46:42.500", "2001/09/09 01:46:43.000",
                         "2001/09/09 01:46:43.500"}},
        WindowCase{400, {"2001/09/09 01:46:40.000", "2001/09/09 01:46:41.000", "2001/09/09 01:46:42.000",
                         "2001/09/09 01:46:43.000"}}));

class AccStart : public DecodeTest {};

TEST_F(AccStart, BurstEndedByADiveStartLeavesTheBurstFlagSet) {
  ImageBuilder b;
  b.u16(1).u16(2).u16(3).step(1).step(1).step(1).code(TDRCODE_START_NORMAL);
  b.code(TDRCODE_END_ACC).step(7);  // read later as a stream value
  attach(b.bytes());
  EXPECT_EQ(handle_acc_start(st, run), TDRCODE_START_NORMAL);
  EXPECT_TRUE(st.acc_open);
  EXPECT_EQ(st.acc_pending_count, 2);
  // So a later stream meeting 0xF9 ends there.
  std::uint16_t value = 100;
  EXPECT_EQ(read_rel(st, value, run, false), TDRCODE_END_ACC);
  EXPECT_EQ(value, 100);
}

}  // namespace
}  // namespace skelv::test
