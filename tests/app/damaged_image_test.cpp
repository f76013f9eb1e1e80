// Whole runs of the Skelv executable on damaged images, plain and with -recover: standard output,
// standard error, exit status and the output files.
#include <sstream>

#include "damaged_image_fixture.h"

namespace skelv::test {
namespace {

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
  // A stray end code [40] in a dive that holds a profile [42]: the run restarts at the profile,
  // in step with the dive clock, which holds once its own end code [64] ends it (two CTD lines).
  // The dive's next step [65] then comes to the record loop: a stretch to the second dive [70],
  // which holds (its dry start is a further record). The garbage at the end [87] is a third stretch.
  // A profile a day before the dive clock ends with its end code too, but is no restart that holds
  // so soon: the stretch goes on over it to the second dive.
  const auto nested = [](std::uint8_t day) {
    ImageBuilder b;
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).raw({0xFF}).step(5);
    b.ctd_start(1, {2026, 3, day, 6, 0, 5}, 100, 600, {1600, 23000, 32200}).step(10).step(0).step(0).ctd_end();
    b.step(5).step(5).dry_start(100).dive_start(2, kSecondDive, 100).u16(200).step(-10).dry_start(100);
    return b.raw({0x33, 0x44});
  };
  const Gap end_code{40, 2, "end-of-data code with data after it"}, code5{65, 5, "unknown code 5"};
  const Gap code33{87, 2, "unknown code 33"}, over_profile{40, 30, "end-of-data code with data after it"};
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
      // A plain run ends the process. -recover takes the burst back with its warnings; the dive's
      // sample read before it [39] keeps its closing line. No burst is left for an accelerometer file.
      {"burst", burst, 1, "Failure: ACC OVERFLOW at byte 344\n\n", stopped(344, 19), "", {burst_gap}, tdr4,
       kTwoLines, "", "<missing>"},
      {"nested", nested(14), 0, "", "", "", {end_code, code5, code33}, tdr4 + "  tag_ctd.txt: 2 CTD records\n", "",
       kTdrHeader2 + kTwoLines + end_code.note() + "\n" + code5.note() + "\n" + kSecondLines + code33.note() + "\n",
       ""},
      {"nested, out of step", nested(13), 0, "", "", "", {over_profile, code33}, tdr4, "",
       kTdrHeader2 + kTwoLines + over_profile.note() + "\n" + kSecondLines + code33.note() + "\n", ""},
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

// After damage [44] the run restarts at a dive [45] in step with the dive clock, which holds a
// profile [59]: (3600 - 600) counts over the pressure scale. The information record after the
// dive is another tag's (version 171, 60 counts per dbar): the data since the restart are that
// tag's and are read again with it, 50 dbar, once a further record has followed that record
// without damage (or 1 KiB has). An information record of the run's own version
// changes the calibration from where it stands only: the profile keeps 30 counts per dbar,
// 100 dbar, and so does the first from a FIFO, which can't be read twice. Either way every other
// line is the same, and the stretch and the progress at byte 1024 show once.
TEST_F(DamagedImageTest, AnotherTagsDataAfterARestartAreReadWithItsInformationRecord) {
  struct Splice {
    std::uint16_t version;
    bool damage_after = false;  // damage right after the other tag's information record
    int tail = 0;               // steps of the dive after that record
    bool steady = false;        // two information records alike before the damage
    int size = 24;              // of the other tag's information record
    std::uint16_t pressure_scale = 60;  // the other tag's; this tag's is 30
    int steps = 1000;           // of the dive before that record
  };
  const auto spliced = [](const Splice& s) {
    InfoBlock other = info();
    other.tag_version = s.version;
    other.pressure_scale = s.pressure_scale;
    other.size = s.size;
    ImageBuilder b;
    if (s.steady) b.info(info());
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05});
    b.dive_start(2, kSecondDive, 100).u16(200).step(-10);
    b.ctd_start(1, {2026, 3, 14, 7, 0, 5}, 100, 600, {3600, 23000, 32200}).ctd_end().step(-10);
    for (int k = 0; k < s.steps; ++k) b.step(0);  // past byte 1024: the progress shows once
    b.dry_start(100);
    b.info(other);
    if (s.damage_after) b.raw({0x05});
    b.dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(300);
    for (int k = 0; k < s.tail; ++k) b.step(0);
    return b.eof();
  };
  const std::string note = Gap{44, 1, "unknown code 5"}.note();
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  const Outcome replayed = skelv(spliced({171}), "-recover");
  EXPECT_EQ(replayed.status, 3);
  EXPECT_EQ(count(replayed.out, "     400       1 => "), 1u) << replayed.out;
  const std::string tdr = output("_tdr.txt"), ctd = output("_ctd.txt");
  EXPECT_EQ(count(ctd, "\t50.00\t50.00\t"), 1u) << ctd;
  EXPECT_EQ(count(ctd, "\n2026/"), 1u) << ctd;
  EXPECT_EQ(count(tdr, note), 1u) << tdr;
  EXPECT_EQ(skelv(spliced({170}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  EXPECT_EQ(output("_tdr.txt"), tdr);
  // Where the tag's records were all alike before the damage (two of them), another calibration
  // of the same version is another tag's too.
  EXPECT_EQ(skelv(spliced({.version = 170, .steady = true}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t50.00\t50.00\t"), 1u) << output("_ctd.txt");
  // The tag's own record again: nothing is read again.
  const Outcome own = skelv(spliced({.version = 170, .steady = true, .pressure_scale = 30}), "-recover");
  EXPECT_EQ(own.out.find("read again"), std::string::npos) << own.out;
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  // Nor after more than 512 KiB of input past the restart.
  EXPECT_EQ(skelv(spliced({.version = 171, .steps = 530000}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  // A record too short to set every field (version, intervals and pressure scale only) is no
  // other tag's.
  EXPECT_EQ(skelv(spliced({.version = 171, .size = 8}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  // The same when the data after that record go on for more than 1 KiB in one stream.
  EXPECT_EQ(skelv(spliced({.version = 171, .tail = 1100}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t50.00\t50.00\t"), 1u) << output("_ctd.txt");
  // Damage right after that record takes it back with the damage (its version is not the first
  // record's): nothing is read again.
  EXPECT_EQ(skelv(spliced({.version = 171, .damage_after = true}), "-recover").status, 3);
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  // A FIFO can't be read twice: another tag's data after the restart are read on as they stand.
  spliced({171}).write_to(dir.file("tag.bin"));
  ASSERT_EQ(::mkfifo(dir.file("fifo.bin").c_str(), 0600), 0);
  const ProcessResult fifo =
      run_command(dir.path(), "(cat tag.bin > fifo.bin &); '" SKELV_EXE "' fifo.bin -recover 2>/dev/null");
  EXPECT_EQ(fifo.status, 3);
  EXPECT_EQ(count(read_file(dir.file("fifo_ctd.txt")), "\t100.00\t100.00\t"), 1u);
  EXPECT_EQ(read_file(dir.file("fifo_tdr.txt")), tdr);
}

// Another tag of version 132 writes absolute depths: read as steps, its sample 0x00FF is a zero
// step and an end-of-data code with data after it, a second stretch after the restart [45],
// whether the restart's trial has passed by then or passes at that code (two records after it; the
// other tag's dives lie a day before this one's, out of step with its dive clock).
// The other tag's information record reads the data since the restart again, and that stretch is
// gone: the samples read 0.000 m (0 / 10), the one of 255 counts 25.500 m, and one stretch
// remains. Nothing read before passed on: the table of dives has each dive once.
TEST_F(DamagedImageTest, StretchesAfterARestartAreReadAgainWithAnotherTagsRecord) {
  InfoBlock old_tag = info();
  old_tag.tag_version = 132;
  const auto spliced = [&](bool with_record, bool within_trial) {
    ImageBuilder b;
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05});
    b.dive_start(2, {2026, 3, 13, 7, 0, 0}, 100).u16(200);
    if (within_trial) {
      for (int k = 0; k < 100; ++k) b.u16(0);
      b.dry_start(100).dive_start(2, {2026, 3, 13, 7, 30, 0}, 100).u16(250);
      for (int k = 0; k < 50; ++k) b.u16(0);
    } else {
      for (int k = 0; k < 600; ++k) b.u16(0);  // 1 KiB and more, as zero steps or as zero depths
    }
    b.u16(0x00FF).dive_start(2, {2026, 3, 13, 8, 0, 0}, 100).u16(300);
    for (int k = 0; k < 600; ++k) b.u16(0);
    if (with_record) b.info(old_tag);
    return b.dive_start(2, {2026, 3, 13, 9, 0, 0}, 100).u16(400).eof();
  };
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  // The start and maximum depth of each dive.
  const auto dives = [&] {
    std::string rows, line;
    std::istringstream table(output("_dives.txt"));
    std::getline(table, line);
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string field[5];
      for (std::string& f : field) std::getline(fields, f, '\t');
      rows += field[1] + " " + field[4] + "\n";
    }
    return rows;
  };
  const struct {
    bool within_trial;
    std::size_t zeros;
    const char* read_again;
    std::string dives;
  } rows[] = {
      {false, 1200, "@000009A9: Another tag's information record: read again from 0000002D\n",
       "2026-03-13 07:00:00.000 20.000\n2026-03-13 07:10:01.000 25.500\n"},
      {true, 750, "@00000635: Another tag's information record: read again from 0000002D\n",
       "2026-03-13 07:00:00.000 20.000\n2026-03-13 07:30:00.000 25.000\n2026-03-13 07:30:51.000 25.500\n"},
  };
  for (const auto& row : rows) {
    const Outcome read_again = skelv(spliced(true, row.within_trial), "-recover -dives");
    EXPECT_EQ(read_again.status, 3);
    const std::string tdr = output("_tdr.txt");
    EXPECT_EQ(count(tdr, "Damaged"), 1u) << tdr;
    EXPECT_EQ(count(tdr, "\t25.500\n"), 1u) << tdr;
    EXPECT_EQ(count(tdr, "\t0.000\n"), row.zeros) << tdr;
    EXPECT_NE(read_again.out.find(row.read_again), std::string::npos) << read_again.out;
    EXPECT_NE(read_again.out.find("Damaged image: 1 stretch skipped, 1 bytes not decoded\n"
                                  "  0000002C to 0000002C, 1 bytes: unknown code 5\n\nInput: "),
              std::string::npos)
        << read_again.out;
    EXPECT_EQ(dives(), "2026-03-14 06:00:00.000 11.000\n" + row.dives +
                           "2026-03-13 08:00:00.000 30.000\n2026-03-13 09:00:00.000 40.000\n");
  }
  // Without it the second stretch stands, and the depths stay as the steps made them.
  const Outcome as_read = skelv(spliced(false, false), "-recover");
  EXPECT_NE(as_read.out.find("end-of-data code with data after it"), std::string::npos) << as_read.out;
  EXPECT_EQ(count(output("_tdr.txt"), "Damaged"), 2u) << output("_tdr.txt");
  // The end code [1259] alone, as at the end of an undamaged run's data.
  EXPECT_EQ(count(output("_tdr.txt"), Gap{1259, 1, "end-of-data code with data after it"}.note()), 1u)
      << output("_tdr.txt");
  EXPECT_EQ(count(output("_tdr.txt"), "\t0.000\n"), 0u) << output("_tdr.txt");
}

// A -recover run creates a text file when its first lines pass on: one whose name can't be taken
// fails the run as a plain run does, with its lines uncounted, and the other files are written.
TEST_F(DamagedImageTest, TextFileThatCantBeCreatedFailsAsInAPlainRun) {
  // A folder that holds a file: not even removed before the run.
  std::filesystem::create_directory(dir.file("tag_tdr.txt"));
  write_file(dir.file("tag_tdr.txt/keep"), "");
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).acc_start(4096, 4096, 4096).acc_end().eof();
  for (const char* mode : {"", "-recover"}) {
    const Outcome o = skelv(b, std::string(mode) + " -report");
    EXPECT_NE(o.out.find("Failure: Can't create TDR data file tag_tdr.txt\n"), std::string::npos) << mode << o.out;
    // One sample of 4096 counts: 4096 / 256 - 16 = 0 g on each axis.
    const std::string accel = output("_accel.txt");
    EXPECT_EQ(accel.rfind("DATE(UTC)\tX\tY\tZ\n", 0), 0u) << mode << accel;
    EXPECT_EQ(accel.size() - accel.find('\t', 20), std::string("\t0.0000\t0.0000\t0.0000\n").size()) << mode << accel;
    const std::string report = output("_report.json");
    const std::size_t tdr = report.find("\"kind\": \"tdr\"");
    ASSERT_NE(tdr, std::string::npos) << report;
    EXPECT_EQ(report.find("\"records\": ", tdr), report.find("\"records\": 0,", tdr)) << mode << report;
  }
}

// Damage takes back what a block of bursts had written out: the second dive [52] is dated on day
// 32 of March, implausible on its own bytes, and its burst [66], an hour after the first one,
// writes the first burst out and takes the block's place. The unknown code 5 [78] after the dry
// start shows damage close behind the second dive: -recover goes back to before it, with the first
// burst pending again, and writes it at the end: two samples from 06:00:00 to 06:00:01, half a
// second apart, raw / 256 - 16 g.
TEST_F(DamagedImageTest, DamageTakesBackTheBlockWrittenOutBeforeIt) {
  // The same with a first burst of one sample: its three steps gone, the second dive is at 49.
  const std::string two = "2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n"
                          "2026/03/14 06:00:00.500\t0.2500\t0.7500\t0.2500\n";
  const std::string one = "2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n";
  for (const bool single : {false, true}) {
    ImageBuilder b;
    b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).acc_start(4096, 4352, 4160);
    if (!single) b.step(64).step(-64).step(0);
    b.acc_end().step(5);
    b.dive_start(2, {2026, 3, 32, 7, 0, 0}, 100).u16(200).step(-10).acc_start(4096, 4096, 4096).acc_end();
    b.step(5).dry_start(100).raw({0x05}).dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(300).step(5).eof();
    const Gap code5{single ? 49u : 52u, 27, "unknown code 5"};
    const Outcome recover = skelv(b, "-recover");
    EXPECT_EQ(recover.status, 3);
    EXPECT_EQ(output("_accel.txt"), "DATE(UTC)\tX\tY\tZ\n" + code5.note() + "\n" + (single ? one : two));
    EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + kFirstLines + code5.note() +
                                      "\n2026/03/14 08:00:00.000\t30.000\n2026/03/14 08:00:01.000\t30.500\n");
  }
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
              {ImageBuilder().dive_start(2, {2026, 4, 1, 0, 0, 0}, 100).u16(200), true},
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
