// Writes the images the NetCDF read-back test converts:
//   mixed.bin    regimes 1 (with a dry period's temperature stream), 3, 7 and 8, casts of masks
//                0x13, 2, 0x0C and 3 (one nested in another, one at half-second sampling), a
//                calibration change inside a cast, GPS snapshots and accelerometer bursts inside
//                dives, a burst long enough for a warning note, and a last dive cut short by the
//                end of the image;
//   failing.bin  a GPS snapshot and a dive of regime 2 (1.0, 3.0, 5.0, 4.2, 2.6 and 1.0 m a second
//                apart), then a dive start of the unknown regime 4.
//
//   make_mixed_image FOLDER
#include <cstdio>
#include <string>

#include "encoder/image_builder.h"

namespace {

using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::TagTime;

TagTime at(int hour, int minute, int second) { return TagTime{2025, 11, 30, hour, minute, second, 0}; }

// A channel of a stream: the value the decoder holds, moved by steps or escapes.
struct Channel {
  std::uint16_t value;
  void to(ImageBuilder& out, int target) {
    const auto v = static_cast<std::uint16_t>(target);
    out.change(value, v);
    value = v;
  }
};

void burst(ImageBuilder& out, int n, int seed) {
  Channel x{4096}, y{4200}, z{4300};
  out.acc_start(x.value, y.value, z.value);
  for (int i = 1; i < n; ++i) {
    x.to(out, 4096 + (i * 7 + seed) % 90 - 45);
    y.to(out, 4200 - (i * 3 + seed) % 50);
    z.to(out, 4300 + (i * 11) % 130);
  }
  out.acc_end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_mixed_image FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];

  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 50;
  img.info(info);

  // Regime 1: depth and temperature; a GPS snapshot and a cast of mask 0x13 inside the dive. The
  // cast changes calibration half-way and holds a cast of mask 2 of its own.
  img.dive_start(1, at(6, 0, 0), 100);
  Channel depth{20}, temp{5800};
  img.u16(depth.value).u16(temp.value);
  for (int i = 1; i < 12; ++i) {
    if (i == 3) img.gps(at(6, 0, 3), {{7, 0x2A41}, {12, 0x1F03}});
    if (i == 6) {
      Channel p{1500}, t{9000}, c{28000}, fl{1200}, bp{3050}, it{17500};
      img.ctd_start(0x13, at(6, 0, 6), 50, 600, {p.value, t.value, c.value, fl.value, bp.value, it.value});
      for (int k = 1; k < 14; ++k) {
        if (k == 5) {
          InfoBlock changed = info;
          changed.pressure_scale = 25;
          changed.temperature_scale = 980;
          changed.photo_channels = 2;
          img.info(changed);
        }
        if (k == 8) {
          Channel q{900}, s{9500}, d{27000}, f2{800};
          img.ctd_start(2, at(6, 0, 20), 100, 620, {q.value, s.value, d.value, f2.value});
          for (int j = 1; j < 4; ++j) {
            q.to(img, 900 - 30 * j);
            s.to(img, 9500 + 40 * j);
            d.to(img, 27000 + 100 * j);
            f2.to(img, 800 + 5 * j);
          }
          img.ctd_end();
        }
        p.to(img, 1500 - 60 * k);
        t.to(img, 9000 + 37 * k);
        c.to(img, 28000 + 91 * k);
        fl.to(img, 1200 + 13 * k);
        bp.to(img, 3050 - k);
        it.to(img, 17500 - 20 * k);
      }
      img.ctd_end();
    }
    depth.to(img, 20 + 35 * i);
    temp.to(img, 5800 - 9 * i);
  }
  // A dry period: the temperature-only stream of regime 1.
  img.dry_start(100).u16(5750);
  Channel dry{5750};
  for (int i = 1; i < 5; ++i) dry.to(img, 5750 + i);

  // Regime 3: two photo channels since the calibration change; two bursts in one block.
  img.dive_start(3, at(7, 0, 0), 200);
  Channel d3{0}, ph0{100}, ph1{65000};
  img.u16(d3.value).u16(ph0.value).u16(ph1.value);
  for (int i = 1; i < 9; ++i) {
    if (i == 2) burst(img, 6, 1);
    if (i == 4) burst(img, 4, 2);
    d3.to(img, 50 * i);
    ph0.to(img, 100 + 90 * i);
    ph1.to(img, 65000 - 7 * i);
  }
  img.wetdry(1);

  // Regime 7: depth, temperature, odometer, magnetometer and dryness.
  img.dive_start(7, at(8, 0, 0), 200);
  Channel d7{0}, t7{5700}, odo{0}, mx{212}, my{static_cast<std::uint16_t>(-143)}, mz{388};
  img.u16(d7.value).u16(t7.value).u16(odo.value).u16(mx.value).u16(my.value).u16(mz.value).u8(15);
  for (int i = 1; i < 7; ++i) {
    if (i == 3) img.wetdry(0);
    d7.to(img, 40 * i);
    t7.to(img, 5700 - 3 * i);
    odo.to(img, i % 4);
    mx.to(img, 212 + 9 * i);
    my.to(img, -143 - 5 * i);
    mz.to(img, 388 - i);
    img.u8(static_cast<std::uint8_t>(0xFE - i));  // negative magnetometer temperatures
  }

  // Regime 8: millimetre depth correction; a cast of mask 0x0C (PPFD) and one of mask 3 (oxygen);
  // a burst of 53 samples writes a warning note into every open file.
  img.dive_start(8, at(9, 0, 0), 100);
  Channel d8{123};
  img.u16(d8.value).u8(255);
  for (int i = 1; i < 8; ++i) {
    if (i == 2) {
      img.ctd_start(0x0C, at(9, 0, 2), 100, 610, {1000, 9100, 28100, 14500});
      img.step(-3).step(2).step(5).step(40).ctd_end();
    }
    if (i == 4) {
      img.ctd_start(3, at(9, 0, 4), 100, 600, {800, 9200, 28200, 3200});
      img.step(10).step(-2).step(3).step(-31).ctd_end();
    }
    if (i == 5) burst(img, 53, 3);
    d8.to(img, 123 + 11 * i);
    img.u8(static_cast<std::uint8_t>(i * 30));
  }

  // Regime 2, cut short: the image ends inside a sample.
  img.dive_start(2, at(10, 0, 0), 100).u16(300).step(4).step(-2);
  img.write_to(folder + "/mixed.bin");

  ImageBuilder bad;
  bad.info(info).gps(at(11, 0, 0), {{1, 0x0102}});
  bad.dive_start(2, at(11, 0, 1), 100).u16(10).step(20).step(20).step(-8).step(-16).step(-16);
  bad.dive_start(4, at(11, 0, 9), 100).u16(10).u16(10).eof();
  bad.write_to(folder + "/failing.bin");
  return 0;
}
