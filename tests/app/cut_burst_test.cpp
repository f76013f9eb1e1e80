// A burst that a stray end-of-data code cuts short: its samples before the code are spread over the
// burst's whole span by their count, so they would stand at times they were not taken at.
#include "damaged_image_fixture.h"

namespace skelv::test {
namespace {

// The burst [40] in the first dive has two samples when the 0xFF [50] ends it (three without it):
// 06:00:00.000 and 06:00:00.500 instead of .000, .333 and .667; raw / 256 - 16 g. With an earlier
// burst of two samples [40] in the same block, the cut burst [52] spans 06:00:01 to 06:00:02 and
// the 0xFF is at [62]: the block's four samples 0.5 s apart. A plain run stops at the code and
// writes them so. -recover writes them only where it decodes nothing after the code (nothing
// plausible follows, or the restart it finds does not hold: one record, the dive at 07:00, before
// the end); where a restart holds (the dive at 07:00 and its burst, a record after the restart),
// the damage cut the burst: its samples go, the block ends with the burst before it (two samples
// over 06:00:00 to 06:00:01), and the restart's burst is written.
TEST_F(DamagedImageTest, ABurstCutShortByDamageIsNotSpreadOverItsSpan) {
  const std::string header = "DATE(UTC)\tX\tY\tZ\n";
  const std::string two = "2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n"
                          "2026/03/14 06:00:00.500\t0.2500\t0.7500\t0.2500\n";
  const std::string four = two + "2026/03/14 06:00:01.000\t0.0000\t0.0000\t0.0000\n" +
                           "2026/03/14 06:00:01.500\t0.0000\t0.0000\t0.0000\n";
  const std::string later = "2026/03/14 07:00:00.000\t0.0000\t0.0000\t0.0000\n";
  enum class After { kRestartHolds, kNothing, kRestartFails };
  for (const bool earlier : {false, true}) {
    for (const After after : {After::kRestartHolds, After::kNothing, After::kRestartFails}) {
      ImageBuilder b;
      b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
      if (earlier) {
        b.acc_start(4096, 4352, 4160).step(64).step(-64).step(0).acc_end().step(5);
        b.acc_start(4096, 4096, 4096).step(0).step(0).step(0);
      } else {
        b.acc_start(4096, 4352, 4160).step(64).step(-64).step(0);
      }
      b.raw({0xFF}).step(64).step(-64).step(0).acc_end().step(5);
      const std::size_t restart = b.size();
      if (after == After::kRestartHolds) {
        b.dive_start(2, kSecondDive, 100).u16(200).step(-10).acc_start(4096, 4096, 4096).acc_end().step(5);
        b.dry_start(100).eof();
      } else if (after == After::kRestartFails) {
        b.dive_start(2, kSecondDive, 100).u16(200).step(-10).step(5);
      }
      const bool holds = after == After::kRestartHolds;
      const unsigned first = earlier ? 62 : 50;
      const unsigned last = static_cast<unsigned>(holds ? restart : b.size()) - 1;
      const Gap end_code{first, last - first + 1, "end-of-data code with data after it"};
      const std::string cut = earlier ? four : two;

      const Outcome plain = skelv(b);
      EXPECT_EQ(plain.status, 0);
      EXPECT_EQ(output("_accel.txt"), header + cut);
      const Outcome recover = skelv(b, "-recover");
      EXPECT_EQ(recover.status, 3);
      const std::string kept = holds ? (earlier ? two : "") + later : cut;
      EXPECT_EQ(output("_accel.txt"), header + end_code.note() + "\n" + kept) << earlier << static_cast<int>(after);
    }
  }
}

// A burst that finds more than 2,000 samples pending begins a block of its own; cut short by a
// stray end-of-data code and dropped, it leaves no block behind: the next burst begins one. 41
// bursts of 50 samples, one after each dive sample (06:00:00 to 06:00:41), make one block of 2,050
// samples 0.02 s apart, written before the cut burst (06:00:41 to 06:00:42) begins its own. The
// restart's dive at 06:00:45 has a burst of one sample 4 s after the block's end: in a block begun
// where the cut burst began, it would stand at 06:00:41.
TEST_F(DamagedImageTest, ABurstAfterACutBurstThatBeganABlockBeginsABlockOfItsOwn) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100);
  std::string block = "DATE(UTC)\tX\tY\tZ\n";
  for (int burst = 0; burst < 41; ++burst) {
    b.step(0).acc_start(4096, 4096, 4096);
    for (int sample = 1; sample < 50; ++sample) b.step(0).step(0).step(0);
    b.acc_end();
  }
  for (int ms = 0; ms < 41000; ms += 20) {
    char line[64];
    std::snprintf(line, sizeof line, "2026/03/14 06:00:%02d.%03d\t0.0000\t0.0000\t0.0000\n", ms / 1000, ms % 1000);
    block += line;
  }
  b.step(0).acc_start(4096, 4352, 4160).step(64).step(-64).step(0);
  const auto first = static_cast<unsigned>(b.size());
  b.raw({0xFF}).step(64).step(-64).step(0).acc_end().step(5);
  const auto restart = static_cast<unsigned>(b.size());
  b.dive_start(2, {2026, 3, 14, 6, 0, 45}, 100).u16(200).step(-10).acc_start(4096, 4096, 4096).acc_end().step(5);
  b.dry_start(100).eof();

  // The block's 2,050 lines first, then what follows it (apart, so that a failure shows the tail).
  const auto after_block = [&] {
    const std::string lines = output("_accel.txt");
    EXPECT_TRUE(lines.starts_with(block));
    return lines.substr(std::min(block.size(), lines.size()));
  };
  EXPECT_EQ(skelv(b).status, 0);
  EXPECT_EQ(after_block(), "2026/03/14 06:00:41.000\t0.0000\t1.0000\t0.2500\n"
                           "2026/03/14 06:00:41.500\t0.2500\t0.7500\t0.2500\n");
  EXPECT_EQ(skelv(b, "-recover").status, 3);
  const Gap end_code{first, restart - first, "end-of-data code with data after it"};
  EXPECT_EQ(after_block(), end_code.note() + "\n" + "2026/03/14 06:00:45.000\t0.0000\t0.0000\t0.0000\n");
}

}  // namespace
}  // namespace skelv::test
