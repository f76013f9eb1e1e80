// Accelerometer bursts: their start record and time window, blocks of bursts written with evenly
// spread times in g, overflow notes and records inside bursts. Every prefix of images with bursts
// inside dive and CTD streams: the end-to-end deployment.
#include "accel/acc_burst.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "records/handlers.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

const std::string kHeader = "DATE(UTC)\tX\tY\tZ\n";

// "1970/01/01 hh:mm:ss.mmm" for a time of that day in milliseconds.
std::string at(long ms) {
  char text[40];
  std::snprintf(text, sizeof text, "1970/01/01 %02ld:%02ld:%02ld.%03ld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return text;
}

// Appends `count` samples equal to the previous one.
ImageBuilder& same(ImageBuilder& b, int count) {
  for (int i = 0; i < count; ++i) b.step(0).step(0).step(0);
  return b;
}

class AccBurst : public DecodeTest {};

// An information record (512 counts per g, offset 8 g). Dive 1 (regime 2, 0.5 s per sample) from
// 03:04:05: depth 100, then in place of the next depth a burst holding a GPS snapshot and a wet/dry
// record, cut by dive 2 (2 s per sample) from 03:05:05: depth 200, -5, then 0xF9, which ends dive 2
// because the cut burst is still open. A GPS snapshot of its own follows, and a burst cut in its first sample.
ImageBuilder dive_image() {
  ImageBuilder image;
  image.info({.acc_counts_per_g = 512, .acc_offset = 8}).dive_start(2, {2020, 1, 2, 3, 4, 5}, 50).u16(100).acc_start(4096, 0, 256);
  image.gps({2020, 1, 2, 3, 4, 6}, {}).step(64).step(0).step(0);  // in place of x: 4160
  image.wetdry(1).step(0).step(64).step(0).step(0).step(0).step(-64);
  image.dive_start(2, {2020, 1, 2, 3, 5, 5}, 200).u16(200).step(-5).acc_end();
  image.gps({2020, 1, 2, 3, 5, 6}, {}).code(TDRCODE_ACC).raw({0x02, 0x00, 0x01});  // cut in y: x 512, y z 0
  return image;
}

TEST_F(AccBurst, BurstsInADiveStreamAreDatedFromItsClockAndHoldOtherRecords) {
  ASSERT_TRUE(decode(dive_image()));
  // Information record 0..25, dive start 26..36, depth 37..38, 0xF8 at 39, first sample 40..45:
  // the GPS code is read by 47 = 2Fh. Dive 2 ends at 0xF9, so the second snapshot is a record of
  // its own: no second note.
  EXPECT_EQ(console, "@0000002F GPS F2!");
  EXPECT_EQ(gps(), "2020/01/02 03:04:06 0 3 0\n2020/01/02 03:05:06 0 3 0\n");
  EXPECT_EQ(st.wetdry, 1);
  EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\n"
                   "2020/01/02 03:04:05.000\t10.000\n"
                   "2020/01/02 03:05:05.000\t20.000\n"
                   "2020/01/02 03:05:07.000\t19.500\n");
  // Burst 1 ends at the dive clock, 03:04:05, and spans 1 s (interval 0.5 s, below 1 s): four
  // samples 0.25 s apart. 1/512 g per count less 8 g: raw 4096 0, 0 -8, 256 -7.5, 4160 0.125,
  // 64 -7.875, 192 -7.625. Burst 2 ends at 03:05:07 and spans the 2 s interval; 60 s after
  // burst 1 it starts a block, written by the driver at the end: 512 -7.
  EXPECT_EQ(acc(), kHeader +
                       "2020/01/02 03:04:04.000\t0.0000\t-8.0000\t-7.5000\n"
                       "2020/01/02 03:04:04.250\t0.1250\t-8.0000\t-7.5000\n"
                       "2020/01/02 03:04:04.500\t0.1250\t-7.8750\t-7.5000\n"
                       "2020/01/02 03:04:04.750\t0.1250\t-7.8750\t-7.6250\n"
                       "2020/01/02 03:05:05.000\t-7.0000\t-8.0000\t-8.0000\n");
}

TEST_F(AccBurst, BlocksEndAtGapsAbove10SecondsAndBeyond2000PendingSamples) {
  // Single samples, gaps 5 and 10.0 s: one block. 1/256 g per count less 16 g: raw 0 -16,
  // 256 -15, 4096 0, 512 -14, 768 -13, 1024 -12. 10.5 s later 42
  // bursts of 50 samples follow back to back, 1 s each: the 41st finds 2000 pending, not more,
  // and joins; the 42nd finds 2050 and writes them over 41 s, 0.02 s apart.
  ImageBuilder b;
  for (std::uint16_t x : {0, 512, 768}) b.u16(x).u16(256).u16(4096).acc_end().code(TDRCODE_ACC);
  for (int k = 0; k < 42; ++k) same(b.u16(1024).u16(4096).u16(4096), 49).acc_end().code(TDRCODE_ACC);
  attach(b.bytes());
  decode_acc_burst(st, run, 100.0, 101.0);
  decode_acc_burst(st, run, 106.0, 107.0);
  decode_acc_burst(st, run, 117.0, 118.0);
  for (int k = 0; k < 41; ++k) decode_acc_burst(st, run, 128.5 + k, 129.5 + k);
  // The first block: 3 samples from 100 to 118 s, 6 s apart.
  std::string expected = kHeader + at(100000) + "\t-16.0000\t-15.0000\t0.0000\n" + at(106000) +
                         "\t-14.0000\t-15.0000\t0.0000\n" + at(112000) + "\t-13.0000\t-15.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
  EXPECT_EQ(decode_acc_burst(st, run, 169.5, 170.5), TDRCODE_ACC);
  for (long i = 0; i < 2050; ++i) expected += at(128500 + 20 * i) + "\t-12.0000\t0.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
}

TEST_F(AccBurst, NestedBurstsNeverOverfillThePendingBlock) {
  // 2000 samples pending (raw 0: -16 g) from 1000 s. Ten bursts nest, each of 52 samples with
  // x = y = z = 256 L at level L, all spanning 3467..3468 s. They append innermost first: after
  // level 2, 2468 are pending; level 1 would make 2520 of 2500, so the 2468 are written first,
  // 1 s apart, and level 1 starts the next block.
  st.acc_pending_count = 2000;
  st.acc_block_start = 1000.0;
  st.acc_last_end = 3467.0;
  st.time_base = 3468.0;
  ImageBuilder b;
  for (int level = 1; level <= 10; ++level) {
    const auto v = static_cast<std::uint16_t>(256 * level);
    b.u16(v).u16(v).u16(v);
    if (level < 10) b.code(TDRCODE_ACC);  // in place of x: the next level
  }
  for (int level = 10; level >= 1; --level) same(b, 51).acc_end();
  attach(b.eof().bytes());
  EXPECT_EQ(handle_acc_start(st, run), TDRCODE_EOF);
  std::string expected = kHeader;
  for (int i = 0; i < 2468; ++i) {
    const std::string g = std::string("\t").append(std::to_string(i < 2000 ? -16 : 10 - (i - 2000) / 52 - 16)).append(".0000");
    expected += at((1000 + i) * 1000L) + g + g + g + "\n";
  }
  EXPECT_EQ(acc(), expected);
  EXPECT_EQ(st.acc_pending_count, 52);
  EXPECT_EQ(st.acc_pending[51].x, 256);
}

// Failures.

TEST_F(AccBurst, HundredthSampleEndsTheRunWithEveryPendingSampleWritten) {
  // Information record 0..25, GPS snapshot 26..33. Burst A: 0xF8 at 34, first sample 35..40, its
  // sample n read by 41 + 3 (n - 1): the 53rd by C5h. Its 0xF9 at 197, burst C's 0xF8 at 198,
  // first sample 199..204, x step 205, then in place of y burst B: 0xF8 at 206, first sample
  // 207..212, sample n read by 213 + 3 (n - 1): the 53rd by 171h, the 100th by 1FEh. C reads
  // nothing more: its second sample keeps y and z and no further byte counts.
  ImageBuilder image;  // every burst spans 1000..1155 s: 155 samples 1 s apart
  image.info({.tdr_interval = 15500}).gps({2020, 1, 1, 0, 0, 0}, {}).acc_start(256, 256, 256);
  same(image, 52).acc_end().acc_start(512, 512, 512).step(0).acc_start(4096, 4096, 4096);
  same(image, 100).gps({2020, 1, 1, 0, 0, 0}, {}).acc_end().eof();  // never read
  st.time_base = 1155.0;
  EXPECT_FALSE(decode(image));
  EXPECT_EQ(failure(), "ACC OVERFLOW at byte 510\n");
  EXPECT_EQ(run.byte_count, 510u);

  std::string notes = "@000000C5: ACC OVERFLOW: WARNING\n";
  for (unsigned offset = 0x171; offset <= 0x1FE; offset += 3) {
    char note[64];
    std::snprintf(note, sizeof note, "@%08X: ACC OVERFLOW: WARNING\n", offset);
    notes += note;
  }
  notes += "@000001FE: ACC OVERFLOW: FATAL\n";
  EXPECT_EQ(gps(), "2020/01/01 00:00:00 0 3 0\n" + notes);
  // A's 53 samples (-15 g), B's 100 (0 g), then C's 2 (-14 g), appended as each burst ends.
  std::string expected = kHeader + notes;
  for (long i = 0; i < 155; ++i) {
    const std::string g = i < 53 ? "\t-15.0000" : i < 153 ? "\t0.0000" : "\t-14.0000";
    expected += at((1000 + i) * 1000) + g + g + g + "\n";
  }
  EXPECT_EQ(acc(), expected);

  const ProcessResult exe = run_skelv({"tag.bin"}, dir.path());
  EXPECT_EQ(exe.status, 1);
  EXPECT_TRUE(exe.out.ends_with("Failure: ACC OVERFLOW at byte 510\n\n")) << exe.out;
}

}  // namespace
}  // namespace skelv::test
