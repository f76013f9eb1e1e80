// The Skelv executable's console output and exit status, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace skelv::test {
namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  ProcessResult skelv(const std::vector<std::string>& args) { return run_skelv(args, dir.path()); }
  std::string head(const std::string& file) const {
    return "\nSkelv  v78File: " + file + "\nPWD: " + std::filesystem::canonical(dir.path()).string() + "\n";
  }
  TempDir dir;
};

TEST_F(ConsoleTest, ArgumentListsThatDecodeNothingAndAMissingInput) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } cases[] = {
      {{}, "\nSkelv  v78\n\nUsage: Skelv filename {offset} {-scan}\n", 1},
      {{std::string(1100, 'n')}, "\nSkelv  v78\n\nFile name too long: at most 1023 characters\n", 1},
      {{"--version"}, "Skelv v78\n", 0},
      {{"absent.bin"}, head("absent.bin") + "Failure: Can't open TDR data file absent.bin\n\n", 0},  // status 0
  };
  for (const auto& c : cases) {
    const ProcessResult r = skelv(c.args);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.status, c.status);
  }
  const ProcessResult help = skelv({"--help"});
  EXPECT_EQ(help.out.rfind("Usage: Skelv filename {offset} {-scan}\n", 0), 0u);
  EXPECT_EQ(help.status, 0);
}

TEST_F(ConsoleTest, RunWithoutInformationRecordHasAnUnknownVersionAndNoOutputs) {
  ImageBuilder().raw({0x00, 0xF7, 0x01}).wetdry(1).eof().write_to(dir.file("t.dat"));
  const ProcessResult r = skelv({"t.dat"});
  // The start search skips 0x00 0xF7 0x01, then the wet/dry record and 0xFF: 6 bytes.
  EXPECT_EQ(r.out, head("t.dat") +
                       "\n\nTag Version: ???\n\n\nCompleted.\n\nInput: 6 bytes from t.dat\n\nOutput:\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(ConsoleTest, RunWithInformationGpsAndWetDryRecords) {
  // Offsets: 998 skipped zeros; the information record 998..1023 (its block read ends on
  // 1024: first progress line); a snapshot of 0 entries 1024..1031; seven snapshots of 40
  // entries (128 bytes each) 1032..1927; wet/dry records from 1928, whose state and next-code
  // bytes are single reads, so the 60th record's state read ends on 2048 with 8 snapshots
  // counted; 0xFF at 2048.
  InfoBlock info;
  info.tag_version = 170;
  ImageBuilder image;
  image.zeros(998).info(info).gps({2021, 3, 14, 9, 26, 53}, {});
  std::vector<GpsEntry> entries;
  std::string entry_text;
  char buf[32];
  for (int i = 0; i < 40; ++i) {
    entries.push_back({static_cast<std::uint8_t>(i * 6), static_cast<std::uint16_t>(i * 0x0405)});
    std::snprintf(buf, sizeof buf, " %d %04x", i * 6, i * 0x0405);
    entry_text += buf;
  }
  for (int k = 0; k < 7; ++k) image.gps({2021, 3, 14, 10, k, 0}, entries);
  for (int k = 0; k < 60; ++k) image.wetdry(static_cast<std::uint8_t>(k % 2));
  image.eof();
  ASSERT_EQ(image.size(), 2049u);
  image.write_to(dir.file("tag17.bin"));

  const ProcessResult r = skelv({"tag17.bin"});
  EXPECT_EQ(r.out, head("tag17.bin") +
                       "\r     400       1 => TDR         0 | CTD        0 | GPS        0 | ACC         0"
                       "\r     800       2 => TDR         0 | CTD        0 | GPS        8 | ACC         0"
                       "\n\nTag Version: 170\n\nCompleted.\n\nInput: 2049 bytes from tag17.bin\n\n"
                       "Output:\n  tag17_gps.txt: 8 GPS records\n");
  EXPECT_EQ(r.status, 0);
  std::string gps = "2021/03/14 09:26:53 0 3 0\n";
  for (int k = 0; k < 7; ++k) gps += "2021/03/14 10:0" + std::to_string(k) + ":00 40 3 0" + entry_text + "\n";
  EXPECT_EQ(read_file(dir.file("tag17_gps.txt")), gps);
}

TEST_F(ConsoleTest, UnknownCodeIsReportedAfterTheProgressLine) {
  ImageBuilder().gps({2020, 1, 2, 3, 4, 5}, {}).code(0xF3).write_to(dir.file("u.bin"));
  const ProcessResult r = skelv({"u.bin"});
  EXPECT_EQ(r.out, head("u.bin") + "Failure: Unknown code f3 at byte 9\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir.file("u_gps.txt")), "2020/01/02 03:04:05 0 3 0\n");
}

}  // namespace
}  // namespace skelv::test
