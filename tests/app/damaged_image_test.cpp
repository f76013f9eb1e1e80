// Whole runs of the Skelv executable on damaged images, plain and with -recover: standard output,
// standard error, exit status and the output files. Offsets in the comments are worked out from
// the record layouts; every gap note reads "@<first>: Damaged: skipped to <last>, <n> bytes: <why>".
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
namespace {

const std::string kTdrHeader2 = "DATE(UTC)\tDEPTH(m)\n";
const TagTime kFirstDive{2026, 3, 14, 6, 0, 0}, kSecondDive{2026, 3, 14, 7, 0, 0};

InfoBlock info() {
  InfoBlock b;
  b.tag_version = 170;
  b.tdr_interval = 100;
  b.ctd_interval = 100;
  return b;
}

// [0] information record (26 bytes), [26] regime 2 dive at 06:00:00, 1 s; opening depth 100
// [37], two steps of +5 [39] [40]; [41] dry start; then `between`; then a dive at 07:00:00
// (11 bytes), opening depth 200, a step of -10, and the end code.
ImageBuilder deployment(const std::vector<std::uint8_t>& between = {}) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw(between);
  return b.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
}

// Records that the format allows change nothing with -recover, however odd they look: a CTD start
// in month 13, an information record of 5 bytes or of another tag version (each in the first dive
// in place of its second step), a dive start on day 32 between the dives, and a regime 1 dry start
// followed by another tag's dive start, which a plain run takes as the haul-out temperature stream.
std::vector<ImageBuilder> odd_but_valid() {
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

std::string stopped(unsigned long long at, unsigned long long left) {
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

TEST_F(DamagedImageTest, RecoverOnAnUndamagedImageChangesNoByte) {
  // A dive holding a profile, a snapshot and a burst, with a trailing end code and erased memory.
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
  b.ctd_start(0x13, {2026, 3, 14, 6, 0, 3}, 100, 700, {1600, 23000, 32200, 1200, 3050, 17500});
  b.step(1).step(2).step(3).step(4).step(5).step(6).gps({2026, 3, 14, 6, 0, 4}, {{7, 0x2A41}}).ctd_end();
  b.acc_start(4096, 4352, 4160).step(64).step(-64).step(0).acc_end().step(5).dry_start(100);
  b.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof().raw({0xFF, 0xFF, 0xFF});
  const auto files = [&] {
    return output("_tdr.txt") + output("_ctd.txt") + output("_gps.txt") + output("_accel.txt");
  };
  std::vector<ImageBuilder> images = odd_but_valid();
  images.push_back(b);
  images.push_back(deployment());
  for (const ImageBuilder& image : images) {
    const Outcome plain = skelv(image);
    const std::string written = files();
    const Outcome recover = skelv(image, "-recover");
    EXPECT_EQ(recover.out, plain.out);
    EXPECT_EQ(plain.err + recover.err, "");
    EXPECT_EQ(recover.status, 0);
    EXPECT_EQ(files(), written);
  }
}

// Each kind of damage end to end: the plain run stops at it and says on standard error how much is
// left; -recover skips it, notes it in the TDR file and on the console and ends with status 3.
TEST_F(DamagedImageTest, DamageIsSkippedToTheNextRecord) {
  // A stray end code in place of the first dive's second step [40].
  std::vector<std::uint8_t> stray = deployment().bytes();
  stray[40] = 0xFF;
  ImageBuilder stray_end;
  stray_end.raw(stray);
  // A burst [40] inside the first dive that never ends: 99 samples of three zero steps after its
  // first reach 100 samples at 345. Sample k (from 52 on) completes at 47 + 3k with a warning.
  ImageBuilder burst;
  burst.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).acc_start(4096, 4096, 4096);
  for (int i = 0; i < 99 * 3; ++i) burst.step(0);
  burst.step(5).dry_start(100).dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  std::string warnings;
  for (int k = 52; k <= 99; ++k) {
    char line[40];
    std::snprintf(line, sizeof line, "@%08X: ACC OVERFLOW: WARNING\n", 47 + 3 * k);
    warnings += line;
  }
  // A stray end code [40] in a dive that holds a profile [42]: the run tries the profile as its
  // restart, but its end code hands the dive's next step [65] to the record loop before a further
  // record was read, so the stretch goes on to the second dive [70], which holds (its dry start is
  // a further record). The garbage at the end [87] is a second stretch.
  ImageBuilder nested;
  nested.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).raw({0xFF}).step(5);
  nested.ctd_start(1, {2026, 3, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200}).step(10).step(0).step(0).ctd_end();
  nested.step(5).step(5).dry_start(100).dive_start(2, kSecondDive, 100).u16(200).step(-10).dry_start(100);
  nested.raw({0x33, 0x44});
  const Gap end_code{40, 30, "end-of-data code with data after it"}, code33{87, 2, "unknown code 33"};
  const Gap burst_gap{40, 308, "accelerometer burst of 100 samples"};
  const std::string haulout = "HAULOUT: 2026/03/14 05:59:04 2026/03/14 06:59:59\n";
  const std::string tdr4 = "  tag_tdr.txt: 4 TDR records\n", tdr5 = "  tag_tdr.txt: 5 TDR records\n";
  const struct {
    const char* what;
    ImageBuilder image;
    int plain_status;
    std::string plain_out, plain_err, plain_tdr;  // plain_err "": no plain run
    std::vector<Gap> gaps;
    std::string counts, before, tdr, accel;  // TDR file: `tdr`, or `before`, the last note, the second dive
  } rows[] = {
      // The dry start's next code is 0x05: the run ends after it, at 45. The dry start before the
      // damage is whole: its haul-out ends one interval before the second dive.
      {"code 5", deployment({0x05, 0x06, 0x07}), 0, "Failure: Unknown code 5 at byte 45\n\n", stopped(45, 17),
       kFirstLines, {{44, 3, "unknown code 5"}}, tdr5, "",
       kTdrHeader2 + kFirstLines + Gap{44, 3, "unknown code 5"}.note() + "\n" + haulout + kSecondLines, ""},
      // A dive start of regime 4 [44]: its haul-out line comes before the stream is refused at 55.
      {"regime 4", deployment(ImageBuilder().dive_start(4, {2026, 3, 14, 6, 30, 0}, 100).raw({1, 2}).bytes()), 0,
       "Failure: Unknown TDR regime 4 at byte 55\n\n", stopped(55, 17),
       kFirstLines + "HAULOUT: 2026/03/14 05:59:04 2026/03/14 06:29:59\n37: Illegal stream contents (0)\n",
       {{44, 13, "unknown TDR regime 4"}}, tdr5, "",
       kTdrHeader2 + kFirstLines + Gap{44, 13, "unknown TDR regime 4"}.note() + "\n" + haulout + kSecondLines, ""},
      // A plain run says "Completed." and drops the second dive.
      {"stray end", stray_end, 0,
       "\n\nTag Version: 170\n\nCompleted.\n\nInput: 41 bytes from tag.bin\n\nOutput:\n  tag_tdr.txt: 2 TDR records\n",
       stopped(41, 18), kTwoLines, {{40, 4, "end-of-data code with data after it"}}, tdr4, kTwoLines, "", ""},
      // A plain run ends the process. -recover takes the burst back with its warnings and the dive's
      // closing line, which was to come after it; no burst is left for an accelerometer file.
      {"burst", burst, 1, "Failure: ACC OVERFLOW at byte 344\n\n", stopped(344, 19), "", {burst_gap},
       "  tag_tdr.txt: 3 TDR records\n", "2026/03/14 06:00:00.000\t10.000\n", "", "<missing>"},
      {"nested", nested, 0, "", "", "", {end_code, code33}, tdr4, "",
       kTdrHeader2 + kTwoLines + end_code.note() + "\n" + kSecondLines + code33.note() + "\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.plain_err.empty()) {
      const Outcome plain = skelv(row.image);
      EXPECT_EQ(plain.status, row.plain_status);
      EXPECT_EQ(plain.out, head() + row.plain_out);
      EXPECT_EQ(plain.err, row.plain_err);
      EXPECT_TRUE(row.plain_tdr.empty() || output("_tdr.txt") == kTdrHeader2 + row.plain_tdr) << output("_tdr.txt");
    }
    const Outcome recover = skelv(row.image, "--recover");
    EXPECT_EQ(recover.out, recovered(row.image.size(), row.gaps, row.counts));
    EXPECT_EQ(recover.status, 3);
    EXPECT_EQ(recover.err, "");
    EXPECT_EQ(output("_tdr.txt"),
              row.tdr.empty() ? kTdrHeader2 + row.before + row.gaps.back().note() + "\n" + kSecondLines : row.tdr);
    EXPECT_TRUE(row.accel.empty() || output("_accel.txt") == row.accel) << output("_accel.txt");
    EXPECT_EQ(output("_ctd.txt") == "<missing>", row.counts.find("CTD") == std::string::npos);
  }
}

// Damage that still decodes, on a deployment whose data have been steady: a depth that jumps
// 40 m or more in a sample after 256 steady ones, and an information record that changes the
// calibration of two before it. A plain run decodes it and says so on standard error; -recover
// takes the depth back to the checkpoint before it and restarts at the next dive, and decodes the
// record, which may open another tag's data, where it stands with evidence of its own: damage
// close behind it takes it back too.
TEST_F(DamagedImageTest, DamageThatStillDecodesIsTakenBack) {
  // [37] opening depth 100; further sample k at 38 + k: steps of 0 up to 299, then the escape
  // [338] to 4096 (409.6 m), a step [341], a dry start [342]; the second dive [345].
  ImageBuilder jump;
  jump.info(info()).dive_start(2, kFirstDive, 100).u16(100);
  for (int k = 1; k < 300; ++k) jump.step(0);
  jump.raw({0xFA, 0x10, 0x00}).step(0).dry_start(100);
  jump.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  // The checkpoint before the jump stands at further sample 256 [294]: the 255 lines before it
  // stay, from 06:00:00 to 06:04:14; the dry start went with the stretch, so no haul-out.
  std::string lines;
  for (int second = 0; second < 255; ++second) {
    char line[40];
    std::snprintf(line, sizeof line, "2026/03/14 06:%02d:%02d.000\t10.000\n", second / 60, second % 60);
    lines += line;
  }
  const Gap jumped{294, 51, "depth jumped further than an animal moves"};
  Outcome plain = skelv(jump);
  EXPECT_EQ(plain.err, "Skelv: 1 record looked damaged but was decoded, the first at byte 338; "
                       "-recover skips damaged records.\n");
  Outcome recover = skelv(jump, "-recover");
  EXPECT_EQ(recover.status, 3);
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + lines + jumped.note() + "\n" + kSecondLines);

  // Information records [0], [39] and [78] of one calibration, each before a dive of one sample
  // that holds the next one; the fourth [117] has another pressure scale. On its own it may open
  // another tag's data; here a dive start of regime 4 [143] right after it takes it back, and the
  // run restarts at the profile's dive [154], whose CTD line keeps 30 counts per dbar:
  // (3600 - 600) / 30 = 100 dbar, not (3600 - 600) / 60 = 50.
  InfoBlock other = info();
  other.pressure_scale = 60;
  ImageBuilder calibration;
  for (int i = 0; i < 3; ++i) calibration.info(info()).dive_start(2, {2026, 3, 14, 6, i, 0}, 100).u16(100);
  calibration.info(other).dive_start(4, kSecondDive, 100).dive_start(2, kSecondDive, 100).u16(200);
  calibration.ctd_start(1, {2026, 3, 14, 7, 0, 0}, 100, 600, {3600, 23000, 32200}).ctd_end().eof();
  recover = skelv(calibration, "-recover");
  EXPECT_NE(recover.out.find(Gap{117, 37, "unknown TDR regime 4"}.note()), std::string::npos)
      << recover.out;
  EXPECT_NE(output("_ctd.txt").find("\t100.00\t100.00\t"), std::string::npos) << output("_ctd.txt");
  // Without the damage after it, the record holds: the profile is read with 60 counts per dbar.
  calibration = ImageBuilder();
  for (int i = 0; i < 3; ++i) calibration.info(info()).dive_start(2, {2026, 3, 14, 6, i, 0}, 100).u16(100);
  calibration.info(other).dive_start(2, kSecondDive, 100).u16(200);
  calibration.ctd_start(1, {2026, 3, 14, 7, 0, 0}, 100, 600, {3600, 23000, 32200}).ctd_end().eof();
  plain = skelv(calibration);
  EXPECT_EQ(plain.err, "Skelv: 1 record looked damaged but was decoded, the first at byte 117; "
                       "-recover skips damaged records.\n");
  recover = skelv(calibration, "-recover");
  EXPECT_EQ(recover.status, 0);
  EXPECT_NE(output("_ctd.txt").find("\t50.00\t50.00\t"), std::string::npos) << output("_ctd.txt");
}

// Start records are judged against the one before after three in step: a dive start [78] after
// dives at 06:00 [26], 06:01, 06:02 and 06:03 [65], each of one sample, or a CTD start [119]
// after profiles [39], [59], [79] and [99] 5 s apart in the dive at 06:00. A start may lie up to a
// minute before the one before and up to 30 days after it; a plain run decodes one beyond and
// says so, and -recover, with nothing wrong after it, tries it as a restart and keeps it.
TEST_F(DamagedImageTest, StartRecordsOutOfStepLookDamaged) {
  const std::string hint = "Skelv: 1 record looked damaged but was decoded, the first at byte ";
  const struct {
    bool ctd;
    TagTime fifth;  // the dive or profile judged
    std::string err;
  } rows[] = {
      {false, {2026, 3, 14, 6, 2, 0}, ""},
      {false, {2026, 3, 14, 6, 1, 59}, hint + "78; -recover skips damaged records.\n"},
      {false, {2026, 4, 13, 6, 3, 0}, ""},
      {false, {2026, 4, 13, 6, 3, 1}, hint + "78; -recover skips damaged records.\n"},
      {true, {2026, 3, 14, 5, 59, 20}, ""},
      {true, {2026, 3, 14, 5, 59, 19}, hint + "119; -recover skips damaged records.\n"},
      {true, {2026, 4, 13, 6, 0, 20}, ""},
      {true, {2027, 3, 14, 6, 0, 20}, hint + "119; -recover skips damaged records.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.fifth.year) + "-" + std::to_string(row.fifth.month) + " " + row.err);
    ImageBuilder image;
    image.info(info());
    if (row.ctd) {
      image.dive_start(2, kFirstDive, 100).u16(100);
      for (int k = 0; k < 5; ++k) {
        const TagTime t = k < 4 ? TagTime{2026, 3, 14, 6, 0, 5 + 5 * k} : row.fifth;
        image.ctd_start(1, t, 100, 600, {1600, 23000, 32200}).ctd_end();
      }
    } else {
      for (int k = 0; k < 5; ++k) image.dive_start(2, k < 4 ? TagTime{2026, 3, 14, 6, k, 0} : row.fifth, 100).u16(100);
    }
    image.eof();
    const Outcome plain = skelv(image);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, row.err);
    const std::string tdr = output("_tdr.txt"), ctd = output("_ctd.txt");
    const Outcome recover = skelv(image, "-recover");
    EXPECT_EQ(recover.status, 0);
    EXPECT_EQ(recover.out, plain.out);
    EXPECT_EQ(output("_tdr.txt"), tdr);
    EXPECT_EQ(output("_ctd.txt"), ctd);
  }
}

// CTD values are judged after 512 in range: a profile [39] in the dive at 06:00 whose first
// sample (33.33 dbar, 15 degC, 40 mS/cm) and further samples k at 58 + 3 (k - 1), steps of 0,
// stay in range, until the temperature of sample `wild` jumps by an escape to `raw`, that is
// (raw - 8000) / 1000 degC. The sensor reads up to 40 degC.
TEST_F(DamagedImageTest, CtdValuesOutsideTheSensorsRangeLookDamaged) {
  const std::string hint = "Skelv: 1 record looked damaged but was decoded, the first at byte ";
  const struct {
    int wild;
    std::uint16_t raw;
    std::string err;
  } rows[] = {
      {512, 48000, ""},
      {512, 48001, hint + "1591; -recover skips damaged records.\n"},
      {511, 48001, ""},  // 511 samples in range before it: not steady yet
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.wild) + " " + std::to_string(row.raw));
    ImageBuilder image;
    image.info(info()).dive_start(2, kFirstDive, 100).u16(100);
    image.ctd_start(1, {2026, 3, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200});
    for (int k = 1; k < row.wild; ++k) image.step(0).step(0).step(0);
    image.step(0).escaped(row.raw).step(0).ctd_end().eof();
    judged(image, row.err);
    if (!row.err.empty()) {
      // Back to the checkpoint at sample 512 [1591]: the first sample and 511 more stay.
      const std::string ctd = output("_ctd.txt");
      EXPECT_EQ(std::count(ctd.begin(), ctd.end(), '\n'), 1 + 512 + 1) << ctd.substr(ctd.size() - 300);
      EXPECT_NE(ctd.find("@00000637: Damaged: skipped to "), std::string::npos);
    }
  }
}

// The magnetometer's temperature is judged after 16 steady samples: a regime 7 dive [26] whose
// opening sample [37] reads 14 degC and whose further samples k at 50 + 7 (k - 1), steps of 0,
// keep it, until sample `wild` reads `degrees`. It never moves more than 40 degrees a sample.
TEST_F(DamagedImageTest, MagnetometerTemperatureJumpsLookDamaged) {
  const std::string hint = "Skelv: 1 record looked damaged but was decoded, the first at byte ";
  const struct {
    int wild;
    std::uint8_t degrees;
    std::string err;
  } rows[] = {
      {17, 54, ""},
      {17, 55, hint + "162; -recover skips damaged records.\n"},
      {16, 55, ""},  // 15 steady samples before it: not judged
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.wild) + " " + std::to_string(row.degrees));
    ImageBuilder image;
    image.info(info()).dive_start(7, kFirstDive, 100);
    image.u16(100).u16(5730).u16(5).u16(216).u16(0xFF84).u16(387).u8(14);
    for (int k = 1; k <= row.wild; ++k) {
      image.step(0).step(0).step(0).step(0).step(0).step(0).u8(k < row.wild ? 14 : row.degrees);
    }
    judged(image.eof(), row.err);
  }
}

// Damage takes back what a block of bursts had written out: the second dive [52] is dated on day
// 32 of March, implausible on its own bytes, and its burst [66], an hour after the first one,
// writes the first burst out and takes the block's place. The unknown code 5 [78] after the dry
// start shows damage close behind the second dive: -recover goes back to before it, with the first
// burst pending again, and writes it at the end: two samples from 06:00:00 to 06:00:01, half a
// second apart, raw / 256 - 16 g.
TEST_F(DamagedImageTest, DamageTakesBackTheBlockWrittenOutBeforeIt) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
  b.acc_start(4096, 4352, 4160).step(64).step(-64).step(0).acc_end().step(5);
  b.dive_start(2, {2026, 3, 32, 7, 0, 0}, 100).u16(200).step(-10).acc_start(4096, 4096, 4096).acc_end();
  b.step(5).dry_start(100).raw({0x05}).dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(300).step(5).eof();
  const Gap code5{52, 27, "unknown code 5"};
  const Outcome recover = skelv(b, "-recover");
  EXPECT_EQ(recover.status, 3);
  EXPECT_EQ(output("_accel.txt"), "DATE(UTC)\tX\tY\tZ\n" + code5.note() +
                                      "\n2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n"
                                      "2026/03/14 06:00:00.500\t0.2500\t0.7500\t0.2500\n");
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + code5.note() +
                                    "\n2026/03/14 08:00:00.000\t30.000\n2026/03/14 08:00:01.000\t30.500\n");
}

// After damage [44] the run restarts at the first plausible record start [45]: a dive start of a
// known regime, a CTD start of a known mask, an information record of the first one's size and
// tag version (300 here), each with a valid date where it has one (from 1970, a day of the
// month, hundredths up to 99); other records are skipped over to the next dive.
TEST_F(DamagedImageTest, RestartOnlyAtPlausibleRecordStarts) {
  InfoBlock v300 = info(), v301 = info();
  v300.tag_version = 300;
  v301.tag_version = 301;
  const TagTime at{2026, 3, 14, 6, 30, 0};
  const struct {
    ImageBuilder record;
    bool restart;
  } rows[] = {{ImageBuilder().dive_start(8, at, 100).u16(200).u8(5).step(-10).u8(7), true},
              {ImageBuilder().dive_start(4, at, 100), false},
              {ImageBuilder().ctd_start(8, at, 100, 600, {1600, 23000, 32200}).ctd_end(), true},
              {ImageBuilder().ctd_start(7, at, 100, 600, {1600, 23000, 32200}), false},
              {ImageBuilder().info(v300), true},
              {ImageBuilder().info(v301), false},
              {ImageBuilder().dive_start(2, {2026, 3, 14, 23, 59, 59, 99}, 100).u16(200), true},
              {ImageBuilder().dive_start(2, {2026, 3, 14, 23, 59, 59, 100}, 100), false},
              {ImageBuilder().dive_start(2, {2026, 3, 0, 6, 30, 0}, 100), false},
              {ImageBuilder().dive_start(2, {2026, 4, 31, 6, 30, 0}, 100), false},
              {ImageBuilder().dive_start(2, {2026, 13, 14, 6, 30, 0}, 100), false},
              {ImageBuilder().dive_start(2, {1969, 12, 31, 23, 59, 59}, 100), false}};
  for (const auto& row : rows) {
    ImageBuilder image;
    image.info(v300).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05});
    image.raw(row.record.bytes()).dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
    const unsigned n = row.restart ? 1 : 1 + static_cast<unsigned>(row.record.size());
    const Outcome recover = skelv(image, "-recover");
    EXPECT_NE(recover.out.find(Gap{44, n, "unknown code 5"}.note() + "\n"), std::string::npos) << recover.out;
    EXPECT_EQ(recover.status, 3);
  }
}

// Records that end an inner burst or profile hand the very next byte to the outer one, which
// must be open again by then: the outer 0xF9 or 0xFD right after ends it, and the dive goes on
// with depths 10, 10.5, 11, 11.5.
TEST_F(DamagedImageTest, OuterBurstOrProfileEndsRightAfterAnInnerOne) {
  for (const bool burst : {true, false}) {
    ImageBuilder image;
    image.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
    if (burst) {
      image.acc_start(4096, 4096, 4096).step(0).step(0).step(0).acc_start(4096, 4096, 4096).acc_end().acc_end();
    } else {
      image.ctd_start(1, {2026, 3, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200});
      image.ctd_start(1, {2026, 3, 14, 6, 0, 9}, 100, 600, {1600, 23000, 32200}).ctd_end().ctd_end();
    }
    EXPECT_EQ(skelv(image.step(5).step(5).eof()).status, 0);
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + "2026/03/14 06:00:03.000\t11.500\n");
  }
}

// 64 profiles, each nested in the one before, fill every nesting level; the 64th profile's
// temperature [16 + 64 * 19 + 1] is a wet/dry record, one level too deep. Its result is not
// examined, yet every later read fails, also beyond the first 64 KiB read: the 64th profile writes
// the sample and every stream closes; the steps after it stay unread.
TEST_F(DamagedImageTest, NestingTooDeepInAnUnexaminedChannelEndsTheRun) {
  ImageBuilder image;
  for (int i = 0; i < 64; ++i) image.ctd_start(1, {2026, 3, 14, 6, 0, 0}, 100, 600, {1600, 23000, 32200});
  image.step(1).wetdry(1).step(2).step(3).raw(std::vector<std::uint8_t>(100000, 0x05));
  const Outcome plain = skelv(image);
  EXPECT_TRUE(plain.out.ends_with("Failure: Records nested too deeply at byte 1218\n\n")) << plain.out;
  EXPECT_EQ(plain.err, stopped(1218, 100003));
  const std::string ctd = output("_ctd.txt");
  EXPECT_EQ(std::count(ctd.begin(), ctd.end(), '\n'), 1 + 64 + 1);
}

// The scan dump is never written through a symbolic link or into a file that is not regular;
// decoding goes on without it. A regular file of this user is emptied and rewritten.
TEST_F(DamagedImageTest, ScanDumpRefusesLinksAndOtherFiles) {
  const std::string dump = tmp.file("skelv_debug.txt"), victim = dir.file("victim.txt");
  write_file(victim, "keep me\n");
  for (const bool link : {true, false}) {
    ASSERT_EQ(link ? ::symlink(victim.c_str(), dump.c_str()) : ::mkfifo(dump.c_str(), 0600), 0);
    EXPECT_EQ(skelv(deployment(), "-scan").out, head() + "Failure: Can't create scan dump file " + dump + "\n\n");
    EXPECT_EQ(read_file(victim), "keep me\n");
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + "HAULOUT: 2026/03/14 05:59:04 2026/03/14 06:59:59\n" +
                                      kSecondLines);
    std::remove(dump.c_str());
  }
  write_file(dump, std::string(5000, 'x'));
  EXPECT_EQ(skelv(deployment(), "-scan").status, 0);
  EXPECT_EQ(read_file(dump).rfind("\n", 0), 0u);
  EXPECT_EQ(read_file(dump).find('x'), std::string::npos);
}

}  // namespace
}  // namespace skelv::test
