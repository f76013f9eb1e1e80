// The valid-image generator behind the -recover property: a seed always gives the same image,
// the Skelv executable decodes every image to the byte and with the data lines the generator
// counted, and a few hundred whole-range seeds cover the format's range. Then the comparison of
// a plain and a -recover run that the property rests on.
#include "valid/valid_image.h"

#include <gtest/gtest.h>

#include "runs/skelv_run.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using valid::ImageKind;
using valid::ImageOptions;
using valid::make_valid_image;

TEST(ValidImage, SameSeedGivesTheSameImage) {
  for (ImageKind kind : {ImageKind::kRange, ImageKind::kRealistic}) {
    const ImageOptions o{kind, 0};
    EXPECT_EQ(make_valid_image(7, o).bytes, make_valid_image(7, o).bytes);
    EXPECT_NE(make_valid_image(7, o).bytes, make_valid_image(8, o).bytes);
  }
}

TEST(ValidImage, PlainRunDecodesEveryImageToItsEndWithTheCountedLines) {
  TempDir dir;
  const std::string path = dir.file("valid.bin");
  for (std::uint64_t seed = 0; seed < 60; ++seed) {
    const valid::ValidImage image =
        make_valid_image(seed, ImageOptions{seed % 3 == 2 ? ImageKind::kRealistic : ImageKind::kRange, 0});
    runs::write_image(path, image.bytes);
    const runs::SkelvRun plain = runs::run_skelv(SKELV_EXE, path, {}, runs::text_suffixes());
    EXPECT_EQ(runs::clean_run_problem(image.expected, plain), "") << "seed " << seed;
  }
}

TEST(ValidImage, WholeRangeSeedsCoverTheFormat) {
  valid::Coverage all;
  for (std::uint64_t seed = 0; seed < 400; ++seed) all.merge(make_valid_image(seed, ImageOptions{}).coverage);
  // Regimes 1, 2, 3 and 5 to 8 only: the others can't be decoded. Dry starts also before any dive (9).
  EXPECT_EQ(all.regimes.to_ullong(), 0x1EEull);
  EXPECT_EQ((all.dry_regimes & std::bitset<256>(0x3EEull)).count(), 8u);
  EXPECT_TRUE(all.ctd_masks.all());
  EXPECT_TRUE(all.info_sizes.all());
  EXPECT_EQ((all.gps_entries & std::bitset<256>((1ull << 41) - 1)).count(), 41u);  // 0..40 entries
  EXPECT_EQ(all.burst_samples.count(), 99u);                                       // 1..99 samples
  EXPECT_FALSE(all.burst_samples[0]);
  EXPECT_EQ((all.photo_channels & std::bitset<256>(0x7F)).count(), 7u);  // 0..6 channels
  EXPECT_GE(all.deepest, 40);
  EXPECT_LT(all.deepest, 64);  // the decoder's bound
  for (const auto& stream : all.nested) {
    for (bool seen : stream) EXPECT_TRUE(seen);
  }
  for (int f = 0; f < valid::kFeatureCount; ++f) {
    EXPECT_TRUE(all.has(static_cast<valid::Feature>(f))) << valid::feature_name(static_cast<valid::Feature>(f));
  }
}

runs::SkelvRun run_with(std::vector<std::string> tdr_lines) {
  runs::SkelvRun r;
  r.files.push_back(runs::OutputFile{"_tdr.txt", true, std::move(tdr_lines)});
  return r;
}

TEST(CompareRuns, OnlyDamageNotesMayBeAdded) {
  const std::vector<std::string> plain = {"DATE(UTC)\tDEPTH(m)", "2026/03/14 06:00:00.000\t10.000",
                                          "2026/03/14 06:00:01.000\t10.500"};
  struct Case {
    std::vector<std::string> recovered;
    std::uint64_t lost, added;
    bool reordered;
  };
  const Case cases[] = {
      {{plain[0], plain[1], "@0000002A: Damaged: skipped to 0000002F, 6 bytes: unknown code 5", plain[2]}, 0, 0, false},
      {{plain[0], plain[1]}, 1, 0, false},
      {{plain[0], plain[1], "2026/03/14 06:00:01.000\t0.500"}, 1, 1, false},
      {{plain[0], plain[2], plain[1]}, 0, 0, true},
      // An ordinary note is not a damage note: it counts as an added line.
      {{plain[0], plain[1], "@0000002A: ACC OVERFLOW: WARNING", plain[2]}, 0, 1, false},
  };
  for (const Case& c : cases) {
    const runs::FileDiff d = runs::compare_runs(run_with(plain), run_with(c.recovered)).at(0);
    EXPECT_EQ(d.lines, 3u);
    EXPECT_EQ(d.lost, c.lost);
    EXPECT_EQ(d.added, c.added);
    EXPECT_EQ(d.reordered, c.reordered);
  }
}

}  // namespace
}  // namespace skelv::test
