// The items a run hands to its outputs, recorded as text lines, in order.
#include <cstdarg>
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

// Records every item as one line.
class Recorder : public Output {
 public:
  std::vector<std::string> lines;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lines.emplace_back(text);
  }
  void info(const InfoRecord& i) override { add("info %d tdr_interval %d", int(i.tag_version), int(i.calibration.tdr_interval)); }
  void dive_start(const DiveStart& d) override { add("dive start %s regime %d", when(d.time).c_str(), int(d.regime)); }
  void dry_start(const DryStart& d) override { add("dry start %s", when(d.time).c_str()); }
  void haulout(const Haulout& h) override { add("haulout %s %s", when(h.start).c_str(), when(h.end).c_str()); }
  void dive_sample(const DiveSample& s) override {
    if (s.has_temperature()) return add("dive %s %.3f %.2f regime %d", when(s.time).c_str(), s.depth_m(), s.temperature_c(), int(s.regime));
    add("dive %s %.3f regime %d", when(s.time).c_str(), s.depth_m(), int(s.regime));
  }
  void ctd_cast(const CtdCast& c) override {
    add("cast %d %s %.2f columns %d", int(c.number), when(c.time).c_str(), c.surface_pressure, int(c.columns.count));
  }
  void ctd_sample(const CtdSample& s) override {
    const CtdValues& v = s.values;
    add("ctd %d %s %.2f %.3f %.4f", int(s.cast), when(s.time).c_str(), v.abs_pressure, v.temperature, v.conductivity);
    for (std::size_t i = 0; i < v.aux_count; ++i) {
      char text[32];
      std::snprintf(text, sizeof text, " %.4f", v.aux[i]);
      lines.back() += text;
    }
  }
  void gps(const GpsSnapshot& g) override { add("gps %d", int(g.head[6])); }
  void acc_burst(const AccBurst& b) override { add("burst %d %s %s", int(b.number), when(b.start).c_str(), when(b.end).c_str()); }
  void acc_sample(const AccValues& a) override {
    add("acc %s %.4f %.4f %.4f burst %d", when(a.time).c_str(), a.x, a.y, a.z, int(a.burst));
  }
  void note(const Note& n) override { add("note %d %s", int(n.offset), n.text); }
  void failure(const Failure& f) override { add("failure %s", f.text); }
  void end_run(bool ok) override { add(ok ? "end ok" : "end failed"); }
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

}  // namespace
}  // namespace skelv::test
