// What a -recover run holds while it may still read data again: bounded by the input it covers,
// not by the records in it.
#include <sys/resource.h>

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

}  // namespace
}  // namespace skelv::test
