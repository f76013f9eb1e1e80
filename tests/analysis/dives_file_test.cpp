// Skelv -dives on a built image: the table file, the quick look's reader finding the same dives
// in the TDR file, the file read back by Python, and a run without -dives left as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/dive_tsv.h"
#include "quicklook/deployment.h"
#include "encoder/image_builder.h"
#include "support/test_support.h"

namespace skelv::analysis {
namespace {

using skelv::test::read_file;
using skelv::test::run_skelv;
using skelv::test::TempDir;

// Regime 1 (depth and temperature, 1 s) from 09:00:00: 0, 10, 30, 30, 10, 0 m at 20.00, 20.00,
// 15.00, 14.00, 20.00, 20.00 C (raw 5863, 5763, 5743). A dry start with its temperature stream
// (one line at 09:00:05, the time of the last dive line), then regime 2 (depth only) from
// 10:00:00: 5, 20, 3, 1, 25, 40 m, and the data end.
void write_image(const std::string& path) {
  skelv::test::ImageBuilder img;
  img.dive_start(1, {2021, 3, 14, 9, 0, 0}, 100).u16(0).u16(5863);
  img.change(0, 100).step(0).change(100, 300).change(5863, 5763).step(0).step(-20);
  img.change(300, 100).change(5743, 5863).change(100, 0).step(0);
  img.dry_start(100).u16(5900);
  img.dive_start(2, {2021, 3, 14, 10, 0, 0}, 100).u16(50).change(50, 200).change(200, 30).change(30, 10);
  img.change(10, 250).change(250, 400).eof().write_to(path);
}

// By hand, threshold 2 m. Dive 1: 10 to 10 m, 09:00:01 to 09:00:04; down 20 m in 1 s, bottom (24 m
// and deeper) the two 30 m samples, 1 s at 14.50 C, up 20 m in 1 s; the dry start leaves it no
// surface interval. Dive 2 begins deep after the haul-out (cut at its start: no descent): 5, 20,
// 3 m; up 17 m in 1 s; 2 s to dive 3. Dive 3: 25, 40 m, cut by the end of the data (no ascent).
const std::string kTable = std::string(kDiveHeader) +
    "1\t2021-03-14 09:00:01.000\t2021-03-14 09:00:04.000\t3.000\t30.000\t2021-03-14 09:00:02.000\t"
    "1.000\t20.000\t1.000\t1.000\t20.000\t14.50\t\t0\t0\n"
    "2\t2021-03-14 10:00:00.000\t2021-03-14 10:00:02.000\t2.000\t20.000\t2021-03-14 10:00:01.000\t"
    "\t\t0.000\t1.000\t17.000\t\t2.000\t1\t0\n"
    "3\t2021-03-14 10:00:04.000\t2021-03-14 10:00:05.000\t1.000\t40.000\t2021-03-14 10:00:05.000\t"
    "1.000\t15.000\t0.000\t\t\t\t\t0\t1\n";

void collect(void* context, const Dive& dive) {
  char line[kDiveLineRoom];
  *static_cast<std::string*>(context) += std::string(line, format_dive_line(dive, line));
}

class DivesFile : public ::testing::Test {
 protected:
  DivesFile() { write_image(dir.file("tag.bin")); }
  skelv::test::ProcessResult run(const std::vector<std::string>& args) { return run_skelv(args, dir.path()); }
  TempDir dir;
};

// One image converted with and without -dives: the table, the same dives found by the quick
// look's reader in the TDR file, the table typed column by column by Python's csv module, and
// the other files and the console otherwise unchanged.
TEST_F(DivesFile, TableMatchesTheQuickLookLoadsTypedAndChangesNothingElse) {
  TempDir plain;
  write_image(plain.file("tag.bin"));
  const auto a = run_skelv({"tag.bin"}, plain.path());
  const auto b = run({"tag.bin", "-dives"});
  ASSERT_EQ(b.status, 0) << b.out;
  EXPECT_EQ(read_file(dir.file("tag_dives.txt")), kTable);
  EXPECT_FALSE(skelv::test::file_exists(plain.file("tag_dives.txt")));
  for (const char* name : {"tag_tdr.txt", "tag_ctd.txt", "tag_gps.txt", "tag_accel.txt"}) {
    EXPECT_EQ(skelv::test::file_exists(plain.file(name)), skelv::test::file_exists(dir.file(name))) << name;
    if (skelv::test::file_exists(plain.file(name))) {
      EXPECT_EQ(read_file(plain.file(name)), read_file(dir.file(name))) << name;
    }
  }
  // The console differs by the table's line alone (the working folder aside).
  auto tail = [](const std::string& s) { return s.substr(s.find("Tag Version")); };
  EXPECT_EQ(tail(a.out) + "  tag_dives.txt: 3 dives\n", tail(b.out));

  auto d = std::make_unique<quicklook::Deployment>();
  quicklook::deployment_reset(*d);
  std::string lines = kDiveHeader;
  analysis_reset(d->analysis, DiveSettings{}, collect, &lines);
  ASSERT_TRUE(quicklook::read_file(*d, quicklook::FileKind::kTdr, dir.file("tag_tdr.txt").c_str()));
  EXPECT_EQ(lines, kTable);

  // A type per column, empty only where a value can be unknown; the header names them all.
  skelv::test::write_file(dir.file("check.py"), R"(import csv, datetime, sys
when = lambda v: datetime.datetime.strptime(v, '%Y-%m-%d %H:%M:%S.%f')
opt = lambda v: None if v == '' else float(v)
types = {'DIVE': int, 'START(UTC)': when, 'END(UTC)': when, 'DURATION(s)': float, 'MAX_DEPTH(m)': float,
         'MAX_DEPTH_TIME(UTC)': when, 'DESCENT_TIME(s)': opt, 'DESCENT_RATE(m/s)': opt, 'BOTTOM_TIME(s)': opt,
         'ASCENT_TIME(s)': opt, 'ASCENT_RATE(m/s)': opt, 'BOTTOM_TEMP(C)': opt, 'SURFACE_INTERVAL(s)': opt,
         'START_CUT': int, 'END_CUT': int}
with open(sys.argv[1], newline='') as f:
    rows = list(csv.DictReader(f, delimiter='\t'))
    assert list(rows[0].keys()) == list(types), rows[0].keys()
typed = [{k: types[k](v) for k, v in r.items()} for r in rows]
print(len(typed), typed[0]['START(UTC)'].isoformat(), typed[0]['BOTTOM_TEMP(C)'], typed[1]['DESCENT_RATE(m/s)'],
      typed[0]['SURFACE_INTERVAL(s)'], [(r['START_CUT'], r['END_CUT']) for r in typed])
)");
  const auto py = skelv::test::run_command(dir.path(), "/usr/bin/python3 check.py tag_dives.txt 2>&1");
  EXPECT_EQ(py.status, 0) << py.out;
  EXPECT_EQ(py.out, "3 2021-03-14T09:00:01 14.5 None None [(0, 0), (1, 0), (0, 1)]\n");
}

TEST_F(DivesFile, DiveSwitchesFromTheCommandLine) {
  // Deeper than 25 m: the two 30 m samples (bottom 1 s; descent and ascent 0 s), then 40 m alone,
  // cut by the end of the data; 25 m itself is not deeper.
  const std::string table = std::string(kDiveHeader) +
      "1\t2021-03-14 09:00:02.000\t2021-03-14 09:00:03.000\t1.000\t30.000\t2021-03-14 09:00:02.000\t"
      "0.000\t\t1.000\t0.000\t\t14.50\t\t0\t0\n"
      "2\t2021-03-14 10:00:05.000\t2021-03-14 10:00:05.000\t0.000\t40.000\t2021-03-14 10:00:05.000\t"
      "0.000\t\t0.000\t\t\t\t\t0\t1\n";
  for (const char* option : {"-dive-threshold", "--dive-threshold"}) {
    ASSERT_EQ(run({"tag.bin", "--dives", option, "25"}).status, 0);
    EXPECT_EQ(read_file(dir.file("tag_dives.txt")), table) << option;
  }
  // Dives of 3, 2 and 1 s: the last is shorter than 2 s.
  auto r = run({"tag.bin", "-dives", "-dive-min-duration", "2"});
  EXPECT_NE(r.out.find("  tag_dives.txt: 2 dives (1 shorter than 2 s left out)\n"), std::string::npos) << r.out;
  // 5 m subtracted: 0, 5, 25, 25, 5, 0 and 5 - 5, 20 - 5, 3 - 5 (0), 1 - 5 (0), 25 - 5, 40 - 5 m:
  // three dives, 25, 15 and 35 m deep.
  ASSERT_EQ(run({"tag.bin", "-dives", "-zoc", "5"}).status, 0);
  const auto py = skelv::test::run_command(dir.path(), "cut -f5 tag_dives.txt | tr '\\n' ' '");
  EXPECT_EQ(py.out, "MAX_DEPTH(m) 25.000 15.000 35.000 ");
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"-dive-threshold", "x"}, {"-dive-threshold", "-1"}, {"-dive-threshold", "2m"}, {"-dive-threshold", ""},
           {"-dive-threshold"}, {"-zoc", "automatic"}, {"-zoc-median", "4"}, {"-dive-min-duration"}}) {
    std::vector<std::string> args = {"tag.bin", "-dives"};
    args.insert(args.end(), bad.begin(), bad.end());
    r = run(args);
    EXPECT_EQ(r.status, 1) << bad[0];
    EXPECT_NE(r.out.find("Usage: Skelv"), std::string::npos) << bad[0];
  }
}

TEST_F(DivesFile, TableThatCannotBeWrittenIsReportedAndNoImageGivesNoTable) {
  ASSERT_EQ(::mkdir(dir.file("tag_dives.txt").c_str(), 0755), 0);  // a folder in the way
  auto r = run({"tag.bin", "-dives"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Failure: Can't write dives file tag_dives.txt\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Completed."), std::string::npos) << r.out;
  r = run({"missing.bin", "-dives"});
  EXPECT_NE(r.out.find("Failure: Can't open TDR data file missing.bin"), std::string::npos) << r.out;
  EXPECT_FALSE(skelv::test::file_exists(dir.file("missing_dives.txt")));
  // An image without dive samples still gets the header, so the table always loads.
  skelv::test::ImageBuilder().eof().write_to(dir.file("empty.bin"));
  ASSERT_EQ(run({"empty.bin", "-dives"}).status, 0);
  EXPECT_EQ(read_file(dir.file("empty_dives.txt")), kDiveHeader);
}

}  // namespace
}  // namespace skelv::analysis
