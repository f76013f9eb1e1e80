// Reading whole files: what each line counts as, dives, casts, notes and the line reader itself.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "quicklook/deployment.h"
#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

using skelv::test::TempDir;
using skelv::test::write_file;

// 2021-03-14 00:00:00 UTC (18700 days after 1970-01-01).
constexpr double kMar14 = 1615680000.0;

class DeploymentTest : public ::testing::Test {
 protected:
  DeploymentTest() { deployment_reset(d); }
  // Writes `text` as the file of `kind` and reads it.
  void read(FileKind kind, const std::string& text) {
    const std::string path = dir.file(std::string("f").append(std::to_string(file_index(kind))).append(".txt"));
    write_file(path, text);
    ASSERT_TRUE(read_file(d, kind, path.c_str()));
  }
  const FileTally& tally(FileKind kind) const { return d.files[file_index(kind)]; }

  TempDir dir;
  std::unique_ptr<Deployment> owner = std::make_unique<Deployment>();
  Deployment& d = *owner;
};

TEST_F(DeploymentTest, TdrLinesCountByWhatTheyAre) {
  read(FileKind::kTdr,
       "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n"
       "2021/03/14 09:00:00.000\t0.000\t20.00\n"
       "2021/03/14 09:00:01.000\t5.000\t19.00\n"
       "@00000123: ACC OVERFLOW: WARNING\n"
       "2021/03/14 09:00:02.000\t30.000\t18.00\n"
       "2021/03/14 09:00:03.000\t0.500\t19.50\n"
       "HAULOUT: 2021/03/14 09:00:05 2021/03/14 09:59:59\n"
       "2021/03/14 10:00:00.000\t12.500\n"  // a later regime 2 dive: depth only
       "2021/03/14 10:00:01.000\t0.000\n"
       "4a2: Illegal stream contents (0)\n"
       "junk\n"
       "2021/03/14 10:00:02.000\t1");  // cut short
  const FileTally& t = tally(FileKind::kTdr);
  EXPECT_TRUE(t.found);
  EXPECT_EQ(t.lines, 12u);
  EXPECT_EQ(t.data, 6u);
  EXPECT_EQ(t.headers, 1u);
  EXPECT_EQ(t.haulouts, 1u);
  EXPECT_EQ(t.notes, 2u);
  EXPECT_EQ(t.unparsed, 1u);
  EXPECT_EQ(t.truncated, 1u);
  // 5 m begins a dive, 0.5 m ends it; 12.5 m after the haul-out begins the second.
  EXPECT_EQ(d.dives, 2u);
  EXPECT_DOUBLE_EQ(d.max_depth, 30.0);
  EXPECT_DOUBLE_EQ(d.max_depth_time, kMar14 + 9 * 3600 + 2);
  const TimeSpan& span = d.spans[file_index(FileKind::kTdr)];
  EXPECT_DOUBLE_EQ(span.first, kMar14 + 9 * 3600);
  EXPECT_DOUBLE_EQ(span.last, kMar14 + 10 * 3600 + 1);
  EXPECT_FALSE(reducer_empty(d.haulout));
  ASSERT_EQ(d.notes.distinct, 2);
  EXPECT_STREQ(d.notes.texts[0].text, "ACC OVERFLOW: WARNING");
  EXPECT_EQ(d.notes.texts[0].first_offset, 0x123u);
  EXPECT_STREQ(d.notes.texts[1].text, "Illegal stream contents (0)");
  EXPECT_EQ(d.notes.texts[1].first_offset, 0x4A2u);
  EXPECT_EQ(d.notes.total, 2u);
}

TEST_F(DeploymentTest, DivesNeedTwoMetresAndEndAtOneMetre) {
  // Depths 0, 1.5, 2.0 (dive 1), 10, 1.5, 3, 1.0 (end), 2.5 (dive 2), haul-out (end), 2.5 (dive 3).
  std::string text = "DATE(UTC)\tDEPTH(m)\n";
  int s = 0;
  for (const char* depth : {"0.000", "1.500", "2.000", "10.000", "1.500", "3.000", "1.000", "2.500"}) {
    text += "2021/03/14 00:00:0" + std::to_string(s++) + ".000\t" + depth + "\n";
  }
  text += "HAULOUT: 2021/03/14 00:00:08 2021/03/14 00:00:09\n";
  text += "2021/03/14 00:00:10.000\t2.500\n";
  read(FileKind::kTdr, text);
  EXPECT_EQ(d.dives, 3u);
}

TEST_F(DeploymentTest, CtdLinesSplitIntoCasts) {
  const char* header = "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
                       "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)\n";
  read(FileKind::kCtd, std::string(header) +
                           "2021/03/14 00:00:00\t0.00\t0.20\t0.20\t12.000\t38.0000\t35.0000\n"
                           "2021/03/14 00:00:01\t2.00\t2.20\t0.20\t11.000\t38.0000\t0.0000\n"
                           "@00000200: ACC OVERFLOW: WARNING\n"
                           // a new surface pressure: cast 2
                           "2021/03/14 00:00:02\t1.00\t1.30\t0.30\t10.000\t38.0000\t34.0000\n"
                           "2021/03/14 00:00:03\t9.50\t9.80\t0.30\t9.000\t38.0000\t34.5000\n"
                           // an hour later: cast 3
                           "2021/03/14 01:00:03\t4.00\t4.30\t0.30\t8.000\t38.0000\t34.6000\n");
  const FileTally& t = tally(FileKind::kCtd);
  EXPECT_EQ(t.lines, 7u);
  EXPECT_EQ(t.data, 5u);
  EXPECT_EQ(t.notes, 1u);
  deployment_finish(d);
  EXPECT_EQ(d.casts.total, 3u);
  ASSERT_EQ(d.casts.kept, 3);
  EXPECT_DOUBLE_EQ(d.max_pressure, 9.5);
  const CastTrace& first = d.casts.casts[0];
  EXPECT_EQ(first.samples, 2u);
  // Salinity 0 is no value: the second sample has a temperature only.
  EXPECT_EQ(first.buckets[0].present, 3);
  EXPECT_EQ(first.buckets[1].present, 1);
  EXPECT_DOUBLE_EQ(d.casts.casts[2].start_time, kMar14 + 3603);
}

TEST(CastSplit, BeginsACastWhereTimeOrSurfacePressureBreaks) {
  struct Row {
    double t, surface;
    bool begins;
  };
  const Row rows[] = {
      {0, 0.2, true},     // the first line
      {1, 0.2, false},    // first step: 1 s
      {2, 0.2, false},
      {7, 0.2, false},    // 5 s: five steps, not more
      {13, 0.2, true},    // 6 s: more than five steps
      {14, 0.3, true},    // surface pressure changed
      {13, 0.3, true},    // time went back
      {80, 0.3, true},    // 67 s before any step was seen: more than 60
      {140, 0.3, false},  // 60 s: not more than 60
  };
  CastSplit split;
  for (const Row& r : rows) EXPECT_EQ(cast_split_next(split, r.t, r.surface), r.begins) << r.t;
}

TEST_F(DeploymentTest, GpsSnapshotsWithoutAValidTimeAreCountedNotPlaced) {
  read(FileKind::kGps,
       "2021/03/14 09:26:53 2 3 0 12 0123 31 abcd\n"
       "2021/00/14 09:26:53 0 3 0\n"
       "2021/03/14 09:26:54 1 3 0 12\n");  // an entry cut short
  const FileTally& t = tally(FileKind::kGps);
  EXPECT_EQ(t.data, 2u);
  EXPECT_EQ(t.unparsed, 1u);
  EXPECT_EQ(d.gps_bad_time, 1u);
  EXPECT_EQ(d.gps.buckets[static_cast<std::size_t>(d.gps.lo)].count, 1u);
  EXPECT_EQ(d.gps.hi - d.gps.lo, 1);
}

TEST_F(DeploymentTest, ReadsLinesAcrossTheEdgesOfTheReadBuffer) {
  // About 4.6 MB of accelerometer lines: many lines straddle two reads.
  std::string text = "DATE(UTC)\tX\tY\tZ\n";
  for (int i = 0; i < 100000; ++i) text += "2021/03/14 00:00:00.000\t-1.0000\t0.0000\t1.0000\n";
  read(FileKind::kAcc, text);
  const FileTally& t = tally(FileKind::kAcc);
  EXPECT_EQ(t.lines, 100001u);
  EXPECT_EQ(t.data, 100000u);
  EXPECT_EQ(t.unparsed, 0u);
}

TEST_F(DeploymentTest, SkipsALineLongerThanTheBufferAndTakesCarriageReturns) {
  std::string text(kReadBufferSize * 2 + 10, 'x');
  text += "\n2021/03/14 00:00:00.000\t-1.0000\t0.0000\t1.0000\r\n";
  read(FileKind::kAcc, text);
  const FileTally& t = tally(FileKind::kAcc);
  EXPECT_EQ(t.lines, 2u);
  EXPECT_EQ(t.unparsed, 1u);
  EXPECT_EQ(t.data, 1u);
  EXPECT_EQ(t.truncated, 0u);
}

TEST_F(DeploymentTest, EmptyAndMissingFiles) {
  read(FileKind::kCtd, "");
  EXPECT_TRUE(tally(FileKind::kCtd).found);
  EXPECT_EQ(tally(FileKind::kCtd).lines, 0u);
  EXPECT_FALSE(read_file(d, FileKind::kGps, dir.file("none.txt").c_str()));
  EXPECT_FALSE(tally(FileKind::kGps).found);
}

TEST(NoteTally, ListsTwelveTextsAndCountsTheRest) {
  NoteTally notes;
  for (int i = 0; i < 13; ++i) note_add(notes, FileKind::kAcc, 0, "text " + std::to_string(i));
  note_add(notes, FileKind::kGps, 5, "text 3");
  EXPECT_EQ(notes.total, 14u);
  EXPECT_EQ(notes.distinct, 12);
  EXPECT_EQ(notes.unlisted, 1u);  // "text 12"
  EXPECT_EQ(notes.texts[3].count, 2u);
  EXPECT_EQ(notes.texts[3].files, (1u << file_index(FileKind::kAcc)) | (1u << file_index(FileKind::kGps)));
  EXPECT_EQ(notes.texts[3].first_offset, 0u);
}

TEST(NoteTally, CutsLongTextsAndHidesControlBytes) {
  NoteTally notes;
  note_add(notes, FileKind::kTdr, 0, std::string("a\tb\x01\xC3\xA9") + std::string(200, 'z'));
  const std::string text = notes.texts[0].text;
  EXPECT_EQ(text.size(), kNoteTextSize - 1);
  EXPECT_EQ(text.substr(0, 8), "a?b???zz");
}

}  // namespace
}  // namespace skelv::quicklook
