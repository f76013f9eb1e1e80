// Output names, start offsets, argument handling and the progress line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "app/command_line.h"
#include "app/console.h"
#include "app/output_names.h"

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

// The first argument is the file, if its name fits (1013 characters and "_accel.txt" make 1023);
// after it switches stand anywhere as exact words, a word of "-" or "--" and a letter that is no
// switch is refused, and any other word is an offset, the last one counting.
TEST(CommandLineArgs, FileFirstThenSwitchesAnywhereAndTheLastOffset) {
  const std::string fits(1013, 'b'), near(1014, 'b');
  const struct {
    std::vector<const char*> args;
    Action action;
    std::string input;
    bool scan, netcdf;
    std::int64_t offset;
  } cases[] = {
      {{"-scan", "data.bin"}, Action::kRun, "-scan", false, false, 0},  // data.bin: an offset, no number
      {{"--help", "x"}, Action::kRun, "--help", false, false, 0},       // help only alone
      {{fits.c_str()}, Action::kRun, fits, false, false, 0},
      {{near.c_str()}, Action::kNameTooLong, "", false, false, 0},
      {{"tag.bin", "2000", "-scanned", "0x10"}, Action::kRun, "tag.bin", true, false, 16},
      {{"tag.bin", "--netcdf"}, Action::kRun, "tag.bin", false, true, 0},
      {{"tag.bin", "0x400", "-netcdf", "-scan"}, Action::kRun, "tag.bin", true, true, 1024},
      {{"tag.bin", "-scan", "-netcdf", "77"}, Action::kRun, "tag.bin", true, true, 77},
      {{"tag.bin", "0x10", "-netcdfx"}, Action::kUnknownSwitch, "tag.bin", false, false, 16},
      {{"tag.bin", "-NETCDF"}, Action::kUnknownSwitch, "tag.bin", false, false, 0},
      {{"tag.bin", "--recovr"}, Action::kUnknownSwitch, "tag.bin", false, false, 0},
      {{"tag.bin", "--scan", "-7"}, Action::kRun, "tag.bin", true, false, -7},  // a negative offset
      {{"tag.bin", "-x", "-", "--5"}, Action::kUnknownSwitch, "tag.bin", false, false, 0},
      {{"tag.bin", "-", "--5"}, Action::kRun, "tag.bin", false, false, 0},  // no letter: offsets, no number
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = c.args;
    argv.insert(argv.begin(), "Skelv");
    skelv::Run run;
    const CommandLine cl = parse_command_line(static_cast<int>(argv.size()), argv.data(), run);
    EXPECT_EQ(std::tuple(cl.action, std::string(run.input_name), cl.scan, cl.netcdf, cl.offset),
              std::tuple(c.action, c.input, c.scan, c.netcdf, c.offset)) << argv.back();
    if (c.input == fits) {
      EXPECT_EQ(std::string(run.acc_name), fits + "_accel.txt");
    }
  }
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
