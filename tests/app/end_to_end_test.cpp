// Whole runs of the Skelv executable on built images, where records meet: standard output, exit
// status and every output file, byte for byte. Expected texts are worked out from the record
// layouts in the comments; salinities are PSS-78 of the stated pressure, lagged conductivity and
// temperature, evaluated on their own.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace skelv::test {
namespace {

constexpr char kTdrHeader7[] =
    "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS\n";
constexpr char kTdrHeader2[] = "DATE(UTC)\tDEPTH(m)\n";
constexpr char kAccHeader[] = "DATE(UTC)\tX\tY\tZ\n";
constexpr char kMissing[] = "<missing>";

// A short deployment, offsets in brackets:
//   [0]   information record: version 170, dive interval 2 s, CTD interval 1 s, 100 pressure
//         counts per dbar (offset 600), the other calibrations at their defaults;
//   [26]  regime 7 dive at 06:00:00, 2 s; opening sample [37] and one more [50];
//   [57]  the third sample's depth, then a CTD profile [58] with mask 0x13 (FLUORO, BPhase,
//         INTERNAL_TEMP) holding a second sample [83], a snapshot [89], a third sample whose
//         temperature follows a three-sample burst [104], an information record [125] that
//         changes the pressure scale to 50, the temperature offset to 7000 and the lag time
//         constant to 500 ms, a nested profile with mask 2 [151] of two samples ended by 0xFD
//         [176], a fourth sample [177] and 0xFD [183]; then the rest of the dive's third sample;
//   [190] wet/dry 1, the fourth sample [192] stepping the depth below zero, a dry start [199],
//         wet/dry 0 [202], a second dive at 07:00:00 [204] with a snapshot [228] between its two
//         samples, end of data [243].
ImageBuilder deployment() {
  InfoBlock first;
  first.tag_version = 170;
  first.tdr_interval = 200;
  first.ctd_interval = 100;
  first.pressure_scale = 100;
  InfoBlock second = first;
  second.pressure_scale = 50;
  second.temperature_offset = 7000;
  second.lag_time_constant = 500;
  second.acc_counts_per_g = 0;  // keeps 1/256 g

  ImageBuilder b;
  b.info(first).dive_start(7, {2026, 3, 14, 6, 0, 0}, 200);
  b.u16(45).u16(5730).u16(5).u16(216).u16(0xFF84).u16(387).u8(14);
  b.step(10).step(4).step(1).step(-7).step(3).step(-1).u8(14);
  b.step(20);
  b.ctd_start(0x13, {2026, 3, 14, 6, 0, 3}, 100, 700, {1600, 23000, 32200, 1200, 3050, 17500});
  b.step(100).step(80).step(-80).step(88).step(-1).step(-20);
  b.gps({2026, 3, 14, 6, 0, 4}, {{7, 0x2A41}, {12, 0x1F03}});
  b.step(100);
  b.acc_start(4096, 4352, 4160).step(64).step(-64).step(0).escaped(3840).step(0).step(64).acc_end();
  b.step(20).step(40).step(12).step(-49).step(-80);
  b.info(second).ctd_start(2, {2026, 3, 14, 6, 0, 10}, 100, 600, {1600, 23000, 32200, 500});
  b.step(50).step(0).step(-40).step(10).ctd_end();
  b.step(100).step(0).step(-60).step(0).step(0).step(0).ctd_end();
  b.step(-2).step(1).step(1).step(1).step(0).u8(13);
  b.wetdry(1).step(-80).step(0).step(0).step(0).step(0).step(0).u8(13);
  b.dry_start(200).wetdry(0).dive_start(7, {2026, 3, 14, 7, 0, 0}, 200);
  b.u16(10).u16(5740).u16(0).u16(212).u16(0xFF71).u16(388).u8(15);
  b.gps({2026, 3, 14, 7, 0, 1}, {});
  b.step(5).step(0).step(2).step(0).step(0).step(0).u8(15);
  return b.eof();
}

class EndToEndTest : public ::testing::Test {
 protected:
  // Writes the image to tag.bin and runs Skelv on it, with a start offset if one is given.
  ProcessResult skelv(const ImageBuilder& image, const char* offset = nullptr) {
    image.write_to(dir.file("tag.bin"));
    return run_skelv(offset ? std::vector<std::string>{"tag.bin", offset} : std::vector<std::string>{"tag.bin"},
                     dir.path());
  }
  // The banner, the input and the working folder.
  std::string head(const std::string& file = "tag.bin") const {
    return "\nSkelv  v78File: " + file + "\nPWD: " + std::filesystem::canonical(dir.path()).string() + "\n";
  }
  // The console text of a completed run without an information record; counts of TDR, CTD, GPS
  // and accelerometer lines.
  std::string completed(unsigned long bytes, const unsigned (&counts)[4]) const {
    std::string text = head() + "\n\nTag Version: ???\n\n\nCompleted.\n\nInput: " + std::to_string(bytes) +
                       " bytes from tag.bin\n\nOutput:\n";
    const char* const files[4][2] = {{"tdr", "TDR"}, {"ctd", "CTD"}, {"gps", "GPS"}, {"accel", "Accel"}};
    for (int i = 0; i < 4; ++i) {
      if (counts[i] != 0) {
        text += std::string("  tag_") + files[i][0] + ".txt: " + std::to_string(counts[i]) + " " + files[i][1] +
                " records\n";
      }
    }
    return text;
  }
  std::string output(const std::string& suffix) const { return read_file(dir.file("tag" + suffix)); }
  TempDir dir;
};

TEST_F(EndToEndTest, DiveHoldingAProfileHoldingASnapshotABurstAndAnotherProfile) {
  const ImageBuilder image = deployment();
  ASSERT_EQ(image.size(), 244u);
  const ProcessResult r = skelv(image);

  // The snapshots inside streams are noted with the offset after their 0xF2: 90 and 229.
  EXPECT_EQ(r.out, head() +
                       "@0000005A GPS F2!@000000E5 GPS F2!"
                       "\n\nTag Version: 170\n\nCompleted.\n\nInput: 244 bytes from tag.bin\n\nOutput:\n"
                       "  tag_tdr.txt: 6 TDR records\n  tag_ctd.txt: 6 CTD records\n"
                       "  tag_gps.txt: 2 GPS records\n  tag_accel.txt: 3 Accel records\n");
  EXPECT_EQ(r.status, 0);

  // Each line is written once the next sample is complete, so the wet/dry record before the
  // fourth sample shows in the third sample's line. Temperature raw * 0.05 - 273.15 (5730:
  // 13.35), odometer raw * 0.12, magnetometer axes signed * 0.1 (0xFF84: -12.4). The fourth
  // sample's depth 75 - 80 wraps round above 21000 and reads 0; it closes the dive at 06:00:06.
  // The dry start puts the haul-out at 06:00:06 + 2 * 2 s - 60 s = 05:59:10; it ends one
  // interval before the second dive.
  EXPECT_EQ(output("_tdr.txt"), std::string(kTdrHeader7) +
                                    "2026/03/14 06:00:00.000\t4.500\t13.35\t0.60\t21.6\t-12.4\t38.7\t14\t0\n"
                                    "2026/03/14 06:00:02.000\t5.500\t13.55\t0.72\t20.9\t-12.1\t38.6\t14\t0\n"
                                    "2026/03/14 06:00:04.000\t7.500\t13.45\t0.84\t21.0\t-12.0\t38.6\t13\t1\n"
                                    "2026/03/14 06:00:06.000\t0.000\t13.45\t0.84\t21.0\t-12.0\t38.6\t13\t1\n"
                                    "HAULOUT: 2026/03/14 05:59:10 2026/03/14 06:59:58\n"
                                    "2026/03/14 07:00:00.000\t1.000\t13.85\t0.00\t21.2\t-14.3\t38.8\t15\t0\n"
                                    "2026/03/14 07:00:02.000\t1.500\t13.85\t0.24\t21.2\t-14.3\t38.8\t15\t0\n");

  // Outer profile, lag coefficient exp(-1 s / 1 s) = 0.367879: pressure (raw - 600) / 100 with
  // the surface at (700 - 600) / 100 = 1 dbar; temperature (raw - 8000) / 1000; conductivity
  // (raw - 200) / 800; FLUORO raw * 0.001, BPhase raw * 0.01, INTERNAL_TEMP (raw - 5000) * 0.001.
  //   06:00:03  P 10, T 15.000, C 40.0000, lagged 40.000000: S 32.3500
  //   06:00:04  P 11, T 15.080, C 39.9000, lagged 39.936788: S 32.2266
  //   06:00:05  P 12, T 15.100, C 39.9500, lagged 39.945140: S 32.2173
  // The information record makes pressure (raw - 600) / 50 and temperature (raw - 7000) / 1000.
  // The nested profile has its own clock, surface (600: 0 dbar), lag coefficient
  // exp(-1 s / 0.5 s) = 0.135335 and one FLUORO column:
  //   06:00:10  P 20, T 16.000, C 40.0000, lagged 40.000000: S 31.5348
  //   06:00:11  P 21, T 16.000, C 39.9500, lagged 39.956767: S 31.4964
  // The outer profile goes on from the nested one's clock, surface and lag state:
  //   06:00:12  P 26, T 16.100, C 39.8750, lagged 39.886066: S 31.3535
  EXPECT_EQ(output("_ctd.txt"),
            kCtdHeader + "\tFLUORO(V)\tBPhase(deg)\tINTERNAL_TEMP(C)\n" +
                "2026/03/14 06:00:03\t9.00\t10.00\t1.00\t15.000\t40.0000\t32.3500\t1.2000\t30.5000\t12.5000\n"
                "2026/03/14 06:00:04\t10.00\t11.00\t1.00\t15.080\t39.9000\t32.2266\t1.2880\t30.4900\t12.4800\n"
                "2026/03/14 06:00:05\t11.00\t12.00\t1.00\t15.100\t39.9500\t32.2173\t1.3000\t30.0000\t12.4000\n"
                "2026/03/14 06:00:10\t20.00\t20.00\t0.00\t16.000\t40.0000\t31.5348\t0.5000\n"
                "2026/03/14 06:00:11\t21.00\t21.00\t0.00\t16.000\t39.9500\t31.4964\t0.5100\n"
                "2026/03/14 06:00:12\t26.00\t26.00\t0.00\t16.100\t39.8750\t31.3535\t1.3000\t30.0000\t12.4000\n");

  EXPECT_EQ(output("_gps.txt"), "2026/03/14 06:00:04 2 3 0 7 2a41 12 1f03\n2026/03/14 07:00:01 0 3 0\n");

  // The burst came while the dive clock stood at 06:00:02 and spans one dive interval (2 s)
  // up to it; its three samples are 2/3 s apart. Raw / 256 - 16 g: 4096 is 0, 4352 is 1,
  // 4160 is 0.25. The block is written at the end of the run.
  EXPECT_EQ(output("_accel.txt"), std::string(kAccHeader) +
                                      "2026/03/14 06:00:00.000\t0.0000\t1.0000\t0.2500\n"
                                      "2026/03/14 06:00:00.667\t0.2500\t0.7500\t0.2500\n"
                                      "2026/03/14 06:00:01.333\t-1.0000\t0.7500\t0.5000\n");
}

TEST_F(EndToEndTest, StartOffsetsInsideRecordsAndEndCodesAfterABurstOrProfileCutShort) {
  InfoBlock info;
  info.tag_version = 170;
  ImageBuilder image;
  image.info(info).gps({2026, 3, 14, 9, 0, 0}, {{0xF6, 0x0102}, {3, 0x0405}});  // [0], [26]: entries [34], [37]
  // Regime 2 dives (depth only, 1 s). The first holds a profile that holds a burst; the second
  // dive start ends all three, leaving the burst and the profile open.
  image.dive_start(2, {2026, 3, 14, 8, 0, 0}, 100).u16(100).step(1);           // [40] 10.0, 10.1 m
  image.ctd_start(0, {2026, 3, 14, 8, 0, 1}, 100, 600, {900, 23000, 200});     // [54]
  image.step(3).step(0).step(0);                                               // [73]
  image.acc_start(256, 256, 256).step(1).step(1).step(1);                      // [76]
  image.dive_start(2, {2026, 3, 14, 8, 0, 10}, 100).u16(50).step(1);           // [86]
  image.acc_end();  // [100] the open burst's end code ends this dive; the record clears the burst
  image.dive_start(2, {2026, 3, 14, 8, 0, 20}, 100).u16(60).step(1);           // [101]
  image.acc_end().step(1);  // [115] no burst open: skipped, and 0x01 steps the depth
  image.ctd_end();          // [117] the open profile's end code ends this dive and is read as a record
  image.dive_start(2, {2026, 3, 14, 8, 0, 30}, 100).u16(70);                   // [118]
  image.ctd_end();          // [131] the record left the profile open: 0xFD ends this dive too,
  image.gps({2026, 3, 14, 8, 0, 40}, {}).eof();  // [132] so the snapshot is a record, not a note
  ASSERT_EQ(image.size(), 141u);

  // Decimal 30 lands on the snapshot's hour. The start search skips 9, 0, 0 and the count 2 and
  // takes the entry byte 0xF6 [34] as an information record of 1 byte ([36]); the next code is
  // the entry byte 3 [37], which fails the run after nothing was written.
  ProcessResult r = skelv(image, "30");
  EXPECT_EQ(r.out, head() + "Failure: Unknown code 3 at byte 38\n\n");
  EXPECT_EQ(r.status, 0);
  for (const char* suffix : {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"}) EXPECT_EQ(output(suffix), kMissing);

  // 0x25 = 37 lands on the second entry; the search skips 3, 4, 5 and starts at the first dive.
  // The information record before it is never read, and the byte count includes the offset.
  r = skelv(image, "0x25");
  EXPECT_EQ(r.out, completed(141, {8, 2, 1, 2}));
  EXPECT_EQ(output("_gps.txt"), "2026/03/14 08:00:40 0 3 0\n");
  EXPECT_EQ(r.status, 0);
  // Each dive closes with the sample in progress: the first with its second sample, since the
  // profile stood where the third sample's depth was due; the last with its opening sample.
  EXPECT_EQ(output("_tdr.txt"), std::string(kTdrHeader2) +
                                    "2026/03/14 08:00:00.000\t10.000\n2026/03/14 08:00:01.000\t10.100\n"
                                    "2026/03/14 08:00:10.000\t5.000\n2026/03/14 08:00:11.000\t5.100\n"
                                    "2026/03/14 08:00:20.000\t6.000\n2026/03/14 08:00:21.000\t6.100\n"
                                    "2026/03/14 08:00:22.000\t6.200\n2026/03/14 08:00:30.000\t7.000\n");
  // Default calibration: (900 - 600) / 30 = 10 dbar and (903 - 600) / 30 = 10.1 dbar,
  // (23000 - 8000) / 1000 = 15 C, conductivity raw 200 is 0 mS/cm and so salinity 0.
  EXPECT_EQ(output("_ctd.txt"), kCtdHeader + "\n" +
                                    "2026/03/14 08:00:01\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000\n"
                                    "2026/03/14 08:00:02\t10.10\t10.10\t0.00\t15.000\t0.0000\t0.0000\n");
  // The burst spans the second before the dive clock (08:00:01); 257 / 256 - 16 = -14.99609 g.
  EXPECT_EQ(output("_accel.txt"), std::string(kAccHeader) +
                                      "2026/03/14 08:00:00.000\t-15.0000\t-15.0000\t-15.0000\n"
                                      "2026/03/14 08:00:00.500\t-14.9961\t-14.9961\t-14.9961\n");
}

TEST_F(EndToEndTest, ImageEndingInsideEachKindOfRecord) {
  const TagTime t{2026, 3, 14, 10, 0, 0};
  const std::string dive2 = std::string(kTdrHeader2) + "2026/03/14 10:00:00.000\t3.000\n";
  const std::string acc0 = std::string(kAccHeader) + "2026/03/14 09:59:59.000\t-15.0000\t-15.0000\t-15.0000\n";
  const std::string none = kMissing;
  const struct {
    const char* record;
    ImageBuilder image;
    unsigned long bytes;  // the failed read at the end adds nothing to the byte count
    unsigned counts[4];   // TDR, CTD, GPS and accelerometer lines
    std::string tdr, acc;
  } rows[] = {
      // Code, length 24 and 10 of its 24 bytes: the record changes nothing.
      {"information", cut(ImageBuilder().info(InfoBlock{}), 12), 2, {0, 0, 0, 0}, none, none},
      // Code, 7 header bytes, 4 of the 6 entry bytes: no line, not counted.
      {"GPS", cut(ImageBuilder().gps(t, {{1, 0x0203}, {4, 0x0506}}), 12), 8, {0, 0, 0, 0}, none, none},
      // Code, regime and 3 of the 7 time bytes: no file.
      {"dive start", cut(ImageBuilder().dive_start(2, t, 100), 5), 2, {0, 0, 0, 0}, none, none},
      // Regime 1, depth and half the temperature of the opening sample: the header alone.
      {"opening dive sample", ImageBuilder().dive_start(1, t, 100).u16(100).u8(0x17), 13, {0, 0, 0, 0},
       "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n", none},
      // Regime 7, the opening sample without its magnetometer temperature: the header alone.
      {"opening regime 7 sample",
       ImageBuilder().dive_start(7, t, 200).u16(45).u16(5730).u16(5).u16(216).u16(0xFF84).u16(387), 23,
       {0, 0, 0, 0}, kTdrHeader7, none},
      // Regime 7, the second sample cut after its depth and temperature: the closing line has
      // their new values and the opening sample's odometer and magnetometer, at the start time.
      {"further dive sample",
       ImageBuilder().dive_start(7, t, 200).u16(45).u16(5730).u16(5).u16(216).u16(0xFF84).u16(387).u8(14)
           .step(10).step(4),
       26, {1, 0, 0, 0},
       std::string(kTdrHeader7) + "2026/03/14 10:00:00.000\t5.500\t13.55\t0.60\t21.6\t-12.4\t38.7\t14\t0\n", none},
      // Regime 6 dive, a wet/dry code without its state: the dive closes with state 0.
      {"wet/dry", ImageBuilder().dive_start(6, t, 100).u16(30).code(TDRCODE_WETDRY), 14, {1, 0, 0, 0},
       "DATE(UTC)\tDEPTH(m)\tWETDRY\n2026/03/14 10:00:00.000\t3.000\t0\n", none},
      // The dry start ends the dive, then half its interval: no haul-out line.
      {"dry start", ImageBuilder().dive_start(2, t, 100).u16(30).step(1).code(TDRCODE_START_DRY).u8(0), 15,
       {2, 0, 0, 0}, dive2 + "2026/03/14 10:00:01.000\t3.100\n", none},
      // A burst in a regime 2 dive, its second sample cut after x: y and z keep their values.
      // The burst spans the second (at least, in a dive of 0.5 s per sample) before the dive clock;
      // 257 / 256 - 16 = -14.99609 g.
      {"burst", ImageBuilder().dive_start(2, t, 50).u16(30).acc_start(256, 256, 256).step(1), 21, {1, 0, 0, 2},
       dive2, acc0 + "2026/03/14 09:59:59.500\t-14.9961\t-15.0000\t-15.0000\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.record);
    for (const char* suffix : {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"}) {
      std::remove(dir.file(std::string("tag") + suffix).c_str());
    }
    const ProcessResult r = skelv(row.image);
    EXPECT_EQ(r.out, completed(row.bytes, row.counts));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(output("_tdr.txt"), row.tdr);
    EXPECT_EQ(output("_ctd.txt") + output("_gps.txt"), std::string(kMissing) + kMissing);
    EXPECT_EQ(output("_accel.txt"), row.acc);
  }
}

TEST_F(EndToEndTest, ArgumentListsThatDecodeNothingAndAMissingInput) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } cases[] = {
      {{}, "\nSkelv  v78\n\nUsage: Skelv filename {offset} {-scan}\n", 1},
      {{std::string(1100, 'n')}, "\nSkelv  v78\n\nFile name too long: at most 1023 characters\n", 1},
      {{"--version"}, "Skelv v78\n", 0},
      {{"tag.bin", "-recovr"}, "\nSkelv  v78\n\nUnknown switch: -recovr\nUsage: Skelv filename {offset} {-scan} "
                               "{-recover} {-netcdf} {-dives} {-dive-threshold M}\n             {-dive-min-duration S} "
                               "{-zoc M|auto} {-report} {-strict}\n", 1},
      {{"absent.bin"}, head("absent.bin") + "Failure: Can't open TDR data file absent.bin\n\n", 0},
  };
  for (const auto& c : cases) {
    const ProcessResult r = run_skelv(c.args, dir.path());
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.status, c.status);
  }
  const ProcessResult help = run_skelv({"--help"}, dir.path());
  for (const char* option : {"-scan", "-recover", "-netcdf", "-dives", "-dive-threshold M", "-report", "-strict"}) {
    EXPECT_NE(help.out.find(std::string("  ") + option), std::string::npos) << option;
  }
  EXPECT_EQ(help.status, 0);
}

}  // namespace
}  // namespace skelv::test
