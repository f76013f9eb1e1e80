// The items a run hands to its outputs, recorded as text lines, in order.
#include <cstdio>
#include <string>
#include <vector>

#include "output/output.h"
#include "records/time_base.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

std::string when(double t) {
  char text[kTimeTextSize];
  return format_time(t, text, true);
}

std::string fmt(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// Records every item as one line.
class Recorder : public Output {
 public:
  std::vector<std::string> lines;
  void info(const InfoRecord& i) override {
    lines.push_back("info " + std::to_string(i.tag_version) + " tdr_interval " + std::to_string(i.calibration.tdr_interval));
  }
  void dive_start(const DiveStart& d) override {
    lines.push_back("dive start " + when(d.time) + " regime " + std::to_string(d.regime));
  }
  void dry_start(const DryStart& d) override { lines.push_back("dry start " + when(d.time)); }
  void haulout(const Haulout& h) override { lines.push_back("haulout " + when(h.start) + " " + when(h.end)); }
  void dive_sample(const DiveSample& s) override {
    std::string line = "dive " + when(s.time) + fmt(" %.3f", s.depth_m());
    if (s.has_temperature()) line += fmt(" %.2f", s.temperature_c());
    lines.push_back(line + " regime " + std::to_string(s.regime));
  }
  void ctd_cast(const CtdCast& c) override {
    lines.push_back("cast " + std::to_string(c.number) + " " + when(c.time) + fmt(" %.2f", c.surface_pressure) +
                    " columns " + std::to_string(c.columns.count));
  }
  void ctd_sample(const CtdSample& s) override {
    std::string line = "ctd " + std::to_string(s.cast) + " " + when(s.time) + fmt(" %.2f", s.values.abs_pressure) +
                       fmt(" %.3f", s.values.temperature) + fmt(" %.4f", s.values.conductivity);
    for (std::size_t i = 0; i < s.values.aux_count; ++i) line += fmt(" %.4f", s.values.aux[i]);
    lines.push_back(line);
  }
  void gps(const GpsSnapshot& g) override { lines.push_back("gps " + std::to_string(g.head[6])); }
  void acc_burst(const AccBurst& b) override {
    lines.push_back("burst " + std::to_string(b.number) + " " + when(b.start) + " " + when(b.end));
  }
  void acc_sample(const AccValues& a) override {
    lines.push_back("acc " + when(a.time) + fmt(" %.4f", a.x) + fmt(" %.4f", a.y) + fmt(" %.4f", a.z) + " burst " +
                    std::to_string(a.burst));
  }
  void note(const Note& n) override { lines.push_back("note " + std::to_string(n.offset) + " " + n.text); }
  void failure(const Failure& f) override { lines.push_back(std::string("failure ") + f.text); }
  void end_run(bool ok) override { lines.push_back(ok ? "end ok" : "end failed"); }
};

class OutputTest : public DecodeTest {};

TagTime at(int minute, int second) { return TagTime{2025, 11, 30, 6, minute, second, 0}; }

TEST_F(OutputTest, EveryItemReachesEveryOutputInDecodeOrder) {
  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  img.info(info);
  // Regime 2 at 06:00:00, one sample a second: 10.0 m, 10.5 m (a GPS snapshot), 9.5 m.
  img.dive_start(2, at(0, 0), 100).u16(100).step(5).gps(at(0, 1), {{1, 2}}).step(-10);
  // Haul-out: starts 60 s before two intervals after the last sample: 06:00:02 + 2 s - 60 s.
  img.dry_start(100);
  // Regime 1 at 06:10:00: 5.0 m and 5800 * 0.05 - 273.15 = 16.85 C; a cast of mask 2 and a
  // burst of one sample inside; the image ends in the second sample, whose closing line shows its
  // new depth, 5.1 m, and the temperature before it.
  img.dive_start(1, at(10, 0), 100).u16(50).u16(5800);
  img.ctd_start(2, at(10, 30), 100, 600, {900, 9000, 28200, 1500}).step(30).step(0).step(8).step(-5).ctd_end();
  img.acc_start(4096, 4352, 0).acc_end();
  img.step(1);

  Recorder a, b;
  st.outputs.add(a);
  st.outputs.add(b);
  EXPECT_TRUE(decode(img));

  const std::vector<std::string> expected = {
      "info 170 tdr_interval 100",
      "dive start 2025/11/30 06:00:00.000 regime 2",
      "dive 2025/11/30 06:00:00.000 10.000 regime 2",
      "gps 1",
      "dive 2025/11/30 06:00:01.000 10.500 regime 2",
      "dive 2025/11/30 06:00:02.000 9.500 regime 2",
      "dry start 2025/11/30 05:59:04.000",
      "dive start 2025/11/30 06:10:00.000 regime 1",
      // The haul-out ends one dive interval before the dive's first sample.
      "haulout 2025/11/30 05:59:04.000 2025/11/30 06:09:59.000",
      // Surface (600 - 600) / 30 = 0; pressure (900 - 600) / 30 = 10, temperature
      // (9000 - 8000) / 1000 = 1, conductivity (28200 - 200) / 800 = 35, fluorometer 1500 * 0.001.
      "cast 1 2025/11/30 06:10:30.000 0.00 columns 1",
      "ctd 1 2025/11/30 06:10:30.000 10.00 1.000 35.0000 1.5000",
      "ctd 1 2025/11/30 06:10:31.000 11.00 1.000 35.0100 1.4950",
      // The burst spans the second before the dive clock; its sample waits for the block's end.
      "burst 1 2025/11/30 06:09:59.000 2025/11/30 06:10:00.000",
      "dive 2025/11/30 06:10:00.000 5.100 16.85 regime 1",
      // 4096 / 256 - 16, 4352 / 256 - 16, 0 / 256 - 16.
      "acc 2025/11/30 06:09:59.000 0.0000 1.0000 -16.0000 burst 1",
      "end ok",
  };
  EXPECT_EQ(a.lines, expected);
  EXPECT_EQ(b.lines, expected);
  // The text files are written as without outputs.
  EXPECT_EQ(gps(), "2025/11/30 06:00:01 1 3 0 1 0002\n");
}

TEST_F(OutputTest, NotesAndFailuresReachTheOutputs) {
  ImageBuilder img;
  img.dive_start(2, at(0, 0), 100).u16(100).step(1);
  const std::size_t start = img.size();
  img.dive_start(4, at(0, 5), 100).u16(1).eof();
  Recorder r;
  st.outputs.add(r);
  EXPECT_FALSE(decode(img));
  const std::string after_start = std::to_string(start + 11);  // code, regime, 7-byte time, interval
  const std::vector<std::string> expected = {
      "dive start 2025/11/30 06:00:00.000 regime 2",
      "dive 2025/11/30 06:00:00.000 10.000 regime 2",
      "dive 2025/11/30 06:00:01.000 10.100 regime 2",
      "dive start 2025/11/30 06:00:05.000 regime 4",
      "note " + after_start + " Illegal stream contents (0)",
      "failure Unknown TDR regime 4 at byte " + after_start + "\n",
      "end failed",
  };
  EXPECT_EQ(r.lines, expected);
}

TEST_F(OutputTest, AccelerometerWarningIsANoteOfEveryFile) {
  ImageBuilder img;
  img.dive_start(2, at(0, 0), 100).u16(100);
  img.acc_start(4096, 4096, 4096);
  for (int i = 1; i < 53; ++i) img.step(0).step(0).step(0);
  img.acc_end().step(1);
  Recorder r;
  st.outputs.add(r);
  EXPECT_TRUE(decode(img));
  int notes = 0;
  for (const std::string& line : r.lines) notes += line.rfind("note ", 0) == 0 && line.find("ACC OVERFLOW: WARNING") != std::string::npos;
  EXPECT_EQ(notes, 1);  // the 53rd sample
  EXPECT_NE(tdr().find(": ACC OVERFLOW: WARNING\n"), std::string::npos);
}

}  // namespace
}  // namespace skelv::test
