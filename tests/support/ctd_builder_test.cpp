// The CTD sample encoder against hand-written bytes.
#include <gtest/gtest.h>

#include "support/ctd_builder.h"

namespace skelv::test {
namespace {

TEST(CtdBuilder, SamplesAreChangesFromThePreviousSample) {
  ImageBuilder b;
  std::vector<std::uint16_t> previous{900, 23000, 200};
  ctd_samples(b, previous, {{930, 23000, 190}, {930, 24000, 190}});
  // +30, 0, -10 (0x78 + 10 = 0x82); then 0, an escape to 24000 (0x5DC0), 0.
  EXPECT_EQ(b.bytes(), (std::vector<std::uint8_t>{0x1E, 0x00, 0x82, 0x00, 0xFA, 0x5D, 0xC0, 0x00}));
  EXPECT_EQ(previous, (std::vector<std::uint16_t>{930, 24000, 190}));
}

}  // namespace
}  // namespace skelv::test
