// Another tag's image spliced into this one's with no damage at the seam: its first dive start is
// well formed but a day before this tag's dive clock, and its data decode with this tag's
// calibration until its own information record comes.
#include "damaged_image_fixture.h"

namespace skelv::test {
namespace {

// Five dives of this tag (pressure scale 30) set the dive clock; the other tag's dive [F] lies a
// day before it and goes on for 5,000 samples (damage within 4 KiB after it would take it back
// as part of the damage), then holds a profile whose raw pressure 3600 reads 100.00 dbar with this
// tag's scale and 50.00 with the other tag's (60). With an unknown code after the profile, the stretch
// it starts makes the other tag's information record read everything since [F] again with that
// record: the profile reads 50.00. Without the damage the record out of step is no clean decoding
// (the plain run names it as looking damaged and keeps 100.00 as the tag read it), and the other
// tag's record has -recover read the data since [F] again all the same.
TEST_F(DamagedImageTest, AnotherTagsDataSplicedWithoutDamageAreReadAgainWithItsInformationRecord) {
  InfoBlock other = info();
  other.tag_version = 171;
  other.pressure_scale = 60;
  std::size_t foreign = 0, restart = 0;
  const auto spliced = [&](bool damaged, int samples = 5000, bool steady = false, int other_records = 1) {
    ImageBuilder b;
    if (steady) b.info(info());
    b.info(info());
    for (int minute = 0; minute < 50; minute += 10) {
      b.dive_start(2, {2026, 3, 14, 6, minute, 0}, 100).u16(100).step(5).step(5).dry_start(100);
    }
    foreign = b.size();
    b.dive_start(2, {2026, 3, 13, 7, 0, 0}, 100).u16(200).step(-10);
    for (int k = 0; k < samples; ++k) b.step(0);
    b.ctd_start(1, {2026, 3, 13, 7, 0, 5}, 100, 600, {3600, 23000, 32200}).ctd_end().step(-10).dry_start(100);
    if (damaged) b.raw({0x05});
    restart = b.size();
    b.dive_start(2, {2026, 3, 13, 7, 10, 0}, 100).u16(300);
    for (int k = 0; k < 1100; ++k) b.step(0);  // the restart holds: 1 KiB without damage
    b.dry_start(100);
    b.info(other).dive_start(2, {2026, 3, 13, 8, 0, 0}, 100).u16(400).step(0);
    for (int hour = 9; hour < 8 + other_records; ++hour) {
      for (int k = 0; k < 1100; ++k) b.step(0);  // the record before held: the data were read again
      b.dry_start(100).info(other).dive_start(2, {2026, 3, 13, hour, 0, 0}, 100).u16(400).step(0);
    }
    return b.eof();
  };
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  const ImageBuilder image = spliced(true);
  char read_again[40];
  std::snprintf(read_again, sizeof read_again, "read again from %08zX\n", foreign);
  const Outcome damaged = skelv(image, "-recover");
  EXPECT_EQ(damaged.status, 3);
  EXPECT_NE(damaged.out.find(read_again), std::string::npos) << damaged.out;
  EXPECT_EQ(count(output("_ctd.txt"), "\t50.00\t50.00\t"), 1u) << output("_ctd.txt");
  EXPECT_EQ(count(output("_ctd.txt"), "\n2026/"), 1u) << output("_ctd.txt");
  EXPECT_EQ(count(output("_tdr.txt"), "Damaged"), 1u) << output("_tdr.txt");

  // Where this tag's records were all alike (two), [F] read again is doubted again, and the other
  // tag's records differ from them as before: the data are read again once only, not over and
  // over, however many of that tag's records follow (with the damage and without it).
  for (const int records : {1, 3}) {
    for (const bool damage : {true, false}) {
      spliced(damage, 5000, true, records).write_to(dir.file("tag.bin"));
      const ProcessResult once = run_command(dir.path(), "timeout 60 '" SKELV_EXE "' tag.bin -recover");
      EXPECT_EQ(once.status, damage ? 3 : 0);
      EXPECT_EQ(count(once.out, "read again"), 1u) << records << " records\n" << once.out.substr(0, 2000);
      EXPECT_EQ(count(read_file(dir.file("tag_ctd.txt")), "\t50.00\t50.00\t"), 1u);
      EXPECT_EQ(count(read_file(dir.file("tag_tdr.txt")), "\n2026/03/13 "), 6106u + 1102u * (records - 1));
    }
  }

  // Damage within 4 KiB after [F] takes [F] back with it: that window closes with it, and the
  // record reads again from the restart after the damage only (the profile is gone with [F]).
  const ImageBuilder close = spliced(true, 0);
  std::snprintf(read_again, sizeof read_again, "read again from %08zX\n", restart);
  const Outcome near = skelv(close, "-recover");
  EXPECT_NE(near.out.find(read_again), std::string::npos) << near.out;
  std::snprintf(read_again, sizeof read_again, "  %08zX to %08zX, ", foreign, restart - 1);
  EXPECT_NE(near.out.find(read_again), std::string::npos) << near.out;

  const Outcome plain = skelv(spliced(false));
  char named[64];
  std::snprintf(named, sizeof named, "decoded, the first at byte %zu;", foreign);
  EXPECT_NE(plain.err.find(named), std::string::npos) << plain.err;
  EXPECT_EQ(count(output("_ctd.txt"), "\t100.00\t100.00\t"), 1u) << output("_ctd.txt");
  const Outcome recover = skelv(spliced(false), "-recover");
  EXPECT_EQ(recover.status, 0);
  std::snprintf(read_again, sizeof read_again, "read again from %08zX\n", foreign);
  EXPECT_NE(recover.out.find(read_again), std::string::npos) << recover.out;
  EXPECT_EQ(count(output("_ctd.txt"), "\t50.00\t50.00\t"), 1u) << output("_ctd.txt");
  EXPECT_EQ(count(output("_tdr.txt"), "Damaged"), 0u) << output("_tdr.txt");
}

}  // namespace
// This tag's image cut in a profile [43] after 300 samples of three channels, and another image
// of it spliced on at 962: its dive start [963] falls on the profile's second channel, whose code
// is taken for no more than that channel's, so the profile reads the dive's bytes as samples until
// the high byte 0xFE [974] of the dive's opening depth comes on the first channel: a dry start
// whose interval ends at 976, and the dive's step [977] is an unknown code. The damage takes the
// profile back to its checkpoint of 256 samples [827], and the dive start that no record was
// decoded at, in step with the dive clock, is where the data go on: the dive at 07:00 is read
// (opening depth 0xFE00: 6502.400 m); the profile's 256 lines before the checkpoint stay.
TEST_F(DamagedImageTest, ARecordStartAStreamReadAsSamplesIsWhereTheDataGoOn) {
  const auto spliced = [](const TagTime& dive) {
    ImageBuilder b;
    b.info(info()).dive_start(2, {2026, 3, 14, 6, 0, 0}, 100).u16(100).step(5).dry_start(100);
    b.ctd_start(1, {2026, 3, 14, 6, 10, 0}, 100, 600, {1600, 23000, 32200});
    for (int k = 0; k < 300 * 3; ++k) b.step(0);
    b.step(0).dive_start(2, dive, 100).u16(0xFE00).step(-10).step(-10).dry_start(100);
    return b.dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(300).step(0).dry_start(100).eof();
  };
  const Outcome recover = skelv(spliced({2026, 3, 14, 7, 0, 0}), "-recover");
  EXPECT_EQ(recover.status, 3);
  EXPECT_NE(recover.out.find("\n@0000033B: Damaged: skipped to 000003C2, 136 bytes: unknown code 82\n"),
            std::string::npos)
      << recover.out;
  const std::string tdr = output("_tdr.txt"), ctd = output("_ctd.txt");
  EXPECT_NE(tdr.find("\n2026/03/14 07:00:00.000\t6502.400\n"), std::string::npos) << tdr;
  EXPECT_NE(tdr.find("\n2026/03/14 08:00:00.000\t30.000\n"), std::string::npos) << tdr;
  EXPECT_EQ(std::count(ctd.begin(), ctd.end(), '\n'), 1 + 256 + 1) << ctd.substr(0, 400);  // header, lines, note

  // From a pipe the bytes can't be looked at again: the damage is the unknown code [977] alone (a
  // checkpoint stands at it), the search goes on after it to the dive at 08:00 [981], and the
  // profile's lines from the other image's bytes stay. So it goes on a file where the dive start
  // read as samples is a day before the dive clock: no evidence that the data go on there.
  const std::string old_search = "\n@000003D1: Damaged: skipped to 000003D4, 4 bytes: unknown code 82\n";
  std::filesystem::create_symlink("/dev/stdin", dir.file("pipe.bin"));
  const ProcessResult piped = run_command(dir.path(), "cat tag.bin | '" SKELV_EXE "' pipe.bin -recover");
  EXPECT_NE(piped.out.find(old_search), std::string::npos) << piped.out;
  EXPECT_EQ(read_file(dir.file("pipe_tdr.txt")).find("\t6502.400"), std::string::npos);
  const Outcome out_of_step = skelv(spliced({2026, 3, 13, 7, 0, 0}), "-recover");
  EXPECT_NE(out_of_step.out.find(old_search), std::string::npos) << out_of_step.out;
  EXPECT_EQ(output("_tdr.txt").find("\t6502.400"), std::string::npos);
}

// Damage [44] (unknown code 5, 3 bytes), then a dive start a day before the dive clock [47]: a
// restart out of step, which holds at the end of the data once a further record came (the end
// code [61] is one): its two lines are written.
TEST_F(DamagedImageTest, ARestartOutOfStepHoldsAtTheEndOfTheDataAfterAFurtherRecord) {
  ImageBuilder b;
  b.info(info()).dive_start(2, kFirstDive, 100).u16(100).step(5).step(5).dry_start(100).raw({0x05, 0x06, 0x07});
  const Outcome r = skelv(b.dive_start(2, {2026, 3, 13, 7, 0, 0}, 100).u16(200).step(-10).eof(), "-recover");
  EXPECT_NE(r.out.find("\n@0000002C: Damaged: skipped to 0000002E, 3 bytes: unknown code 5\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("too little"), std::string::npos) << r.out;
  EXPECT_NE(output("_tdr.txt").find("\n2026/03/13 07:00:00.000\t20.000\n2026/03/13 07:00:01.000\t19.000\n"),
            std::string::npos)
      << output("_tdr.txt");
}

}  // namespace skelv::test
