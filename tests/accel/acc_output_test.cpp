// Accelerometer lines: calibration to g and evenly spread times over a block.
#include <gtest/gtest.h>

#include "accel/acc_output.h"
#include "accel/acc_test_util.h"
#include "input/out_file.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

class AccOutput : public DecodeTest {
 protected:
  // Writes the pending block as the driver does at the end of a run and returns the file.
  std::string flushed(std::initializer_list<AccSample> samples, double block_start, double last_end) {
    int n = 0;
    for (const AccSample& s : samples) st.acc_pending[n++] = s;
    st.acc_pending_count = n;
    st.acc_block_start = block_start;
    st.acc_last_end = last_end;
    EXPECT_TRUE(out_open(st.acc_file, run.acc_name));
    flush_acc(st, st.acc_file);
    out_close(st.acc_file);
    return acc();
  }
};

TEST_F(AccOutput, DefaultCalibrationGivesGFromRawCounts) {
  // 1/256 g per count, offset 16 g: 0 -> -16, 256 -> -15, 4096 -> 0. 100.0 s is 00:01:40.
  EXPECT_EQ(flushed({{0, 256, 4096}}, 100.0, 101.0), "1970/01/01 00:01:40.000\t-16.0000\t-15.0000\t0.0000\n");
  EXPECT_EQ(st.acc_count, 1u);
}

TEST_F(AccOutput, BlockTimesAreSpreadEvenlyFromItsStart) {
  // 4 samples over 1 s: a step of 0.25 s; the last sample sits one step before the block's end.
  EXPECT_EQ(flushed({{256, 256, 256}, {512, 512, 512}, {768, 768, 768}, {1024, 1024, 1024}}, 100.0, 101.0),
            "1970/01/01 00:01:40.000\t-15.0000\t-15.0000\t-15.0000\n"
            "1970/01/01 00:01:40.250\t-14.0000\t-14.0000\t-14.0000\n"
            "1970/01/01 00:01:40.500\t-13.0000\t-13.0000\t-13.0000\n"
            "1970/01/01 00:01:40.750\t-12.0000\t-12.0000\t-12.0000\n");
  EXPECT_EQ(st.acc_count, 4u);
}

TEST_F(AccOutput, ClosedFileWritesAndCountsNothing) {
  write_acc_line(st, st.acc_file, 100.0, {1, 2, 3});
  EXPECT_EQ(st.acc_count, 0u);
  EXPECT_FALSE(file_exists(run.acc_name));
}

TEST_F(AccOutput, InformationRecordSetsTheCalibration) {
  // N = 512 counts per g and an offset of 8 g: 4096 -> 0, 0 -> -8, 256 -> -7.5.
  InfoBlock info;
  info.acc_counts_per_g = 512;
  info.acc_offset = 8;
  ImageBuilder image;
  image.info(info).acc_start(4096, 0, 256).acc_end().eof();
  st.time_base = 1000000001.0;  // the burst spans the second before: from 01:46:40
  ASSERT_TRUE(decode(image));
  EXPECT_EQ(acc(), std::string(kAccHeader) + "\n" + after_1e9(0) + "\t0.0000\t-8.0000\t-7.5000\n");
  EXPECT_EQ(run.acc_count, 1u);
}

}  // namespace
}  // namespace skelv::test
