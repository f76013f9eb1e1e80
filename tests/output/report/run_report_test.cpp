// The run's report (-report): its fields against a hand-built image and the files the run wrote.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace skelv::test {
namespace {

// The tag's information record: version 170, a dive sample a second.
InfoBlock tag_info() {
  InfoBlock b;
  b.tag_version = 170;
  b.tdr_interval = 100;
  return b;
}

TEST(RunReport, SaysWhatTheRunWroteAndHowTheCalibrationChanged) {
  // [0] information record of version 170 (26 bytes; it takes effect after its block, at 26);
  // [26] a regime 2 dive at 06:00:00, 1 s, opening depth 100 [37]; [39] a burst of 53 samples
  // (the first at 40, 52 of three steps at 46, 0xF9 at 202): one warning note; a step [203]; a
  // second information record inside the stream [204] that changes the pressure scale, in force
  // from 230; a step [230]; the end code [231]. Three TDR lines (100, 101, 102), 53 accelerometer
  // lines.
  TempDir dir;
  const InfoBlock first = tag_info();
  InfoBlock second = first;
  second.pressure_scale = 100;
  ImageBuilder image;
  image.info(first).dive_start(2, {2026, 3, 14, 6, 0, 0}, 100).u16(100).acc_start(4096, 4096, 4096);
  for (int i = 0; i < 52 * 3; ++i) image.step(0);
  image.acc_end().step(1).info(second).step(1).eof();
  ASSERT_EQ(image.size(), 232u);
  image.write_to(dir.file("tag.bin"));
  ASSERT_EQ(run_skelv({"tag.bin", "-report"}, dir.path()).status, 0);

  const nlohmann::json r = nlohmann::json::parse(read_file(dir.file("tag_report.json")));
  EXPECT_EQ(r["result"], "completed");
  EXPECT_EQ(r["command_line"].back(), "-report");
  EXPECT_EQ(r["input"], nlohmann::json::parse(R"({"name": "tag.bin", "size": 232, "start_offset": 0,
      "end_offset": 232, "bytes_decoded": 232, "bytes_not_decoded": 0})"));
  EXPECT_EQ(r["tag_version"], 170);
  EXPECT_TRUE(r["failures"].empty());
  EXPECT_TRUE(r["damaged_stretches"].empty());
  EXPECT_EQ(r["suspect_records"]["count"], 0);
  EXPECT_EQ(r["notes"], 1);
  const auto& files = r["files"];
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0]["name"], "tag_tdr.txt");
  EXPECT_EQ(files[0]["records"], 3);
  EXPECT_EQ(files[1]["name"], "tag_accel.txt");
  EXPECT_EQ(files[1]["records"], 53);
  for (const auto& f : files) {
    EXPECT_EQ(f["bytes"], read_file(dir.file(f["name"])).size()) << f["name"];
    EXPECT_EQ(f["complete"], true);
  }
  const auto& cal = r["calibration"];
  EXPECT_EQ(cal["at_start"]["pressure_scale"], 30.0);  // the built-in defaults
  EXPECT_EQ(cal["at_start"]["tdr_interval_s"], 0.0);
  ASSERT_EQ(cal["change_count"], 2);
  EXPECT_EQ(cal["changes"][0]["offset"], 26);
  EXPECT_EQ(cal["changes"][0]["tdr_interval_s"], 1.0);
  EXPECT_EQ(cal["changes"][1]["offset"], 230);
  EXPECT_EQ(cal["changes"][1]["pressure_scale"], 100.0);

  // Started at the dive (26, given in hexadecimal): the bytes before it are neither decoded nor
  // counted as not decoded.
  ASSERT_EQ(run_skelv({"tag.bin", "0x1A", "-report"}, dir.path()).status, 0);
  EXPECT_EQ(nlohmann::json::parse(read_file(dir.file("tag_report.json")))["input"],
            nlohmann::json::parse(R"({"name": "tag.bin", "size": 232, "start_offset": 26,
      "end_offset": 232, "bytes_decoded": 206, "bytes_not_decoded": 0})"));
}

TEST(RunReport, ListsACalibrationChangeOnlyWhereTheCalibrationOrTheTagVersionChanged) {
  // Three information records of 26 bytes, each in force after its block (26, 52, 78): the
  // second repeats the first, the third changes the tag version alone.
  TempDir dir;
  InfoBlock other_version = tag_info();
  other_version.tag_version = 171;
  ImageBuilder().info(tag_info()).info(tag_info()).info(other_version).eof().write_to(dir.file("tag.bin"));
  ASSERT_EQ(run_skelv({"tag.bin", "-report"}, dir.path()).status, 0);
  const nlohmann::json cal = nlohmann::json::parse(read_file(dir.file("tag_report.json")))["calibration"];
  ASSERT_EQ(cal["change_count"], 2) << cal;
  EXPECT_EQ(cal["changes"][0]["offset"], 26);
  EXPECT_EQ(cal["changes"][0]["tag_version"], 170);
  EXPECT_EQ(cal["changes"][1]["offset"], 78);
  EXPECT_EQ(cal["changes"][1]["tag_version"], 171);
}

TEST(RunReport, CountsAFailureMetAgainAtEveryRecordOfItsKindAsOneEvent) {
  // The GPS file can't be created (a folder has its name): each of the three snapshots tries again
  // and fails again, one failure met three times.
  TempDir dir;
  std::filesystem::create_directory(dir.file("tag_gps.txt"));
  ImageBuilder image;
  image.info(tag_info());
  for (int i = 0; i < 3; ++i) image.gps({2026, 3, 14, 6, 0, i}, {});
  image.eof().write_to(dir.file("tag.bin"));
  run_skelv({"tag.bin", "-report"}, dir.path());

  const nlohmann::json r = nlohmann::json::parse(read_file(dir.file("tag_report.json")));
  EXPECT_EQ(r["result"], "failed");
  ASSERT_EQ(r["failures"].size(), 1u) << r["failures"];
  EXPECT_EQ(r["failures"][0]["text"], "Can't create GPS data file tag_gps.txt");
  EXPECT_EQ(r["failures"][0]["times"], 3);
}

}  // namespace
}  // namespace skelv::test
