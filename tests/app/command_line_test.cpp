// Output names, start offsets, argument handling and the progress line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"

namespace skelv {
namespace {

std::string name_of(const char* input, const char* suffix = "_tdr.txt") {
  char out[kTextField];
  EXPECT_TRUE(make_output_name(out, suffix, input));
  return out;
}

TEST(OutputName, EndingOfTheLastPathComponentGivesWayToTheSuffix) {
  struct Case {
    const char* input;
    const char* tdr;
  };
  const Case cases[] = {
      {"tag17.bin", "tag17_tdr.txt"},
      {"tag17_compressed.dat", "tag17_tdr.txt"},
      {"tag17_debug.txt", "tag17_tdr.txt"},
      {"tag17_compressed.dat.old", "tag17_tdr.txt"},
      {"tag17_debug.txt_compressed.dat", "tag17_debug.txt_tdr.txt"},  // first rule wins
      {"tag17", "tag17_tdr.txt"},
      {"archive.tar.gz", "archive.tar_tdr.txt"},  // the last dot only
      {"TAG17_COMPRESSED.DAT", "TAG17_COMPRESSED_tdr.txt"},  // case matters
      // Dots in folder names stay where they are.
      {"d:\\run.2\\tag17", "d:\\run.2\\tag17_tdr.txt"},
      {"/data/v1.2/tag17", "/data/v1.2/tag17_tdr.txt"},
      {"/data/v1.2/tag17.bin", "/data/v1.2/tag17_tdr.txt"},
      {"/data/x_compressed.dat/tag17", "/data/x_compressed.dat/tag17_tdr.txt"},
      {"dir/.hidden", "dir/_tdr.txt"},
      {"", "_tdr.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(name_of(c.input), c.tdr) << c.input;
  EXPECT_EQ(name_of("tag17.bin", "_accel.txt"), "tag17_accel.txt");
}

TEST(StartOffset, DecimalOrHexadecimalByTheSecondCharacter) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"1024", 1024}, {"0x400", 1024}, {"0X400", 0},  // upper-case X: decimal, stops at X
      {"0x", 0},      {"-5", -5},      {"0x1fz", 31},
      {"1x10", 1},  // second character x: hexadecimal, which stops at the x
      {"4294967296", 4294967296}, {"0x100000000", 4294967296},  // offsets are 64-bit
  };
  for (const auto& [arg, offset] : cases) EXPECT_EQ(parse_offset(arg), offset) << arg;
}

CommandLine parse(std::vector<const char*> args, skelv::Run& run) {
  args.insert(args.begin(), "Skelv");
  return parse_command_line(static_cast<int>(args.size()), args.data(), run);
}

TEST(CommandLineArgs, FirstArgumentIsTheFileAndTheLastOffsetWins) {
  skelv::Run run;
  CommandLine cl = parse({"-scan", "data.bin"}, run);
  EXPECT_EQ(cl.action, Action::kRun);
  EXPECT_STREQ(run.input_name, "-scan");
  EXPECT_FALSE(cl.scan);
  EXPECT_EQ(cl.offset, 0);  // data.bin is an offset that is no number

  skelv::Run run2;
  cl = parse({"tag.bin", "2000", "-scanned", "0x10"}, run2);
  EXPECT_EQ(cl.action, Action::kRun);
  EXPECT_TRUE(cl.scan);
  EXPECT_EQ(cl.offset, 16);
  EXPECT_STREQ(run2.tdr_name, "tag_tdr.txt");
  EXPECT_STREQ(run2.ctd_name, "tag_ctd.txt");
  EXPECT_STREQ(run2.gps_name, "tag_gps.txt");
  EXPECT_STREQ(run2.acc_name, "tag_accel.txt");
}

TEST(CommandLineArgs, HelpOnlyAloneAndNamesThatDoNotFit) {
  skelv::Run run, run2;
  EXPECT_EQ(parse({"--help", "x"}, run).action, Action::kRun);  // "--help" is then the file name
  const std::string long_name(1024, 'a');
  EXPECT_EQ(parse({long_name.c_str()}, run2).action, Action::kNameTooLong);
  EXPECT_STREQ(run2.input_name, "");
  // 1013 characters and "_accel.txt" make 1023: they fit; one more does not.
  const std::string fits(1013, 'b'), near(1014, 'b');
  EXPECT_EQ(parse({fits.c_str()}, run).action, Action::kRun);
  EXPECT_EQ(std::string(run.acc_name), fits + "_accel.txt");
  EXPECT_EQ(parse({near.c_str()}, run).action, Action::kNameTooLong);
}

// The text a progress printer wrote so far.
std::string printed(const ProgressPrinter& p, char* const& buf, const std::size_t& len) {
  std::fflush(p.out);
  return std::string(buf, len);
}

TEST(Progress, EveryCallPrintsOffATerminalAndATerminalAtMostTenTimesASecond) {
  char* buf = nullptr;
  std::size_t len = 0;
  ProgressPrinter p;
  p.out = open_memstream(&buf, &len);
  show_progress(p, 1024, 1, 2, 3, 4);
  show_progress(p, 0x12345C00, 123456789, 0, 0, 7);  // 0x12345C00 >> 10 = 0x48D17 = 298263
  finish_progress(p);  // everything was drawn already
  const std::string off_terminal =
      "\r     400       1 => TDR         1 | CTD        2 | GPS        3 | ACC         4"
      "\r12345C00  298263 => TDR 123456789 | CTD        0 | GPS        0 | ACC         7";
  EXPECT_EQ(printed(p, buf, len), off_terminal);

  // On a terminal the first call draws; the next 999 come within far less than 100 ms of it,
  // and the last state is drawn before the summary.
  p.terminal = true;
  for (std::uint64_t k = 1; k <= 1000; ++k) show_progress(p, k * 1024, 0, 0, 0, 0);
  const std::string first = "\r     400       1 => TDR         0 | CTD        0 | GPS        0 | ACC         0";
  EXPECT_EQ(printed(p, buf, len), off_terminal + first);
  finish_progress(p);
  EXPECT_EQ(printed(p, buf, len),
            off_terminal + first + "\r   FA000    1000 => TDR         0 | CTD        0 | GPS        0 | ACC         0");
  std::fclose(p.out);
  std::free(buf);
}

}  // namespace
}  // namespace skelv
