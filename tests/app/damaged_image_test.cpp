// Whole runs of the Skelv executable on damaged images, plain and with -recover: standard output,
// standard error, exit status and the output files. Offsets in the comments are worked out from
// the record layouts; every gap note reads "@<first>: Damaged: skipped to <last>, <n> bytes: <why>".
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace skelv::test {
namespace {

const std::string kTdrHeader2 = "DATE(UTC)\tDEPTH(m)\n";
const std::string kAccHeader = "DATE(UTC)\tX\tY\tZ\n";

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs Skelv in `cwd` with `args`, $TMPDIR set to `tmpdir`; captures both console streams.
Outcome run(const std::vector<std::string>& args, const std::string& cwd, const std::string& tmpdir) {
  const std::string out_path = cwd + "/.stdout", err_path = cwd + "/.stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    std::vector<char*> argv;
    static char exe[] = SKELV_EXE;
    argv.push_back(exe);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(exe, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  Outcome o;
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = read_file(out_path);
  o.err = read_file(err_path);
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return o;
}

const TagTime kFirstDive{2026, 3, 14, 6, 0, 0};
const TagTime kSecondDive{2026, 3, 14, 7, 0, 0};

InfoBlock info() {
  InfoBlock b;
  b.tag_version = 170;
  b.tdr_interval = 100;
  b.ctd_interval = 100;
  return b;
}

// [0] information record (26 bytes), [26] regime 2 dive at 06:00:00, 1 s; opening depth 100
// [37], two steps of +5 [39] [40]; [41] dry start; then `between`; then a dive at 07:00:00
// (11 bytes), opening depth 200, a step of -10, and `end`.
ImageBuilder deployment(const std::vector<std::uint8_t>& between = {}, bool eof = true) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100);
  b.raw(between);
  b.dive_start(2, kSecondDive, 100).u16(200).step(-10);
  if (eof) b.eof();
  return b;
}

// Lines of the first dive (closing at 06:00:02), the haul-out it leaves, and the second dive.
const std::string kFirstLines =
    "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n2026/03/14 06:00:02.000\t11.000\n";
const std::string kHaulout = "HAULOUT: 2026/03/14 05:59:04 2026/03/14 06:59:59\n";
const std::string kSecondLines = "2026/03/14 07:00:00.000\t20.000\n2026/03/14 07:00:01.000\t19.000\n";

class DamagedImageTest : public ::testing::Test {
 protected:
  Outcome skelv(const ImageBuilder& image, std::vector<std::string> extra = {}) {
    image.write_to(dir.file("tag.bin"));
    extra.insert(extra.begin(), "tag.bin");
    return run(extra, dir.path(), tmp.path());
  }
  std::string head() const {
    return "\nSkelv  v78File: tag.bin\nPWD: " + std::filesystem::canonical(dir.path()).string() + "\n";
  }
  std::string output(const std::string& suffix) const { return read_file(dir.file("tag" + suffix)); }
  // The end of a -recover run with gaps, given as "first last bytes reason" rows, and its TDR count.
  std::string damaged_end(std::size_t size, const std::vector<std::string>& gaps, unsigned long long bytes,
                          const std::string& counts) const {
    const std::string stretches = gaps.size() == 1 ? " stretch" : " stretches";
    std::string text = "\n\nTag Version: 170\n\nDamaged image: " + std::to_string(gaps.size()) + stretches +
                       " skipped, " + std::to_string(bytes) + " bytes not decoded\n";
    for (const std::string& g : gaps) text += "  " + g + "\n";
    return text + "\nInput: " + std::to_string(size) + " bytes from tag.bin\n\nOutput:\n" + counts +
           "Failure: Damaged image: " + std::to_string(bytes) + " bytes in " + std::to_string(gaps.size()) +
           stretches + " not decoded\n\n";
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
  for (const ImageBuilder& image : {b, deployment()}) {
    const Outcome plain = skelv(image);
    const std::vector<std::string> files = {output("_tdr.txt"), output("_ctd.txt"), output("_gps.txt"),
                                            output("_accel.txt")};
    const Outcome recover = skelv(image, {"-recover"});
    EXPECT_EQ(recover.out, plain.out);
    EXPECT_EQ(recover.err, "");
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(recover.status, 0);
    EXPECT_EQ(std::vector<std::string>({output("_tdr.txt"), output("_ctd.txt"), output("_gps.txt"),
                                        output("_accel.txt")}),
              files);
  }
}

// Damage between the dry start and the second dive, which starts at 44 + the damage's length.
// Plain runs stop there and say on standard error how much is left; -recover skips to the second
// dive. The dry start right before the damage may have been read from it: its haul-out is dropped.
TEST_F(DamagedImageTest, DamageBetweenRecordsIsSkippedToTheNextDive) {
  ImageBuilder regime4;
  regime4.dive_start(4, {2026, 3, 14, 6, 30, 0}, 100).raw({0x01, 0x02});
  struct Row {
    std::vector<std::uint8_t> damage;
    std::string plain_tdr, plain_failure;
    unsigned long long stopped_at;
    std::string reason;
  } rows[] = {
      // The dry start's next code is 0x05: the run ends after it, at 45.
      {{0x05, 0x06, 0x07}, kFirstLines, "Unknown code 5 at byte 45", 45, "unknown code 5"},
      // A dive start of regime 4 [44]: its haul-out line comes before the stream is refused at 55.
      {regime4.bytes(), kFirstLines + "HAULOUT: 2026/03/14 05:59:04 2026/03/14 06:29:59\n37: Illegal stream contents (0)\n",
       "Unknown TDR regime 4 at byte 55", 55, "unknown TDR regime 4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    const ImageBuilder image = deployment(row.damage);
    const std::size_t size = image.size();
    const std::size_t n = row.damage.size();

    const Outcome plain = skelv(image);
    EXPECT_EQ(plain.out, head() + "Failure: " + row.plain_failure + "\n\n");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "Skelv: damage stopped decoding at byte " + std::to_string(row.stopped_at) + "; " +
                             std::to_string(size - row.stopped_at) +
                             " bytes after it were not decoded. -recover decodes past the damage.\n");
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + row.plain_tdr);

    const Outcome recover = skelv(image, {"--recover"});
    char note[120];
    std::snprintf(note, sizeof note, "@0000002C: Damaged: skipped to %08zX, %zu bytes: %s", 43 + n, n,
                  row.reason.c_str());
    char gap[120];
    std::snprintf(gap, sizeof gap, "0000002C to %08zX, %zu bytes: %s", 43 + n, n, row.reason.c_str());
    EXPECT_EQ(recover.out, head() + "\n" + note + "\n" + damaged_end(size, {gap}, n, "  tag_tdr.txt: 5 TDR records\n"));
    EXPECT_EQ(recover.status, 3);
    EXPECT_EQ(recover.err, "");
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + note + "\n" + kSecondLines);
  }
}

// With -recover, dive starts, CTD starts and information records are checked where they stand;
// one that fails is damage and changes nothing. The first three stand in the first dive in place
// of its second step [40]; the dive closes with the sample it was reading. The dive start stands
// between the dry start and the second dive [44].
TEST_F(DamagedImageTest, ImplausibleRecordsAreDamage) {
  const auto in_dive = [](const ImageBuilder& record) {
    ImageBuilder b;
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).raw(record.bytes()).step(5).dry_start(100);
    return b.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  };
  InfoBlock small = info();
  small.size = 5;
  InfoBlock other = info();
  other.tag_version = 171;
  ImageBuilder ctd, info5, info171, dive;
  ctd.ctd_start(1, {2026, 13, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200});
  info5.info(small);
  info171.info(other);
  dive.dive_start(2, {2026, 3, 32, 6, 30, 0}, 100);
  const std::string two_lines = "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n";
  struct Row {
    ImageBuilder image;
    unsigned first, bytes;
    std::string reason, lines_before;
  } rows[] = {
      {in_dive(ctd), 40, 19 + 4, "implausible CTD start", two_lines},
      {in_dive(info5), 40, 7 + 4, "information record of 5 bytes", two_lines},
      {in_dive(info171), 40, 26 + 4, "information record of tag version 171", two_lines},
      {deployment(dive.bytes()), 44, 11, "implausible dive start", kFirstLines},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    const Outcome recover = skelv(row.image, {"-recover"});
    char note[120];
    std::snprintf(note, sizeof note, "@%08X: Damaged: skipped to %08X, %u bytes: %s", row.first,
                  row.first + row.bytes - 1, row.bytes, row.reason.c_str());
    EXPECT_EQ(recover.status, 3);
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + row.lines_before + note + "\n" + kSecondLines);
    // Nothing of the refused record: no CTD file, the tag version of the first record.
    EXPECT_EQ(output("_ctd.txt"), "<missing>");
    EXPECT_NE(recover.out.find("\n\nTag Version: 170\n\nDamaged image: 1 stretch skipped"), std::string::npos);
  }
}

// After damage [44] the run restarts at the first plausible record start [45]: a dive start of a
// known regime, a CTD start of a known mask, an information record of the first one's size and
// tag version (300 here), each with a valid date where it has one; other records are skipped
// over to the next dive.
TEST_F(DamagedImageTest, RestartOnlyAtPlausibleRecordStarts) {
  InfoBlock v300 = info();
  v300.tag_version = 300;
  InfoBlock v301 = v300;
  v301.tag_version = 301;
  const TagTime at{2026, 3, 14, 6, 30, 0};
  ImageBuilder regime8, regime4, mask8, mask7, same, other;
  regime8.dive_start(8, at, 100).u16(200).u8(5).step(-10).u8(7);
  regime4.dive_start(4, at, 100);
  mask8.ctd_start(8, at, 100, 600, {1600, 23000, 32200}).ctd_end();
  mask7.ctd_start(7, at, 100, 600, {1600, 23000, 32200});
  same.info(v300);
  other.info(v301);
  const struct {
    const ImageBuilder& record;
    bool restart;
  } rows[] = {{regime8, true}, {regime4, false}, {mask8, true}, {mask7, false}, {same, true}, {other, false}};
  for (const auto& row : rows) {
    ImageBuilder image;
    image.info(v300).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05});
    image.raw(row.record.bytes()).dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
    const unsigned last = row.restart ? 44 : 44 + static_cast<unsigned>(row.record.size());
    char note[100];
    std::snprintf(note, sizeof note, "\n@0000002C: Damaged: skipped to %08X, %u bytes: unknown code 5\n", last, last - 43);
    const Outcome recover = skelv(image, {"-recover"});
    EXPECT_NE(recover.out.find(note), std::string::npos) << recover.out;
    EXPECT_EQ(recover.status, 3);
  }
}

// A stray end code in place of the first dive's second step [40]: a plain run says "Completed."
// and drops the second dive; -recover skips from the 0xFF over the dry start to the second dive.
TEST_F(DamagedImageTest, StrayEndCodeInsideAStream) {
  ImageBuilder image = deployment();
  std::vector<std::uint8_t> bytes = image.bytes();
  ASSERT_EQ(bytes.size(), 59u);
  bytes[40] = 0xFF;
  ImageBuilder damaged;
  damaged.raw(bytes);
  const std::string two_lines = "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n";

  const Outcome plain = skelv(damaged);
  EXPECT_EQ(plain.out, head() + "\n\nTag Version: 170\n\nCompleted.\n\nInput: 41 bytes from tag.bin\n\nOutput:\n"
                                "  tag_tdr.txt: 2 TDR records\n");
  EXPECT_EQ(plain.err, "Skelv: damage stopped decoding at byte 41; 18 bytes after it were not decoded. "
                       "-recover decodes past the damage.\n");
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + two_lines);

  const Outcome recover = skelv(damaged, {"-recover"});
  const std::string note = "@00000028: Damaged: skipped to 0000002B, 4 bytes: end-of-data code with data after it";
  EXPECT_EQ(recover.out, head() + "\n" + note + "\n" +
                             damaged_end(59, {"00000028 to 0000002B, 4 bytes: end-of-data code with data after it"}, 4,
                                         "  tag_tdr.txt: 4 TDR records\n"));
  EXPECT_EQ(recover.status, 3);
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + two_lines + note + "\n" + kSecondLines);
}

// A burst [40] inside the first dive that never ends: 99 samples of three zero steps after its
// first reach 100 samples at 345. A plain run ends the process; -recover drops the burst and
// restarts at the second dive. Sample k (from 52 on) completes at 47 + 3k with a warning note.
TEST_F(DamagedImageTest, BurstOfHundredSamplesIsDropped) {
  ImageBuilder image;
  image.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).acc_start(4096, 4096, 4096);
  for (int i = 0; i < 99 * 3; ++i) image.step(0);
  image.step(5).dry_start(100);
  ASSERT_EQ(image.size(), 348u);
  image.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  std::string warnings;
  for (int k = 52; k <= 99; ++k) {
    char line[40];
    std::snprintf(line, sizeof line, "@%08X: ACC OVERFLOW: WARNING\n", 47 + 3 * k);
    warnings += line;
  }

  const Outcome plain = skelv(image);
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, head() + "Failure: ACC OVERFLOW at byte 344\n\n");
  EXPECT_EQ(plain.err, "Skelv: damage stopped decoding at byte 344; 19 bytes after it were not decoded. "
                       "-recover decodes past the damage.\n");

  const Outcome recover = skelv(image, {"-recover"});
  const std::string note = "@00000028: Damaged: skipped to 0000015B, 308 bytes: accelerometer burst of 100 samples";
  EXPECT_EQ(recover.out, head() + "\n" + note + "\n" +
                             damaged_end(363, {"00000028 to 0000015B, 308 bytes: accelerometer burst of 100 samples"},
                                         308, "  tag_tdr.txt: 4 TDR records\n"));
  EXPECT_EQ(recover.status, 3);
  // The dive closes on the burst with the depth of its second sample.
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + "2026/03/14 06:00:00.000\t10.000\n" + warnings +
                                    "2026/03/14 06:00:01.000\t10.500\n" + note + "\n" + kSecondLines);
  EXPECT_EQ(output("_accel.txt"), kAccHeader + warnings + note + "\n");
}

// A stray end code [40] in the first dive, which holds a profile [42]: -recover restarts at the
// profile, whose end code hands the dive's next step [65] to the record loop, a second stretch up
// to the dry start's end [69]; then the second dive [70]. The garbage at the end [87] is a third.
TEST_F(DamagedImageTest, RestartInsideANestedStreamAndSeveralStretches) {
  ImageBuilder image;
  image.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).raw({0xFF}).step(5);
  image.ctd_start(1, {2026, 3, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200}).step(10).step(0).step(0).ctd_end();
  image.step(5).step(5).dry_start(100);
  ASSERT_EQ(image.size(), 70u);
  image.dive_start(2, kSecondDive, 100).u16(200).step(-10).dry_start(100).raw({0x33, 0x44});
  ASSERT_EQ(image.size(), 89u);

  const Outcome recover = skelv(image, {"-recover"});
  const std::vector<std::string> notes = {
      "@00000028: Damaged: skipped to 00000029, 2 bytes: end-of-data code with data after it",
      "@00000041: Damaged: skipped to 00000045, 5 bytes: unknown code 5",
      "@00000057: Damaged: skipped to 00000058, 2 bytes: unknown code 33"};
  EXPECT_EQ(recover.out, head() + "\n" + notes[0] + "\n\n" + notes[1] + "\n\n" + notes[2] + "\n" +
                             damaged_end(89,
                                         {"00000028 to 00000029, 2 bytes: end-of-data code with data after it",
                                          "00000041 to 00000045, 5 bytes: unknown code 5",
                                          "00000057 to 00000058, 2 bytes: unknown code 33"},
                                         9, "  tag_tdr.txt: 4 TDR records\n  tag_ctd.txt: 2 CTD records\n"));
  EXPECT_EQ(recover.status, 3);
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n" +
                                    notes[0] + "\n" + notes[1] + "\n" + kSecondLines + notes[2] + "\n");
  // The profile file, made at the restart: its two lines, at its start and one interval later,
  // then the two later notes.
  std::vector<std::string> ctd;
  std::istringstream lines(output("_ctd.txt"));
  for (std::string line; std::getline(lines, line);) ctd.push_back(line);
  ASSERT_EQ(ctd.size(), 5u);
  EXPECT_EQ(ctd[1].rfind("2026/03/14 06:00:05\t", 0), 0u);
  EXPECT_EQ(ctd[2].rfind("2026/03/14 06:00:06\t", 0), 0u);
  EXPECT_EQ(ctd[3], notes[1]);
  EXPECT_EQ(ctd[4], notes[2]);
}

// A regime 1 dive [26] whose dry start [43] is followed by another tag's dive start [46], as in two
// images spliced: a plain run takes the dive start as the haul-out temperature stream; -recover
// skips the dry start and decodes the dive.
TEST_F(DamagedImageTest, HaulOutStreamOpeningWithARecordCode) {
  ImageBuilder image;
  image.info(info()).dive_start(1, kFirstDive, 100).u16(100).u16(5730).step(5).step(0).dry_start(100);
  image.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  ASSERT_EQ(image.size(), 61u);
  const Outcome recover = skelv(image, {"-recover"});
  const std::string note = "@0000002B: Damaged: skipped to 0000002D, 3 bytes: haul-out stream opening with a record code";
  EXPECT_EQ(recover.status, 3);
  // Temperature raw * 0.05 - 273.15: 5730 is 13.35.
  EXPECT_EQ(output("_tdr.txt"), "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n2026/03/14 06:00:00.000\t10.000\t13.35\n"
                                "2026/03/14 06:00:01.000\t10.500\t13.35\n" + note + "\n" +
                                "2026/03/14 07:00:00.000\t20.000\n2026/03/14 07:00:01.000\t19.000\n");
}

// Records that end an inner burst or profile hand the very next byte to the outer one, which
// must be open again by then: the outer 0xF9 or 0xFD right after ends it, and the dive goes on.
TEST_F(DamagedImageTest, OuterBurstOrProfileEndsRightAfterAnInnerOne) {
  ImageBuilder burst;
  burst.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
  burst.acc_start(4096, 4096, 4096).step(0).step(0).step(0).acc_start(4096, 4096, 4096).acc_end().acc_end();
  burst.step(5).step(5).eof();
  ImageBuilder profile;
  profile.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5);
  profile.ctd_start(1, {2026, 3, 14, 6, 0, 5}, 100, 600, {1600, 23000, 32200});
  profile.ctd_start(1, {2026, 3, 14, 6, 0, 9}, 100, 600, {1600, 23000, 32200}).ctd_end().ctd_end();
  profile.step(5).step(5).eof();
  // Depths 10, 10.5, 11, 11.5: the steps after the outer end belong to the dive.
  const std::string lines = "2026/03/14 06:00:00.000\t10.000\n2026/03/14 06:00:01.000\t10.500\n"
                            "2026/03/14 06:00:02.000\t11.000\n2026/03/14 06:00:03.000\t11.500\n";
  for (const ImageBuilder& image : {burst, profile}) {
    const Outcome plain = skelv(image);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + lines);
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
  ASSERT_EQ(image.size(), 64u * 19 + 100005);
  const Outcome plain = skelv(image);
  const std::string failure = "Failure: Records nested too deeply at byte 1218\n\n";
  ASSERT_GE(plain.out.size(), failure.size());
  EXPECT_EQ(plain.out.substr(plain.out.size() - failure.size()), failure);
  EXPECT_EQ(plain.err, "Skelv: damage stopped decoding at byte 1218; 100003 bytes after it were not decoded. "
                       "-recover decodes past the damage.\n");
  const std::string ctd = output("_ctd.txt");
  EXPECT_EQ(std::count(ctd.begin(), ctd.end(), '\n'), 1 + 64 + 1);
}

// The scan dump is never written through a symbolic link or into a file that is not regular;
// decoding goes on without it.
TEST_F(DamagedImageTest, ScanDumpRefusesLinksAndOtherFiles) {
  const std::string dump = tmp.file("skelv_debug.txt");
  const std::string victim = dir.file("victim.txt");
  write_file(victim, "keep me\n");
  ASSERT_EQ(::symlink(victim.c_str(), dump.c_str()), 0);
  Outcome o = skelv(deployment(), {"-scan"});
  EXPECT_EQ(o.out, head() + "Failure: Can't create scan dump file " + dump + "\n\n");
  EXPECT_EQ(read_file(victim), "keep me\n");
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + kHaulout + kSecondLines);

  std::remove(dump.c_str());
  ASSERT_EQ(::mkfifo(dump.c_str(), 0600), 0);
  o = skelv(deployment(), {"-scan"});
  EXPECT_EQ(o.out, head() + "Failure: Can't create scan dump file " + dump + "\n\n");

  // A regular file of this user is emptied and rewritten.
  std::remove(dump.c_str());
  write_file(dump, std::string(5000, 'x'));
  o = skelv(deployment(), {"-scan"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(read_file(dump).rfind("\n", 0), 0u);
  EXPECT_EQ(read_file(dump).find('x'), std::string::npos);
}

}  // namespace
}  // namespace skelv::test
