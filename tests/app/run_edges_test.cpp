// Whole runs of Skelv at the edges of what it reads and writes: inputs that are no plain file,
// start offsets the input can't reach, read errors, outputs that can't be written or are links,
// and a run killed part-way. Each run's console, standard error, exit status and files.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace skelv::test {
namespace {

const TagTime kDive{2026, 3, 14, 6, 0, 0};

// [0] information record (26 bytes), [26] regime 2 dive at 06:00:00, 1 s: opening depth 100
// [37], steps of +5 [39] and +5 [40]; a dry start [41]; an unknown code 0x05 [44]; a dive at
// 07:00:00 [45] (11 bytes), opening depth 200 [56], a snapshot [58] (8 bytes), a step of -10
// [66] and the end code [67]: 68 bytes.
ImageBuilder deployment(bool damaged = true) {
  InfoBlock b;
  b.tag_version = 170;
  b.tdr_interval = 100;
  ImageBuilder image;
  image.info(b).dive_start(2, kDive, 100).u16(100).step(5).step(5).dry_start(100);
  if (damaged) image.raw({0x05});
  image.dive_start(2, {2026, 3, 14, 7, 0, 0}, 100).u16(200).gps({2026, 3, 14, 7, 0, 1}, {}).step(-10);
  return image.eof();
}

struct Outcome : ProcessResult {
  std::string err;
};

class RunEdgesTest : public ::testing::Test {
 protected:
  // Runs `command` (Skelv is "skelv") in the scratch folder; captures both console streams.
  Outcome sh(const std::string& command) {
    std::string line = command;
    const std::string exe = "'" SKELV_EXE "'";
    for (std::size_t at = 0; (at = line.find("skelv ", at)) != std::string::npos; at += exe.size()) {
      line.replace(at, 5, exe);
    }
    const ProcessResult r = run_command(dir.path(), "{ " + line + "; } 2>.err");
    return Outcome{r, read_file(dir.file(".err"))};
  }
  std::string file(const std::string& name) const { return read_file(dir.file(name)); }
  // The console after its "File:" and "PWD:" lines, with IMAGE for the image's `stem`.
  static std::string tail(const std::string& out, const std::string& stem) {
    std::string t = out.substr(out.find('\n', out.find("PWD: ")) + 1);
    for (const std::string& name : {stem + ".bin", stem + "_"}) {
      const std::string by = name.back() == '_' ? "IMAGE_" : "IMAGE";
      for (std::size_t at = 0; (at = t.find(name, at)) != std::string::npos; at += by.size()) {
        t.replace(at, name.size(), by);
      }
    }
    return t;
  }
  TempDir dir;
};

TEST_F(RunEdgesTest, AFifoIsReadLikeAFileWithAndWithoutRecover) {
  deployment().write_to(dir.file("tag.bin"));
  ASSERT_EQ(::mkfifo(dir.file("fifo.bin").c_str(), 0600), 0);
  for (const char* options : {"", " -recover", " 28"}) {
    SCOPED_TRACE(options);
    const Outcome plain = sh(std::string("skelv tag.bin") + options);
    const Outcome piped = sh(std::string("cat tag.bin > fifo.bin & skelv fifo.bin") + options);
    EXPECT_EQ(tail(piped.out, "fifo"), tail(plain.out, "tag"));
    EXPECT_EQ(piped.status, plain.status);
    EXPECT_EQ(piped.err, plain.err);
    EXPECT_EQ(file("fifo_tdr.txt"), file("tag_tdr.txt"));
    EXPECT_EQ(file("fifo_gps.txt"), file("tag_gps.txt"));
  }
  // The unknown code stands at 44: the plain run stops after it, with 23 bytes left.
  EXPECT_EQ(sh("cat tag.bin > fifo.bin & skelv fifo.bin").err,
            "Skelv: damage stopped decoding at byte 45; 23 bytes after it were not decoded. "
            "-recover decodes past the damage.\n");
  // Its report says the same: the run read bytes 0 to 44 (the code's byte a failure, not a
  // stretch skipped), 45 to 67 not.
  const std::string report = (sh("skelv tag.bin -report"), file("tag_report.json"));
  EXPECT_NE(report.find("\"start_offset\": 0,\n    \"end_offset\": 45,\n    \"bytes_decoded\": 45,\n"
                        "    \"bytes_not_decoded\": 23\n"), std::string::npos) << report;
  // The scan dump would read the image a second time, which a pipe can't give.
  const Outcome scan = sh("cat tag.bin > fifo.bin & TMPDIR=. skelv fifo.bin -scan");
  EXPECT_NE(scan.out.find("Failure: Can't scan fifo.bin: the input can be read only once\n"), std::string::npos);
  EXPECT_EQ(file("fifo_gps.txt"), file("tag_gps.txt"));
}

TEST_F(RunEdgesTest, StartOffsetsPastTheEndAndImagesThatAreFolders) {
  ASSERT_EQ(deployment().size(), 68u);
  deployment().write_to(dir.file("tag.bin"));
  EXPECT_EQ(tail(sh("skelv tag.bin 69").out, "tag"), "Failure: Start offset 69 lies past the end of IMAGE (68 bytes)\n\n");
  EXPECT_EQ(tail(sh("skelv tag.bin 0x7fffffffffffffff").out, "tag"),
            "Failure: Start offset 9223372036854775807 lies past the end of IMAGE (68 bytes)\n\n");
  std::filesystem::create_symlink("/dev/stdin", dir.file("pipe.bin"));
  EXPECT_EQ(tail(sh("cat tag.bin | skelv pipe.bin 69").out, "pipe"),
            "Failure: Start offset 69 lies past the end of IMAGE (68 bytes)\n\n");
  // At the very end there is nothing to decode, and nothing is wrong.
  EXPECT_NE(sh("skelv tag.bin 68").out.find("Completed.\n\nInput: 68 bytes from tag.bin\n"), std::string::npos);
  std::filesystem::create_directory(dir.file("folder.bin"));
  EXPECT_EQ(tail(sh("skelv folder.bin").out, "folder"), "Failure: Can't open TDR data file IMAGE\n\n");
  EXPECT_EQ(sh("skelv tag.bin 69 -strict").status, 2);
}

TEST_F(RunEdgesTest, AReadErrorFailsTheRunAndNamesTheInputAndTheOffset) {
  // The read fails after 40 bytes, inside the first dive: its samples up to there are written.
  deployment().write_to(dir.file("tag.bin"));
  const std::string env = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD='" SKELV_READ_ERROR_SHIM
                          "' SKELV_TEST_READ_FAILS_AFTER=40 SKELV_TEST_READ_FAILS_IN='" +
                          std::filesystem::canonical(dir.file("tag.bin")).string() + "' ";
  const Outcome r = sh(env + "skelv tag.bin -report -strict");
  EXPECT_EQ(tail(r.out, "tag"), "Failure: Can't read IMAGE at byte 40: Input/output error\n\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(file("tag_tdr.txt"), "DATE(UTC)\tDEPTH(m)\n2026/03/14 06:00:00.000\t10.000\n"
                                 "2026/03/14 06:00:01.000\t10.500\n");
  const std::string report = file("tag_report.json");
  EXPECT_NE(report.find("\"result\": \"failed\""), std::string::npos) << report;
  EXPECT_NE(report.find("\"text\": \"Can't read tag.bin at byte 40: Input/output error\""), std::string::npos);
}

TEST_F(RunEdgesTest, OutputsAreNeverWrittenThroughLinksOrIntoOtherFiles) {
  write_file(dir.file("victim"), "keep me");
  for (const char* name : {"tag_tdr.txt", "tag_dives.txt", "tag_report.json"}) {
    std::filesystem::create_symlink("victim", dir.file(name));
  }
  std::filesystem::create_directory(dir.file("tag_gps.txt"));
  // The latest failure on the Failure line, the others after it, in the order they came; on a
  // damaged image read on (the unknown code at 44), the damage's own Failure line last.
  const std::string failures = "Failure: Can't write dives file tag_dives.txt\n\n"
                               "Failure: Can't create report file tag_report.json\n"
                               "Failure: Can't create TDR data file tag_tdr.txt\n"
                               "Failure: Can't create GPS data file tag_gps.txt\n";
  for (const bool damaged : {false, true}) {
    deployment(damaged).write_to(dir.file("tag.bin"));
    const Outcome r = sh(damaged ? "skelv tag.bin -dives -report -recover" : "skelv tag.bin -dives -report");
    EXPECT_EQ(file("victim"), "keep me");
    EXPECT_EQ(r.out.substr(r.out.find("Failure: ")),
              failures + (damaged ? "Failure: Damaged image: 1 bytes in 1 stretch not decoded\n\n" : ""));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("tag_tdr.txt")));
  }
}

TEST_F(RunEdgesTest, AFullDiskNamesEveryFileItCostAndTheReportAgrees) {
  // Files may not grow past 8 KiB (16 blocks of 512 bytes): the TDR file of 2000 dive samples
  // (31 bytes a line) can't be written; the GPS file, the one-dive table and the report can.
  ImageBuilder image;
  image.dive_start(2, kDive, 100).u16(100);
  for (int i = 0; i < 2000; ++i) image.step(i % 2 == 0 ? 1 : -1);
  image.gps(kDive, {}).eof().write_to(dir.file("tag.bin"));
  write_file(dir.file("tag_tdr.txt"), "an earlier run's file\n");
  const Outcome r = sh("ulimit -f 16; skelv tag.bin -dives -report -strict");
  EXPECT_EQ(r.out.substr(r.out.find("Failure")), "Failure: Can't write TDR data file tag_tdr.txt\n\n");
  EXPECT_EQ(r.status, 2);
  // The earlier run's file went when the run began writing the new one; the new one is gone too.
  EXPECT_FALSE(file_exists(dir.file("tag_tdr.txt")));
  EXPECT_FALSE(file_exists(dir.file("tag_tdr.txt.partial")));
  EXPECT_EQ(file("tag_gps.txt"), "2026/03/14 06:00:00 0 3 0\n");
  const std::string report = file("tag_report.json");
  EXPECT_NE(report.find("\"result\": \"failed\""), std::string::npos);
  EXPECT_NE(report.find("Can't write TDR data file tag_tdr.txt"), std::string::npos);
}

TEST_F(RunEdgesTest, AKilledRunLeavesItsFilesUnderPartialNamesOnly) {
  // Skelv reads the image from a FIFO whose writer stops half-way and waits: it is killed there.
  deployment().write_to(dir.file("tag.bin"));
  ASSERT_EQ(::mkfifo(dir.file("fifo.bin").c_str(), 0600), 0);
  write_file(dir.file("fifo_tdr.txt"), "old\n");
  const std::string writer = "(head -c 48 tag.bin; exec sleep 30) > fifo.bin & echo $! > writer; ";
  std::thread run([&] { sh(writer + "skelv fifo.bin & echo $! > pid; wait"); });
  // The TDR file exists as soon as the first dive start has been read.
  for (int i = 0; i < 500 && !file_exists(dir.file("fifo_tdr.txt.partial")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run_command(dir.path(), "{ kill -9 $(cat pid); kill $(cat writer); }");
  run.join();
  // No file of this run nor of an earlier one under the final name: the old one went when the
  // new one was begun.
  EXPECT_FALSE(file_exists(dir.file("fifo_tdr.txt")));
  EXPECT_TRUE(file_exists(dir.file("fifo_tdr.txt.partial")));
  EXPECT_FALSE(file_exists(dir.file("fifo_gps.txt")));
}

}  // namespace
}  // namespace skelv::test
