// The fixture of the whole-run tests on damaged images: runs the Skelv executable on an image
// built from records, plain and with -recover, and reads back the console and the output files.
// Offsets in the comments are worked out from the record layouts; every gap note reads
// "@<first>: Damaged: skipped to <last>, <n> bytes: <why>".
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace skelv::test {

const std::string kTdrHeader2 = "DATE(UTC)\tDEPTH(m)\n";
const TagTime kFirstDive{2026, 3, 14, 6, 0, 0}, kSecondDive{2026, 3, 14, 7, 0, 0};

inline InfoBlock info() {
  InfoBlock b;
  b.tag_version = 170;
  b.tdr_interval = 100;
  b.ctd_interval = 100;
  return b;
}

// [0] information record (26 bytes), [26] regime 2 dive at 06:00:00, 1 s; opening depth 100
// [37], two steps of +5 [39] [40]; [41] dry start; then `between`; then a dive at 07:00:00
// (11 bytes), opening depth 200, a step of -10, and the end code.
inline ImageBuilder deployment(const std::vector<std::uint8_t>& between = {}) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw(between);
  return b.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
}

// Records that the format allows change nothing with -recover, however odd they look: a CTD start
// in month 13, an information record of 5 bytes or of another tag version (each in the first dive
// in place of its second step), a dive start on day 32 between the dives, and a regime 1 dry start
// followed by another tag's dive start, which a plain run takes as the haul-out temperature stream.
inline std::vector<ImageBuilder> odd_but_valid() {
  const auto in_dive = [](const ImageBuilder& record) {
    ImageBuilder b;
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).raw(record.bytes()).step(5).dry_start(100);
    return b.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  };
  InfoBlock small = info(), other = info();
  small.size = 5;
  other.tag_version = 171;
  ImageBuilder spliced;
  spliced.info(info()).dive_start(1, kFirstDive, 100).u16(100).u16(5730).step(5).step(0).dry_start(100);
  spliced.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  return {in_dive(ImageBuilder().ctd_start(1, {2026, 13, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200})),
          in_dive(ImageBuilder().info(small)), in_dive(ImageBuilder().info(other)),
          deployment(ImageBuilder().dive_start(2, {2026, 3, 32, 6, 30, 0}, 100).bytes()), spliced};
}

// Lines of the first dive (closing at 06:00:02), the haul-out it leaves, and the second dive.
const std::string kTwoLines = "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n";
const std::string kFirstLines = kTwoLines + "2026/03/14 06:00:02.000\t11.000\n";
const std::string kSecondLines = "2026/03/14 07:00:00.000\t20.000\n2026/03/14 07:00:01.000\t19.000\n";

// A skipped stretch: its first byte, its length and why.
struct Gap {
  unsigned first, bytes;
  std::string why;
  std::string span(const char* format = "%08X to %08X, %u bytes: ") const {
    char s[64];
    std::snprintf(s, sizeof s, format, first, first + bytes - 1, bytes);
    return s + why;
  }
  std::string note() const { return span("@%08X: Damaged: skipped to %08X, %u bytes: "); }
};

inline std::string stopped(unsigned long long at, unsigned long long left) {
  return "Skelv: damage stopped decoding at byte " + std::to_string(at) + "; " + std::to_string(left) +
         " bytes after it were not decoded. -recover decodes past the damage.\n";
}

struct Outcome : ProcessResult {
  std::string err;
};

class DamagedImageTest : public ::testing::Test {
 protected:
  // Runs Skelv on `image` as tag.bin, without earlier output files, with $TMPDIR set to `tmp`;
  // captures both console streams.
  Outcome skelv(const ImageBuilder& image, const std::string& extra = "") {
    image.write_to(dir.file("tag.bin"));
    for (const char* name : {"tag_tdr.txt", "tag_ctd.txt", "tag_gps.txt", "tag_accel.txt"}) {
      std::remove(dir.file(name).c_str());
    }
    const ProcessResult r = run_command(dir.path(), "TMPDIR='" + tmp.path() + "' '" SKELV_EXE "' tag.bin " +
                                                        extra + " 2>.stderr");
    const Outcome o{r, read_file(dir.file(".stderr"))};
    std::remove(dir.file(".stderr").c_str());
    return o;
  }
  std::string head() const {
    return "\nSkelv  v78File: tag.bin\nPWD: " + std::filesystem::canonical(dir.path()).string() + "\n";
  }
  std::string output(const std::string& suffix) const { return read_file(dir.file("tag" + suffix)); }
  // The console of a -recover run with gaps, ending in the TDR/CTD counts given.
  std::string recovered(std::size_t size, const std::vector<Gap>& gaps, const std::string& counts) const {
    unsigned bytes = 0;
    std::string text = head(), spans;
    for (const Gap& g : gaps) {
      text.append("\n").append(g.note()).append("\n");
      spans += "  " + g.span() + "\n";
      bytes += g.bytes;
    }
    const std::string stretches = gaps.size() == 1 ? " stretch" : " stretches";
    return text + "\n\nTag Version: 170\n\nDamaged image: " + std::to_string(gaps.size()) + stretches +
           " skipped, " + std::to_string(bytes) + " bytes not decoded\n" + spans + "\nInput: " +
           std::to_string(size) + " bytes from tag.bin\n\nOutput:\n" + counts + "Failure: Damaged image: " +
           std::to_string(bytes) + " bytes in " + std::to_string(gaps.size()) + stretches + " not decoded\n\n";
  }
  // A plain run of `image` completes and prints `err` (the one-line damage hint or nothing); a
  // -recover run ends with 3 where the plain run saw damage, else 0.
  void judged(const ImageBuilder& image, const std::string& err) {
    const Outcome plain = skelv(image);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, err);
    EXPECT_EQ(skelv(image, "-recover").status, err.empty() ? 0 : 3);
  }
  TempDir dir;
  TempDir tmp;
};

}  // namespace skelv::test
