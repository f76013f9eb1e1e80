// Damage that still decodes, judged on the values of a deployment whose data have been steady:
// start records out of step, CTD values and accelerometer values beyond the sensors' range, the
// CTD pressure and the magnetometer's temperature jumping. A plain run decodes them and says so on standard error;
// -recover takes them back. And records that look implausible on their own bytes, which -recover
// judges only where damage follows close behind.
#include "damaged_image_fixture.h"

namespace skelv::test {
namespace {

// Start records are judged against the one before after three in step: a dive start [78] after
// dives at 06:00 [26], 06:01, 06:02 and 06:03 [65], each of one sample, or a CTD start [119]
// after profiles [39], [59], [79] and [99] 5 s apart in the dive at 06:00. A start may lie up to a
// minute before the one before and up to 30 days after it; a plain run decodes one beyond and
// says so. -recover takes a dive start beyond for another tag's data and, with nothing wrong after
// it, keeps it; a profile beyond ends inside the dive's stream, where another tag's can't, and is
// taken back: its 21 bytes [119] to the end code [139] are a stretch.
TEST_F(DamagedImageTest, StartRecordsOutOfStepLookDamaged) {
  const std::string hint = "Skelv: 1 record looked damaged but was decoded, the first at byte ";
  const struct {
    bool ctd;
    TagTime fifth;  // the dive or profile judged
    std::string err;
  } rows[] = {
      {false, {2026, 3, 14, 6, 2, 0}, ""},
      {false, {2026, 3, 14, 6, 1, 59}, hint + "78; -recover skips damaged records.\n"},
      {false, {2026, 4, 13, 6, 3, 0}, ""},
      {false, {2026, 4, 13, 6, 3, 1}, hint + "78; -recover skips damaged records.\n"},
      {true, {2026, 3, 14, 5, 59, 20}, ""},
      {true, {2026, 3, 14, 5, 59, 19}, hint + "119; -recover skips damaged records.\n"},
      {true, {2026, 4, 13, 6, 0, 20}, ""},
      {true, {2027, 3, 14, 6, 0, 20}, hint + "119; -recover skips damaged records.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.fifth.year) + "-" + std::to_string(row.fifth.month) + " " + row.err);
    ImageBuilder image;
    image.info(info());
    if (row.ctd) {
      image.dive_start(2, kFirstDive, 100).u16(100);
      for (int k = 0; k < 5; ++k) {
        const TagTime t = k < 4 ? TagTime{2026, 3, 14, 6, 0, 5 + 5 * k} : row.fifth;
        image.ctd_start(1, t, 100, 600, {1600, 23000, 32200}).ctd_end();
      }
    } else {
      for (int k = 0; k < 5; ++k) image.dive_start(2, k < 4 ? TagTime{2026, 3, 14, 6, k, 0} : row.fifth, 100).u16(100);
    }
    image.eof();
    const Outcome plain = skelv(image);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, row.err);
    const std::string tdr = output("_tdr.txt"), ctd = output("_ctd.txt");
    const Outcome recover = skelv(image, "-recover");
    if (row.ctd && !row.err.empty()) {
      const std::string note = Gap{119, 21, "another tag's profile inside a stream"}.note() + "\n";
      EXPECT_EQ(recover.status, 3);
      EXPECT_EQ(output("_tdr.txt"), tdr + note);
      EXPECT_EQ(output("_ctd.txt"), ctd.substr(0, ctd.rfind('\n', ctd.size() - 2) + 1) + note);
      continue;
    }
    EXPECT_EQ(recover.status, 0);
    EXPECT_EQ(recover.out, plain.out);
    EXPECT_EQ(output("_tdr.txt"), tdr);
    EXPECT_EQ(output("_ctd.txt"), ctd);
  }
}

// Sensor values judged after steady evidence, each at the boundary of its check and one sample
// short of steady evidence, all in the dive at 06:00 [26]:
// - CTD values after 512 in range: a profile [39] whose first sample (33.33 dbar, 15 degC,
//   40 mS/cm) and further samples k at 58 + 3 (k - 1), steps of 0, stay in range, until the
//   temperature of sample `wild` jumps by an escape to `value`: (value - 8000) / 1000 degC. The
//   sensor reads up to 40 degC.
// - CTD pressures after 512 steady steps: the same profile, until the pressure of sample `wild`
//   jumps by an escape to `value`: (value - 1600) / 30 dbar from 33.33 dbar. An animal moves no
//   more than 40 m (about 40 dbar) in one sample, and no more than 10 m a second: a profile
//   sampled every 5 s may move 50 dbar. A profile nested before the sample (at 06:10:00) may stand
//   for any length of time: the step across it is not judged.
// - The magnetometer's temperature after 16 steady samples: a regime 7 dive whose opening sample
//   [37] reads 14 degC and whose further samples k at 50 + 7 (k - 1), steps of 0, keep it, until
//   sample `wild` reads `value`. It never moves more than 40 degrees a sample.
// - Accelerometer values after 64 bursts in range: bursts of one sample at 39 + 8 (k - 1), each
//   raw 4096 on every axis (0 g), until burst `wild` reads `value` on x: value / 256 - 16 g. The
//   sensor reads up to 16 g.
// - Dive temperatures after 256 in range: a regime 1 dive whose opening sample [37] reads 13.35
//   degC (5730 counts of 0.05 K) and whose further samples k at 41 + 2 (k - 1), steps of 0, keep
//   it, until sample `wild` jumps by an escape to `value`: value / 20 - 273.15 degC. A tag's
//   thermistor reads from -40 to +60 degC, in the water or in the air.
TEST_F(DamagedImageTest, SensorValuesBeyondWhatTheSensorsReadLookDamaged) {
  enum Sensor { kCtd, kPressure, kPressureEvery5s, kPressureAfterProfile, kMag, kAcc, kDiveTemperature };
  const auto image_of = [](Sensor sensor, int wild, std::uint16_t value) {
    ImageBuilder image;
    image.info(info()).dive_start(sensor == kMag ? 7 : sensor == kDiveTemperature ? 1 : 2, kFirstDive, 100).u16(100);
    if (sensor <= kPressureAfterProfile) {
      image.ctd_start(1, {2026, 3, 14, 6, 0, 5}, sensor == kPressureEvery5s ? 500 : 100, 600, {1600, 23000, 32200});
      for (int k = 1; k < wild; ++k) image.step(0).step(0).step(0);
      if (sensor == kCtd) image.step(0).escaped(value).step(0).ctd_end();
      if (sensor == kPressureAfterProfile) {
        image.ctd_start(1, {2026, 3, 14, 6, 10, 0}, 100, 600, {3600, 23000, 32200}).ctd_end();
      }
      if (sensor != kCtd) image.escaped(value).step(0).step(0).ctd_end();
    } else if (sensor == kMag) {
      image.u16(5730).u16(5).u16(216).u16(0xFF84).u16(387).u8(14);
      for (int k = 1; k <= wild; ++k) {
        image.step(0).step(0).step(0).step(0).step(0).step(0).u8(k < wild ? 14 : static_cast<std::uint8_t>(value));
      }
    } else if (sensor == kDiveTemperature) {
      image.u16(5730);
      for (int k = 1; k < wild; ++k) image.step(0).step(0);
      image.step(0).escaped(value);
    } else {
      for (int k = 1; k <= wild; ++k) image.acc_start(k < wild ? 4096 : value, 4096, 4096).acc_end();
    }
    return image.eof();
  };
  const auto hint = [](int at) {
    return "Skelv: 1 record looked damaged but was decoded, the first at byte " + std::to_string(at) +
           "; -recover skips damaged records.\n";
  };
  const struct {
    Sensor sensor;
    int wild;
    std::uint16_t value;
    std::string err;
  } rows[] = {
      {kCtd, 512, 48000, ""},
      {kCtd, 512, 48001, hint(1591)},
      {kCtd, 511, 48001, ""},  // 511 samples in range before it: not steady yet
      {kPressure, 513, 2800, ""},
      {kPressure, 513, 2801, hint(1594)},
      {kPressure, 513, 400, ""},
      {kPressure, 513, 399, hint(1594)},
      {kPressure, 512, 2801, ""},  // 511 steps before it: not steady yet
      {kPressureEvery5s, 513, 3100, ""},
      {kPressureEvery5s, 513, 3101, hint(1594)},
      {kPressureAfterProfile, 513, 2801, ""},
      {kMag, 17, 54, ""},
      {kMag, 17, 55, hint(162)},
      {kMag, 16, 55, ""},  // 15 steady samples before it: not judged
      {kAcc, 65, 8192, ""},
      {kAcc, 65, 8193, hint(551)},
      {kAcc, 65, 0, ""},     // -16 g
      {kAcc, 64, 8193, ""},  // 63 bursts in range before it: not judged
      {kDiveTemperature, 256, 6663, ""},  // +60.00 degC
      {kDiveTemperature, 256, 6664, hint(551)},
      {kDiveTemperature, 256, 4663, ""},  // -40.00 degC
      {kDiveTemperature, 256, 4662, hint(551)},
      {kDiveTemperature, 255, 6664, ""},  // the opening sample and 254 more before it: not judged
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.sensor) + " " + std::to_string(row.wild) + " " + std::to_string(row.value));
    judged(image_of(row.sensor, row.wild, row.value), row.err);
    if (row.sensor <= kPressureAfterProfile && !row.err.empty()) {
      // Back to the checkpoint at sample 512 [1591]: the first sample and 511 more stay.
      const std::string ctd = output("_ctd.txt");
      EXPECT_EQ(std::count(ctd.begin(), ctd.end(), '\n'), 1 + 512 + 1) << ctd.substr(ctd.size() - 300);
      EXPECT_NE(ctd.find("@00000637: Damaged: skipped to "), std::string::npos);
    }
  }
}

// The dive temperature's range holds for every tag and needs no calibration: a restart is judged
// by the evidence of the data before the damage. A regime 1 dive at 06:00:00 [26] of 301 samples at 13.35 degC [37], a stray 0xFF
// [641], a dive at 06:10:00 [642] whose opening sample reads -246.80 degC [653], and a dive at
// 06:20:00 [661]. -recover restarts at the second dive, takes it back at its first sample and goes
// on at the third: the first dive's lines all stay (to 06:05:00), the second's go with the stray
// byte's stretch, 641 to 660.
TEST_F(DamagedImageTest, ARestartIsJudgedByTheDiveTemperaturesBeforeTheDamage) {
  ImageBuilder image;
  image.info(info()).dive_start(1, kFirstDive, 100).u16(100).u16(5730);
  for (int k = 0; k < 300; ++k) image.step(0).step(0);
  image.u8(0xFF).dive_start(1, {2026, 3, 14, 6, 10, 0}, 100).u16(100).u16(527).step(0).step(0).step(0).step(0);
  image.dive_start(1, {2026, 3, 14, 6, 20, 0}, 100).u16(200).u16(5730).step(-10).step(0).eof();
  ASSERT_EQ(image.size(), 679u);
  EXPECT_EQ(skelv(image, "-recover").status, 3);
  const std::string tdr = output("_tdr.txt");
  EXPECT_EQ(tdr.find("-246.80"), std::string::npos) << tdr.substr(tdr.size() - 400);
  // The second dive goes with the stray byte's stretch, which the third dive ends.
  const std::string tail = "2026/03/14 06:05:00.000\t10.000\t13.35\n" +
                            Gap{641, 20, "end-of-data code with data after it"}.note() +
                            "\n2026/03/14 06:20:00.000\t20.000\t13.35\n2026/03/14 06:20:01.000\t19.000\t13.35\n";
  EXPECT_EQ(tdr.substr(tdr.size() - tail.size()), tail);
}

// The first change of the accelerometer calibration is judged by the bursts before it: information
// records [0] and [26], the dive [52] with 64 bursts of 0 g from [65], then a record [577] with an
// accelerometer offset of 115 g, which may open another tag's data, and a burst [603] that it makes
// read -99 g. -recover takes both back and restarts at the second dive [611]. The first dive's
// sample, read before the record, keeps its line; the block of 64 bursts stays, its samples spread
// evenly over the second before 06:00:00 that each burst spans, read with the first calibration
// (a plain run writes them at -99 g). After a first change, calibrations change in this
// deployment: a second one is not judged.
TEST_F(DamagedImageTest, AccelerometerCalibrationChangeJudgedByTheBurstsBefore) {
  InfoBlock other = info(), near = info();
  other.acc_offset = 115;
  near.acc_offset = 17;
  const auto deployment_with = [&](const std::vector<InfoBlock>& changes) {
    ImageBuilder image;
    image.info(info()).info(info()).dive_start(2, kFirstDive, 100).u16(100);
    for (int k = 1; k <= 64; ++k) image.acc_start(4096, 4096, 4096).acc_end();
    for (const InfoBlock& change : changes) image.info(change).acc_start(4096, 4096, 4096).acc_end();
    return image.dive_start(2, kSecondDive, 100).u16(200).step(-10).eof();
  };
  const ImageBuilder image = deployment_with({other});
  const Outcome plain = skelv(image);
  EXPECT_EQ(plain.err, "Skelv: 2 records looked damaged but were decoded, the first at byte 577; "
                       "-recover skips damaged records.\n");
  const Outcome recover = skelv(image, "-recover");
  EXPECT_EQ(recover.status, 3);
  const Gap taken{577, 34, "accelerometer values beyond the sensor's range"};
  EXPECT_EQ(output("_tdr.txt"), kTdrHeader2 + "2026/03/14 06:00:00.000\t10.000\n" + taken.note() + "\n" + kSecondLines);
  std::string bursts;
  for (int i = 0; i < 64; ++i) {
    char line[64];  // i / 64 s, to the millisecond (half up)
    std::snprintf(line, sizeof line, "2026/03/14 05:59:59.%03d\t0.0000\t0.0000\t0.0000\n", (i * 15625 + 500) / 1000);
    bursts += line;
  }
  EXPECT_EQ(output("_accel.txt"), "DATE(UTC)\tX\tY\tZ\n" + taken.note() + "\n" + bursts);

  // Offset 17 g first [577] (-1 g, in range), then 115 g [611]: the second change is not judged.
  // (Both records contradict the two before them, which a plain run counts; -recover takes the
  // first for another tag's data and the second for that tag's own.)
  const ImageBuilder twice = deployment_with({near, other});
  EXPECT_EQ(skelv(twice).err, "Skelv: 2 records looked damaged but were decoded, the first at byte 577; "
                              "-recover skips damaged records.\n");
  EXPECT_EQ(skelv(twice, "-recover").status, 0);
  EXPECT_NE(output("_accel.txt").find("\t-99.0000\t-99.0000\t-99.0000\n"), std::string::npos);
}

// A GPS snapshot [44] (one entry) whose time can't be a time, a field out of range, goes with
// damage close behind it, an unknown code 5 [55]: the stretch starts at the snapshot, and its line
// is not written. At the fields' limits it is a time: the stretch is the code's byte alone and the
// snapshot keeps the line a plain run writes. Either way the run restarts at the dive at 07:00 [56].
TEST_F(DamagedImageTest, GpsSnapshotWhoseTimeCantBeATimeGoesWithDamageCloseBehind) {
  const struct {
    TagTime t;
    bool time;
  } rows[] = {{{2026, 12, 31, 23, 59, 59}, true}, {{2026, 1, 1, 0, 0, 0}, true},    {{2026, 13, 14, 6, 30, 0}, false},
              {{2026, 0, 14, 6, 30, 0}, false},   {{2026, 3, 32, 6, 30, 0}, false}, {{2026, 3, 0, 6, 30, 0}, false},
              {{2026, 3, 14, 24, 30, 0}, false},  {{2026, 3, 14, 6, 60, 0}, false}, {{2026, 3, 14, 6, 30, 60}, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.t.month) + "/" + std::to_string(row.t.day) + " " + std::to_string(row.t.hour) + ":" +
                 std::to_string(row.t.minute) + ":" + std::to_string(row.t.second));
    ImageBuilder snapshot;
    snapshot.gps(row.t, {{7, 0x2A41}}).raw({0x05});
    const ImageBuilder image = deployment(snapshot.bytes());
    skelv(image);
    const std::string plain = output("_gps.txt");
    const std::string line = plain.substr(0, plain.find('\n') + 1);
    ASSERT_FALSE(line.empty());
    const Outcome recover = skelv(image, "-recover");
    EXPECT_EQ(recover.status, 3);
    const Gap gap = row.time ? Gap{55, 1, "unknown code 5"} : Gap{44, 12, "unknown code 5"};
    EXPECT_NE(recover.out.find(gap.note() + "\n"), std::string::npos) << recover.out;
    EXPECT_EQ(output("_gps.txt").find(line) != std::string::npos, row.time) << output("_gps.txt");
  }
}

}  // namespace
}  // namespace skelv::test
