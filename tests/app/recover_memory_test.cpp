// What a -recover run holds while it may still read data again: bounded by the input it covers,
// not by the records in it, and all that reading again needs.
#include <sys/resource.h>

#include <algorithm>

#include "damaged_image_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define SKELV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKELV_TEST_ASAN 1
#endif
#endif

namespace skelv::test {
namespace {

// After the restart [45] the window for another tag's information record stays open for 512 KiB
// of input; here it covers 300,000 wet/dry records of 2 bytes inside the second dive, each a
// checkpoint. Only those a roll-back can reach (4 KiB behind) are kept: the run stays within the
// 64 MiB a run may take (it took 140 MB when it kept them all). The dives' lines are all written:
// 3 of the first dive, 1 + 1100 of the second.
TEST_F(DamagedImageTest, TheWindowAfterARestartHoldsNoMoreThanItsInput) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05});
  b.dive_start(2, kSecondDive, 100).u16(200);
  for (int k = 0; k < 1100; ++k) b.step(0);
  std::vector<std::uint8_t> wetdry;
  for (int k = 0; k < 300000; ++k) wetdry.insert(wetdry.end(), {0xF7, 0x00});
  b.raw(wetdry).eof();
  const Outcome o = skelv(b, "-recover");
  EXPECT_EQ(o.status, 3);
  EXPECT_NE(o.out.find("  tag_tdr.txt: 1104 TDR records\n"), std::string::npos) << o.out;
#ifndef SKELV_TEST_ASAN
  rusage children{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 64 * 1024) << "KiB";
#endif
}

// The block of bursts pending at the restart [45] (two samples, as in
// DamageTakesBackTheBlockWrittenOutBeforeIt) is written out when the burst of the second dive
// starts another block, and the checkpoints of the next 5,000 samples go. The other tag's
// information record then reads the data since the restart again, from the restart, where that
// block was still pending: its two samples are written once, as they would be without damage.
TEST_F(DamagedImageTest, ReadingAgainKeepsTheBlockOfBurstsPendingAtTheRestart) {
  InfoBlock other = info();
  other.tag_version = 171;
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).acc_start(4096, 4352, 4160);
  b.step(64).step(-64).step(0).acc_end().step(5).dry_start(100).raw({0x05});
  b.dive_start(2, kSecondDive, 100).u16(200).step(-10).acc_start(4096, 4096, 4096).acc_end();
  for (int k = 0; k < 5000; ++k) b.step(0);
  b.dry_start(100).info(other).dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(300).eof();
  const Outcome o = skelv(b, "-recover");
  EXPECT_EQ(o.status, 3);
  EXPECT_NE(o.out.find("Another tag's information record: read again from"), std::string::npos) << o.out;
  const std::string accel = output("_accel.txt");
  const auto count = [&accel](const std::string& line) {
    std::size_t n = 0;
    for (std::size_t at = accel.find(line); at != std::string::npos; at = accel.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("\n2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n"), 1u) << accel;
  EXPECT_EQ(count("\n2026/03/14 06:00:00.500\t0.2500\t0.7500\t0.2500\n"), 1u) << accel;
  EXPECT_EQ(count("\t0.0000\t0.0000\t0.0000\n"), 1u) << accel;  // the second dive's burst
}

// Records implausible on their own bytes (dive starts dated day 32 of March) leave no mark on the
// checkpoints taken after them, long after, in the same places (the 1400 dives of one sample
// before them hold more checkpoints within 4 KiB than the 800 dives of four samples after them):
// the unknown code 5 after the last dry start takes back only what follows the checkpoint before
// it, and every sample before it is written (1400 + 300 + 4 x 800), then the one of the dive
// after the damage.
TEST_F(DamagedImageTest, AnImplausibleRecordLongBeforeDamageTakesNothingBack) {
  ImageBuilder b;
  b.info(info());
  for (int k = 0; k < 1400; ++k) b.dive_start(2, {2026, 3, 31, k / 60, k % 60, 0}, 100).u16(100);
  for (int k = 0; k < 300; ++k) b.dive_start(2, {2026, 3, 32, k / 60, k % 60, 0}, 100).u16(100);
  for (int k = 0; k < 800; ++k) {
    b.dive_start(2, {2026, 4, 2, k / 60, k % 60, 0}, 100).u16(100).step(5).step(5).step(-5);
  }
  b.dry_start(100).raw({0x05}).dive_start(2, {2026, 4, 3, 0, 0, 0}, 100).u16(300).eof();
  const auto lines = [this] {
    const std::string tdr = output("_tdr.txt");
    return std::count(tdr.begin(), tdr.end(), '\n');
  };
  skelv(b, "");
  EXPECT_EQ(lines(), 1 + 4900);  // the header, the lines before the damage
  const Outcome o = skelv(b, "-recover");
  EXPECT_EQ(o.status, 3);
  EXPECT_NE(o.out.find("  tag_tdr.txt: 4901 TDR records\n"), std::string::npos) << o.out;
}

}  // namespace
}  // namespace skelv::test
