// Accelerometer bursts: blocks of bursts written with evenly spread times in g, nesting and
// overflow notes. Bursts inside dive and CTD streams: the whole-run tests.
#include "accel/acc_burst.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "accel/acc_output.h"
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

TEST_F(AccBurst, BlocksEndAtGapsAbove10SecondsAndBeyond2000PendingSamples) {
  // Single samples, gaps 5 and 10.0 s: one block. 1/256 g per count less 16 g: raw 0 -16,
  // 256 -15, 4096 0, 512 -14, 768 -13, 1024 -12. 10.5 s later 42
  // bursts of 50 samples follow back to back, 1 s each: the 41st finds 2000 pending, not more,
  // and joins; the 42nd finds 2050 and writes them over 41 s, 0.02 s apart.
  ImageBuilder b;
  for (std::uint16_t x : {0, 512, 768}) b.u16(x).u16(256).u16(4096).acc_end().code(TDRCODE_ACC);
  for (int k = 0; k < 42; ++k) same(b.u16(1024).u16(4096).u16(4096), 49).acc_end().code(TDRCODE_ACC);
  attach(b.bytes());
  decode_acc_burst(rs->decoder, 100.0, 101.0);
  decode_acc_burst(rs->decoder, 106.0, 107.0);
  decode_acc_burst(rs->decoder, 117.0, 118.0);
  for (int k = 0; k < 41; ++k) decode_acc_burst(rs->decoder, 128.5 + k, 129.5 + k);
  // The first block: 3 samples from 100 to 118 s, 6 s apart.
  std::string expected = kHeader + at(100000) + "\t-16.0000\t-15.0000\t0.0000\n" + at(106000) +
                         "\t-14.0000\t-15.0000\t0.0000\n" + at(112000) + "\t-13.0000\t-15.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
  EXPECT_EQ(decode_acc_burst(rs->decoder, 169.5, 170.5), TDRCODE_ACC);
  for (long i = 0; i < 2050; ++i) expected += at(128500 + 20 * i) + "\t-12.0000\t0.0000\t0.0000\n";
  EXPECT_EQ(acc(), expected);
}

TEST_F(AccBurst, NestedBurstsFillThePendingBlockToItsCapacityAndNoFurther) {
  // 2000 samples pending (raw 0: -16 g) from 1000 s. Ten bursts nest, each of `per` samples with
  // x = y = z = 256 L at level L, all spanning 3467..3468 s. They append innermost first: 50 each
  // make exactly 2500, one block over 1000..3468 s; 52 each would make 2520, so the 2468 before
  // level 1 are written 1 s apart and level 1 starts the next block.
  for (const int per : {50, 52}) {
    SCOPED_TRACE(per);
    fresh();
    std::remove(run.acc_name);
    rs->decoder.acc.acc_pending_count = 2000;
    rs->decoder.acc.acc_block_start = 1000.0;
    rs->decoder.acc.acc_last_end = 3467.0;
    rs->decoder.deployment.time_base = 3468.0;
    ImageBuilder b;
    for (int level = 1; level <= 10; ++level) {
      const auto v = static_cast<std::uint16_t>(256 * level);
      b.u16(v).u16(v).u16(v);
      if (level < 10) b.code(TDRCODE_ACC);  // in place of x: the next level
    }
    for (int level = 10; level >= 1; --level) same(b, per - 1).acc_end();
    attach(b.eof().bytes());
    EXPECT_EQ(handle_acc_start(rs->decoder), TDRCODE_EOF);
    flush_acc(rs->decoder);  // what the driver does at the end of the run
    std::vector<int> g(2000, -16);
    for (int level = 10; level >= 1; --level) g.insert(g.end(), per, level - 16);
    const std::size_t first = per == 50 ? g.size() : g.size() - 52;  // lines of the first block
    std::string expected = kHeader;
    for (std::size_t i = 0; i < g.size(); ++i) {
      const double t = i < first ? 1000 + i * 2468.0 / first : 3467 + (i - first) / 52.0;
      const std::string v = std::string("\t").append(std::to_string(g[i])).append(".0000");
      expected += at(std::lround(t * 1000)) + v + v + v + "\n";
    }
    EXPECT_EQ(acc(), expected);
  }
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
  rs->decoder.deployment.time_base = 1155.0;
  ASSERT_TRUE(out_open(rs->text.tdr_file.file, run.tdr_name) && out_open(rs->text.ctd_file.file, run.ctd_name));  // open: noted too
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
  EXPECT_EQ(tdr(), notes);
  EXPECT_EQ(ctd(), notes);
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
