// Accelerometer bursts: samples, blocks of bursts, overflow notes and records inside bursts.
#include <gtest/gtest.h>

#include "accel/acc_burst.h"
#include "accel/acc_output.h"
#include "accel/acc_test_util.h"
#include "input/driver.h"
#include "input/out_file.h"
#include "records/handlers.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

class AccBurst : public DecodeTest {
 protected:
  // What the accelerometer file holds so far.
  std::string acc_so_far() {
    out_flush(st.acc_file);
    return acc();
  }
};

bool same(const AccSample& a, const AccSample& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST_F(AccBurst, EachAxisStepsFromTheSameAxisOfThePreviousSample) {
  ImageBuilder b;
  b.u16(1000).u16(2000).u16(3000)  // first sample, absolute
      .step(5).step(-6).step(0)     // 1005, 1994, 3000
      .escaped(0x0102).step(120).step(-120)  // 258, 2114, 2880
      .acc_end()
      .code(TDRCODE_WETDRY);  // the next record
  attach(b.bytes());
  EXPECT_EQ(decode_acc_burst(st, run, 100.0, 101.0), TDRCODE_WETDRY);
  EXPECT_FALSE(st.acc_open);
  ASSERT_EQ(st.acc_pending_count, 3);
  EXPECT_TRUE(same(st.acc_pending[0], {1000, 2000, 3000}));
  EXPECT_TRUE(same(st.acc_pending[1], {1005, 1994, 3000}));
  EXPECT_TRUE(same(st.acc_pending[2], {258, 2114, 2880}));
  // Held back until the block is written.
  EXPECT_EQ(acc_so_far(), std::string(kAccHeader) + "\n");
}

TEST_F(AccBurst, BlocksJoinUpToTenSecondsApartAndSplitBeyond) {
  // One sample per burst; x = 256 k prints k - 16. Gaps (start minus previous end): 5, 10.0, 10.5.
  ImageBuilder b;
  for (std::uint16_t x : {256, 512, 768, 1024}) b.u16(x).u16(4096).u16(4096).acc_end().code(TDRCODE_ACC);
  attach(b.bytes());
  decode_acc_burst(st, run, 100.0, 101.0);
  decode_acc_burst(st, run, 106.0, 107.0);
  decode_acc_burst(st, run, 117.0, 118.0);
  EXPECT_EQ(acc_so_far(), std::string(kAccHeader) + "\n");
  decode_acc_burst(st, run, 128.5, 129.5);
  // The first block: 3 samples from 100 to 118, a step of 6 s.
  const std::string first_block = std::string(kAccHeader) + "\n" +
                                  "1970/01/01 00:01:40.000\t-15.0000\t0.0000\t0.0000\n"
                                  "1970/01/01 00:01:46.000\t-14.0000\t0.0000\t0.0000\n"
                                  "1970/01/01 00:01:52.000\t-13.0000\t0.0000\t0.0000\n";
  EXPECT_EQ(acc_so_far(), first_block);
  flush_acc(st, st.acc_file);  // as the driver does at the end
  EXPECT_EQ(acc_so_far(), first_block + "1970/01/01 00:02:08.500\t-12.0000\t0.0000\t0.0000\n");
  EXPECT_EQ(st.acc_count, 4u);
}

TEST_F(AccBurst, BlockIsWrittenWhenABurstFindsMoreThan2000Pending) {
  // 42 bursts of 50 samples, burst k from 1000 + k to 1001 + k. After 40 bursts 2000 samples are
  // pending, which is not more than 2000: the 41st joins the block. The 42nd finds 2050 and writes
  // them: 41 s over 2050 samples is a step of 0.02 s. Raw 256, 0, 4096 prints -15, -16, 0.
  ImageBuilder b;
  for (int k = 0; k < 42; ++k) repeat_samples(b.u16(256).u16(0).u16(4096), 49).acc_end().code(TDRCODE_ACC);
  attach(b.bytes());
  for (int k = 0; k < 41; ++k) decode_acc_burst(st, run, 1000.0 + k, 1001.0 + k);
  EXPECT_EQ(acc_so_far(), std::string(kAccHeader) + "\n");
  decode_acc_burst(st, run, 1041.0, 1042.0);
  const std::vector<std::string> lines = lines_of(acc_so_far());
  ASSERT_EQ(lines.size(), 1u + 2050u);
  EXPECT_EQ(lines[1], "1970/01/01 00:16:40.000\t-15.0000\t-16.0000\t0.0000");     // 1000 s
  EXPECT_EQ(lines[1001], "1970/01/01 00:17:00.000\t-15.0000\t-16.0000\t0.0000");  // 1000 + 1000 x 0.02
  EXPECT_EQ(lines[2050], "1970/01/01 00:17:20.980\t-15.0000\t-16.0000\t0.0000");  // 1000 + 2049 x 0.02
  EXPECT_EQ(st.acc_pending_count, 50);
  EXPECT_EQ(st.acc_block_start, 1041.0);
}

TEST_F(AccBurst, InputEndingInsideTheFirstSampleLeavesUnreadAxesZero) {
  attach({0x00, 0x01, 0x00});  // x = 1, then one byte of y
  EXPECT_EQ(decode_acc_burst(st, run, 100.0, 101.0), TDRCODE_EOF);
  EXPECT_TRUE(st.end_of_input);
  ASSERT_EQ(st.acc_pending_count, 1);
  EXPECT_TRUE(same(st.acc_pending[0], {1, 0, 0}));
}

TEST_F(AccBurst, InputEndingRightAfterTheEndCodeReturnsIt) {
  ImageBuilder b;
  b.u16(1).u16(2).u16(3).acc_end();
  attach(b.bytes());
  st.acc_open = true;
  EXPECT_EQ(decode_acc_burst(st, run, 100.0, 101.0), TDRCODE_END_ACC);
  EXPECT_TRUE(st.end_of_input);
  EXPECT_FALSE(st.acc_open);
  EXPECT_EQ(st.acc_pending_count, 1);
}

TEST_F(AccBurst, WarningNoteGoesIntoEveryOpenFileBeforeTheBurstLines) {
  // Offsets: information record 0..25; GPS code at 26, its header to 33; 0xF8 read at 34, so the
  // absolute sample ends at 41 and sample n (n >= 2) at 41 + 3 (n - 1). The 53rd ends at 197 = C5.
  InfoBlock info;
  info.tdr_interval = 5300;  // 53 s: one second per sample
  ImageBuilder image;
  image.info(info).gps({2020, 1, 1, 0, 0, 0}, {}).acc_start(256, 256, 256);
  repeat_samples(image, 52).acc_end().eof();
  st.time_base = 1000000053.0;  // the burst starts at 1000000000 s
  ASSERT_TRUE(decode(image));
  const std::string note = "@000000C5: ACC OVERFLOW: WARNING\n";
  EXPECT_EQ(gps(), "2020/01/01 00:00:00 0 3 0\n" + note);
  std::string expected = std::string(kAccHeader) + "\n" + note;
  for (int i = 0; i < 53; ++i) expected += after_1e9(i) + "\t-15.0000\t-15.0000\t-15.0000\n";
  EXPECT_EQ(acc(), expected);
}

// A burst of 100 samples: 0xF6 record 0..25; burst A (28 samples) from 26 to 115, its end code
// and the next code 0xF8 read at 115; burst B's absolute sample ends at 122, its sample n at
// 122 + 3 (n - 1): the 53rd at 278 = 0x116, the 100th at 419 = 0x1A3.
ImageBuilder overflow_image() {
  InfoBlock info;
  info.tdr_interval = 12800;  // 128 s: one second per sample of the 128 pending
  ImageBuilder image;
  image.info(info).acc_start(256, 256, 256);
  repeat_samples(image, 27).acc_end().acc_start(4096, 4096, 4096);
  repeat_samples(image, 100);  // the 101st sample and the GPS record are never read
  image.gps({2020, 1, 1, 0, 0, 0}, {}).acc_end().eof();
  return image;
}

TEST_F(AccBurst, HundredthSampleEndsTheRunAndKeepsThePendingSamples) {
  st.time_base = 1000000128.0;
  EXPECT_FALSE(decode(overflow_image()));
  EXPECT_EQ(failure(), "ACC OVERFLOW at byte 419\n");
  EXPECT_TRUE(st.acc_overflow);
  EXPECT_EQ(run.byte_count, 419u);
  EXPECT_FALSE(file_exists(run.gps_name));

  std::string expected = std::string(kAccHeader) + "\n";
  for (unsigned at = 0x116; at <= 0x1A3; at += 3) {  // samples 53 to 100: 48 warnings
    char note[64];
    std::snprintf(note, sizeof note, "@%08X: ACC OVERFLOW: WARNING\n", at);
    expected += note;
  }
  expected += "@000001A3: ACC OVERFLOW: FATAL\n";
  for (int i = 0; i < 28; ++i) expected += after_1e9(i) + "\t-15.0000\t-15.0000\t-15.0000\n";
  for (int i = 28; i < 128; ++i) expected += after_1e9(i) + "\t0.0000\t0.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
  EXPECT_EQ(run.acc_count, 128u);
}

TEST_F(AccBurst, HundredthSampleMakesTheProgramExitWithStatusOne) {
  overflow_image().write_to(dir.file("tag.bin"));
  const ProcessResult overflow = run_skelv({"tag.bin"}, dir.path());
  EXPECT_EQ(overflow.status, 1);
  const std::string tail = "Failure: ACC OVERFLOW at byte 419\n\n";
  ASSERT_GE(overflow.out.size(), tail.size());
  EXPECT_EQ(overflow.out.substr(overflow.out.size() - tail.size()), tail);

  // Any other failure keeps status 0.
  ImageBuilder unknown;
  unknown.info(InfoBlock{}).raw({0x05});
  unknown.write_to(dir.file("tag.bin"));
  EXPECT_EQ(run_skelv({"tag.bin"}, dir.path()).status, 0);
}

TEST_F(AccBurst, RecordsInsideABurstAreDecodedAndTheBurstGoesOn) {
  // 0xF6 0..25, 0xF8 at 26, absolute sample 27..32; 0xF2 at 33 is read at offset 34 = 0x22.
  ImageBuilder image;
  image.info(InfoBlock{}).acc_start(256, 256, 256);
  image.gps({2020, 1, 1, 0, 0, 0}, {}).step(5).step(0).step(0);  // GPS in place of x: x = 261
  image.wetdry(1).step(0).step(0).step(0);                      // wet/dry in place of x
  image.acc_end().eof();
  st.time_base = 1000000001.0;
  ASSERT_TRUE(decode(image));
  EXPECT_EQ(console, "@00000022 GPS F2!");
  EXPECT_EQ(gps(), "2020/01/01 00:00:00 0 3 0\n");
  EXPECT_EQ(st.wetdry, 1);
  // 261 / 256 - 16 = -14.98046875.
  EXPECT_EQ(acc(), std::string(kAccHeader) + "\n" + after_1e9(0) + "\t-15.0000\t-15.0000\t-15.0000\n" +
                       after_1e9(0, 333) + "\t-14.9805\t-15.0000\t-15.0000\n" + after_1e9(0, 667) +
                       "\t-14.9805\t-15.0000\t-15.0000\n");
}

TEST_F(AccBurst, BurstInsideABurstKeepsTheOuterSamplesAndEndCode) {
  // The inner burst is appended first. After it the outer burst's own 0xF9 still ends it, so the
  // GPS snapshot that follows is a record of its own, not one inside the burst (no console note).
  ImageBuilder image;
  image.info(InfoBlock{}).acc_start(256, 256, 256);
  image.acc_start(512, 512, 512).acc_end();  // in place of x
  image.step(5).step(0).step(0).acc_end();   // x = 261
  image.gps({2020, 1, 1, 0, 0, 0}, {}).eof();
  st.time_base = 1000000001.0;
  ASSERT_TRUE(decode(image));
  EXPECT_EQ(console, "");
  EXPECT_EQ(gps(), "2020/01/01 00:00:00 0 3 0\n");
  EXPECT_FALSE(st.acc_open);
  EXPECT_EQ(acc(), std::string(kAccHeader) + "\n" + after_1e9(0) + "\t-14.0000\t-14.0000\t-14.0000\n" +
                       after_1e9(0, 333) + "\t-15.0000\t-15.0000\t-15.0000\n" + after_1e9(0, 667) +
                       "\t-14.9805\t-15.0000\t-15.0000\n");
}

TEST_F(AccBurst, NestedBurstsNeverOverfillThePendingBlock) {
  // 2000 samples pending (raw 0: -16 g) from 1000 s. Ten bursts nest, each of 52 samples with
  // x = 256 L at level L, so none starts a block. They append innermost first: after level 2,
  // 2468 are pending; level 1 would make 2520 of 2500, so the 2468 are written first, from 1000 s
  // to the bursts' end at 3468 s (a step of 1 s), and level 1 starts the next block.
  st.acc_pending_count = 2000;
  st.acc_block_start = 1000.0;
  st.acc_last_end = 3467.0;
  st.time_base = 3468.0;  // every burst spans 3467..3468
  ImageBuilder b;
  for (int level = 1; level <= 10; ++level) {
    const auto v = static_cast<std::uint16_t>(256 * level);
    b.u16(v).u16(v).u16(v);
    if (level < 10) b.code(TDRCODE_ACC);  // in place of x: the next level
  }
  for (int level = 10; level >= 1; --level) repeat_samples(b, 51).acc_end();  // x of the first: the inner's next code
  b.eof();
  attach(b.bytes());
  EXPECT_EQ(handle_acc_start(st, run), TDRCODE_EOF);

  const std::vector<std::string> lines = lines_of(acc_so_far());
  ASSERT_EQ(lines.size(), 1u + 2468u);
  EXPECT_EQ(lines[1], "1970/01/01 00:16:40.000\t-16.0000\t-16.0000\t-16.0000");     // 1000 s
  EXPECT_EQ(lines[2000], "1970/01/01 00:49:59.000\t-16.0000\t-16.0000\t-16.0000");  // 2999 s
  EXPECT_EQ(lines[2001], "1970/01/01 00:50:00.000\t-6.0000\t-6.0000\t-6.0000");     // level 10
  EXPECT_EQ(lines[2053], "1970/01/01 00:50:52.000\t-7.0000\t-7.0000\t-7.0000");     // level 9
  EXPECT_EQ(lines[2468], "1970/01/01 00:57:47.000\t-14.0000\t-14.0000\t-14.0000");  // level 2
  EXPECT_EQ(st.acc_pending_count, 52);
  EXPECT_EQ(st.acc_block_start, 3467.0);
  EXPECT_TRUE(same(st.acc_pending[51], {256, 256, 256}));
  EXPECT_TRUE(st.run_ok);
}

// Failures.

TEST_F(AccBurst, OverflowInsideABurstStopsTheOuterBurstToo) {
  // Outer burst: absolute sample 0..5, x step at 6, 0xF8 in place of y at 7. Inner burst:
  // absolute sample 8..13, its 100th sample complete at 14 + 3 x 99 = 311. Nothing after it is
  // read: the outer burst's z and every later byte count as the end of the input.
  ImageBuilder b;
  b.u16(1).u16(1).u16(1).step(0).code(TDRCODE_ACC).u16(2).u16(2).u16(2);
  repeat_samples(b, 99).step(5).step(5).step(5).acc_end().eof();
  attach(b.bytes());
  st.time_base = 1000.0;
  EXPECT_EQ(handle_acc_start(st, run), TDRCODE_EOF);
  EXPECT_EQ(failure(), "ACC OVERFLOW at byte 311\n");
  EXPECT_EQ(st.byte_offset, 311u);
  EXPECT_TRUE(st.end_of_input);
  ASSERT_EQ(st.acc_pending_count, 102);  // the inner burst's 100, then the outer's 2
  EXPECT_TRUE(same(st.acc_pending[99], {2, 2, 2}));
  EXPECT_TRUE(same(st.acc_pending[101], {1, 1, 1}));
}

TEST_F(AccBurst, FileThatCantBeCreatedIsTriedAgainAtTheNextBurst) {
  const std::string good = run.acc_name;
  std::snprintf(run.acc_name, sizeof run.acc_name, "%s", dir.file("missing/tag_accel.txt").c_str());
  ImageBuilder b;
  b.u16(0).u16(0).u16(0).acc_end().code(TDRCODE_ACC).u16(4096).u16(4096).u16(4096).acc_end().eof();
  attach(b.bytes());
  EXPECT_EQ(decode_acc_burst(st, run, 100.0, 101.0), TDRCODE_ACC);
  EXPECT_EQ(failure(), "Can't create ACC data file " + dir.file("missing/tag_accel.txt") + "\n");
  EXPECT_FALSE(st.run_ok);
  EXPECT_FALSE(st.acc_started);

  // The next block drops the sample that had no file to go to.
  std::snprintf(run.acc_name, sizeof run.acc_name, "%s", good.c_str());
  EXPECT_EQ(decode_acc_burst(st, run, 200.0, 201.0), TDRCODE_EOF);
  EXPECT_TRUE(st.acc_started);
  flush_acc(st, st.acc_file);
  EXPECT_EQ(acc_so_far(), std::string(kAccHeader) + "\n" + "1970/01/01 00:03:20.000\t0.0000\t0.0000\t0.0000\n");
}

TEST_F(AccBurst, EveryPrefixOfAnImageDecodesWithItsLinesKept) {
  ImageBuilder image;
  image.info(InfoBlock{}).acc_start(256, 256, 256).step(1).step(2).step(3);
  image.gps({2020, 1, 1, 0, 0, 0}, {{1, 2}}).step(0).escaped(4096).step(0).acc_end();
  image.acc_start(1, 2, 3).raw({TDRCODE_IGNORE}).step(-1).step(-2).step(-3).acc_end().eof();
  for (std::size_t len = 0; len <= image.size(); ++len) {
    DecoderState fresh;
    fresh.console = [](const char*) {};
    skelv::Run prefix_run = run;
    ImageBuilder prefix;
    prefix.raw(std::vector<std::uint8_t>(image.bytes().begin(), image.bytes().begin() + len));
    prefix.write_to(run.input_name);
    EXPECT_TRUE(decode_file(fresh, prefix_run, nullptr, 0, false)) << len;
    const std::string text = read_file(prefix_run.acc_name);
    if (text == "<missing>") continue;
    EXPECT_EQ(lines_of(text).size(), 1u + fresh.acc_count) << len;
    EXPECT_EQ(text.rfind(kAccHeader, 0), 0u) << len;
    std::remove(prefix_run.acc_name);
  }
}

}  // namespace
}  // namespace skelv::test
