// Whole files read line by line: what each line counts as, dives, casts and notes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "quicklook/deployment.h"
#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

constexpr double kMar14 = 1615680000.0;  // 2021-03-14 00:00:00 UTC (18700 days after 1970-01-01)

class DeploymentTest : public ::testing::Test {
 protected:
  DeploymentTest() { deployment_reset(d); }
  // Lines, sample lines, headers, HAULOUT lines, notes, lines skipped, a cut-off last line skipped.
  std::vector<std::uint64_t> read(FileKind kind, const std::string& text) {
    skelv::test::write_file(dir.file("f.txt"), text);
    EXPECT_TRUE(read_file(d, kind, dir.file("f.txt").c_str()));
    const FileTally& t = d.files[file_index(kind)];
    return {t.lines, t.data, t.headers, t.haulouts, t.notes, t.unparsed, t.truncated};
  }
  skelv::test::TempDir dir;
  std::unique_ptr<Deployment> owner = std::make_unique<Deployment>();  // large: on the heap
  Deployment& d = *owner;
};

TEST_F(DeploymentTest, TdrLinesCountByWhatTheyAreAndMakeDives) {
  // A dive goes deeper than 2 m and ends back at 2 m or above, or at a haul-out: 1.9 and 2.0 no
  // dive, 30 dive 1, 1.5 end, 3 dive 2, 1.0 end, 2.5 dive 3, HAULOUT cuts it, 12.5 dive 4 (cut: it
  // began before its first line). Skipped: an
  // illegal-stream line other than "(0)" or without an offset, a cut-off last line; a second header.
  std::string text = "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n@00000123: ACC OVERFLOW: WARNING\n";
  int s = 0;
  for (const char* depth : {"0.000", "1.900", "2.000", "1.000", "30.000", "1.500", "3.000", "1.000", "2.500"}) {
    text += "2021/03/14 09:00:0" + std::to_string(s++) + ".000\t" + depth + "\t20.00\n";
  }
  text += "HAULOUT: 2021/03/14 09:00:09 2021/03/14 09:59:59\n@00000200: ACC OVERFLOW: WARNING\n"
          "***Unknown TDR regime 4 ***\n"
          "2021/03/14 10:00:00.000\t12.500\n"
          "2021/03/14 10:00:01.000\t0.000\n"
          "4a2: Illegal stream contents (0)\n"
          "1a2f: Illegal stream contents (1)\n"
          ": Illegal stream contents (0)\n"
          "2021/03/14 10:00:02.000\t1";  // the last line, cut short
  EXPECT_EQ(read(FileKind::kTdr, text), (std::vector<std::uint64_t>{20, 11, 2, 1, 3, 2, 1}));
  EXPECT_EQ(d.dive_table.dives, 4u);
  EXPECT_EQ(d.dive_table.cut, 2u);
  EXPECT_EQ((std::vector<double>{d.max_depth, d.max_depth_time, d.spans[0].first, d.spans[0].last}),
            (std::vector<double>{30, kMar14 + 9 * 3600 + 4, kMar14 + 9 * 3600, kMar14 + 10 * 3600 + 1}));
  ASSERT_EQ(d.notes.distinct, 2);  // three notes, two texts
  EXPECT_EQ(std::string(d.notes.texts[0].text) + " @" + std::to_string(d.notes.texts[0].first_offset) + ", " +
                d.notes.texts[1].text + " @" + std::to_string(d.notes.texts[1].first_offset),
            "ACC OVERFLOW: WARNING @291, Illegal stream contents (0) @1186");  // 0x123, 0x4a2
}

TEST(Deployment, BeginsACastWhereTimeOrSurfacePressureBreaks) {
  // Time and surface pressure of each line, and whether it begins a cast. The first line does;
  // steps of 1 s, then 5 s (five steps: no break) and 6 s (more than five steps: a break); a new
  // surface pressure; time going back; 67 s before the cast showed any step (more than 60 s: a
  // break); 60 s (not more).
  const std::tuple<double, double, bool> rows[] = {{0, 0.2, true},   {1, 0.2, false}, {2, 0.2, false},
                                                   {7, 0.2, false},  {13, 0.2, true}, {14, 0.3, true},
                                                   {13, 0.3, true},  {80, 0.3, true}, {140, 0.3, false}};
  CastSplit split;
  for (const auto& [t, surface, begins] : rows) EXPECT_EQ(cast_split_next(split, t, surface), begins) << t;
}

TEST_F(DeploymentTest, ReadsLinesAcrossReadBuffersSkippingOneLongerThanTheBufferAndTdrOnlyLines) {
  // One line of twice the buffer, then 100000 lines of 46 bytes (with CR LF), about 4.6 MB:
  // many lines straddle two reads. HAULOUT and illegal-stream lines belong to the TDR file only.
  std::string text(kReadBufferSize * 2 + 10, 'x');
  text += "\nDATE(UTC)\tX\tY\tZ\nHAULOUT: 2021/03/14 11:59:02 2021/03/14 12:59:59\n"
          "1a2f: Illegal stream contents (0)\n@00000010: ACC OVERFLOW: FATAL\n";
  for (int i = 0; i < 100000; ++i) text += "2021/03/14 00:00:00.000\t-1.0000\t0.0000\t1.0000\r\n";
  EXPECT_EQ(read(FileKind::kAcc, text), (std::vector<std::uint64_t>{100005, 100000, 1, 0, 1, 3, 0}));
}

// The program reads the files at the same time, each into a deployment of its own, and takes
// them together in file order: a later file's texts fill the free slots of the notes table (11
// texts in TDR; in CTD "t313" repeats one, "fresh" takes the last slot, "other" finds none).
TEST_F(DeploymentTest, FilesTakenTogetherFillTheNotesTableInFileOrder) {
  std::string tdr;
  for (int i = 10; i < 21; ++i) tdr += "@000001" + std::to_string(i) + ": t" + std::to_string(i % 10) + std::to_string(i) + "\n";
  auto tdr_only = std::make_unique<Deployment>(), ctd_only = std::make_unique<Deployment>();
  deployment_reset(*tdr_only);
  deployment_reset(*ctd_only);
  skelv::test::write_file(dir.file("t.txt"), tdr);
  skelv::test::write_file(dir.file("c.txt"), "@00000001: t313\n@00000002: fresh\n@00000003: other\n@00000004: fresh\n");
  ASSERT_TRUE(read_file(*tdr_only, FileKind::kTdr, dir.file("t.txt").c_str()));
  ASSERT_TRUE(read_file(*ctd_only, FileKind::kCtd, dir.file("c.txt").c_str()));
  deployment_take(d, *tdr_only, FileKind::kTdr);
  deployment_take(d, *ctd_only, FileKind::kCtd);
  ASSERT_EQ(d.notes.distinct, 12);
  EXPECT_EQ((std::vector<std::uint64_t>{d.notes.total, d.notes.unlisted, d.notes.texts[3].count,
                                        d.notes.texts[11].count, d.files[file_index(FileKind::kCtd)].notes}),
            (std::vector<std::uint64_t>{15, 1, 2, 2, 4}));
  EXPECT_STREQ(d.notes.texts[3].text, "t313");
  EXPECT_STREQ(d.notes.texts[11].text, "fresh");
  EXPECT_NE(d.notes.texts[3].files, d.notes.texts[0].files);  // t313 was found in both files
}

}  // namespace
}  // namespace skelv::quicklook
