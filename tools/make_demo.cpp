// Writes the demo image shipped in examples/: a short deployment of a seal tag with an
// information record, four dives in regime 7 (depth, temperature, odometer, magnetometer and
// the wet/dry state) with a GPS snapshot at the surface, accelerometer bursts on the way down
// and a CTD cast on the way up, wet/dry changes, and haul-outs between the dives.
//
//   skelv-make-demo [OUTPUT]      (default: examples/demo.bin)
#include <cmath>
#include <cstdio>

#include "encoder/image_builder.h"

namespace {

using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::TagTime;

constexpr int kDiveInterval = 200;  // hundredths of a second
constexpr int kCtdInterval = 100;

TagTime clock_at(int seconds) {
  // The deployment starts on 2026-03-14 at 06:00:00; no dive crosses midnight.
  TagTime t{2026, 3, 14, 6, 0, 0, 0};
  t.hour += seconds / 3600;
  t.minute = seconds / 60 % 60;
  t.second = seconds % 60;
  return t;
}

// One channel of a stream: the value the decoder will hold, moved by steps or escapes.
struct Channel {
  std::uint16_t value;
  void to(ImageBuilder& out, int target) {
    const auto v = static_cast<std::uint16_t>(target);
    out.change(value, v);
    value = v;
  }
};

// An accelerometer burst of n samples: a stroke cycle around 1 g on Z.
void burst(ImageBuilder& out, int n, double phase) {
  auto raw = [](double g) { return static_cast<int>(std::lround((g + 16.0) * 256.0)); };
  Channel x{static_cast<std::uint16_t>(raw(0.1))}, y{static_cast<std::uint16_t>(raw(-0.05))},
      z{static_cast<std::uint16_t>(raw(0.98))};
  out.acc_start(x.value, y.value, z.value);
  for (int i = 1; i < n; ++i) {
    const double a = phase + i * 0.6;
    x.to(out, raw(0.1 + 0.35 * std::sin(a)));
    y.to(out, raw(-0.05 + 0.1 * std::cos(a)));
    z.to(out, raw(0.98 + 0.2 * std::sin(2 * a)));
  }
  out.acc_end();
}

// A CTD cast from `from_dbar` up to the surface, sampled once a second.
void cast(ImageBuilder& out, int seconds, double from_dbar) {
  auto pressure = [](double dbar) { return static_cast<int>(std::lround(600 + 30 * dbar)); };
  auto temperature = [](double dbar) { return 8000 + static_cast<int>(std::lround(1000 * (4.0 + 10.0 * std::exp(-dbar / 40)))); };
  auto conductivity = [](double dbar) { return 200 + static_cast<int>(std::lround(800 * (31.0 + 4.0 * std::exp(-dbar / 40)))); };
  double dbar = from_dbar;
  Channel p{static_cast<std::uint16_t>(pressure(dbar))}, t{static_cast<std::uint16_t>(temperature(dbar))},
      c{static_cast<std::uint16_t>(conductivity(dbar))};
  // Mask 0x13: fluorometer, optode phase and internal temperature.
  Channel fluoro{1200}, phase{3050}, internal{17500};
  out.ctd_start(0x13, clock_at(seconds), kCtdInterval, 600,
                {p.value, t.value, c.value, fluoro.value, phase.value, internal.value});
  for (int i = 1; dbar > 1.0; ++i) {
    dbar -= 1.5;
    p.to(out, pressure(dbar));
    t.to(out, temperature(dbar));
    c.to(out, conductivity(dbar));
    fluoro.to(out, 1200 + static_cast<int>(400 * std::exp(-std::fabs(dbar - 20) / 8)));
    phase.to(out, 3050 - i);
    internal.to(out, 17500 - 20 * i);
  }
  out.ctd_end();
}

// One dive of `samples` samples to `max_depth` metres, starting at `seconds`.
void dive(ImageBuilder& out, int seconds, int samples, double max_depth, int number) {
  out.dive_start(7, clock_at(seconds), kDiveInterval);
  auto depth_at = [&](int i) {
    const double x = static_cast<double>(i) / (samples - 1);
    return static_cast<int>(std::lround(10 * max_depth * std::sin(3.14159265 * x)));
  };
  auto temp_at = [](int depth_raw) { return static_cast<int>(std::lround((273.15 + 14.0 - depth_raw * 0.004) / 0.05)); };
  Channel depth{0}, temp{static_cast<std::uint16_t>(temp_at(0))}, odo{0};
  Channel mx{static_cast<std::uint16_t>(212)}, my{static_cast<std::uint16_t>(-143)}, mz{static_cast<std::uint16_t>(388)};
  out.u16(depth.value).u16(temp.value).u16(odo.value).u16(mx.value).u16(my.value).u16(mz.value).u8(15);
  out.wetdry(0);  // wet
  for (int i = 1; i < samples; ++i) {
    if (i == 2) out.gps(clock_at(seconds + 4), {{7, 0x2A41}, {12, 0x1F03}, {19, 0x33C7}, {24, 0x0B5E}});
    if (i == samples / 5 || i == samples / 4) burst(out, 24, i * 0.3 + number);
    if (i == samples * 3 / 4 && number % 2 == 1) cast(out, seconds + i * kDiveInterval / 100, max_depth * 0.7);
    const int d = depth_at(i);
    depth.to(out, d);
    temp.to(out, temp_at(d));
    odo.to(out, 3 + i % 4);
    mx.to(out, 212 + static_cast<int>(40 * std::sin(i * 0.2)));
    my.to(out, -143 + static_cast<int>(30 * std::cos(i * 0.15)));
    mz.to(out, 388 - i % 7);
    out.u8(static_cast<std::uint8_t>(15 - i / 40));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "examples/demo.bin";
  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = kDiveInterval;
  info.ctd_interval = kCtdInterval;
  img.info(info);
  // Four dives; the tag hauls out after the second and the fourth.
  dive(img, 0, 60, 48.0, 1);
  img.wetdry(1);
  dive(img, 240, 80, 112.0, 2);
  img.wetdry(1).dry_start(kDiveInterval).wetdry(1);
  dive(img, 3600, 50, 35.0, 3);
  dive(img, 3900, 90, 151.0, 4);
  img.wetdry(1).dry_start(kDiveInterval);
  img.gps(clock_at(4400), {{5, 0x1C22}, {9, 0x0F11}});
  img.eof();
  img.write_to(path);
  std::printf("wrote %zu bytes to %s\n", img.size(), path);
  return 0;
}
