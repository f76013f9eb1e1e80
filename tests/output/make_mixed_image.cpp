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
#include <string>
#include <vector>

#include "encoder/image_builder.h"

namespace {

using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::TagTime;

TagTime at(int hour, int minute, int second) { return TagTime{2025, 11, 30, hour, minute, second, 0}; }

// The channels of a stream: the values the decoder holds, each sample moved by steps or escapes.
struct Stream {
  std::vector<std::uint16_t> values;
  ImageBuilder& to(ImageBuilder& out, const std::vector<int>& targets) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
      out.change(values[i], static_cast<std::uint16_t>(targets[i]));
      values[i] = static_cast<std::uint16_t>(targets[i]);
    }
    return out;
  }
};

// A dive stream's first sample, absolute.
Stream first(ImageBuilder& out, const std::vector<std::uint16_t>& values) {
  for (std::uint16_t v : values) out.u16(v);
  return Stream{values};
}

void burst(ImageBuilder& out, int n, int seed) {
  Stream s{{4096, 4200, 4300}};
  out.acc_start(4096, 4200, 4300);
  for (int i = 1; i < n; ++i) s.to(out, {4096 + (i * 7 + seed) % 90 - 45, 4200 - (i * 3 + seed) % 50, 4300 + (i * 11) % 130});
  out.acc_end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string folder = argv[1];

  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 50;
  img.info(info);

  // Regime 1: depth and temperature; a GPS snapshot and a cast of mask 0x13 inside the dive. The
  // cast changes calibration half-way and holds a cast of mask 2 of its own.
  Stream dive = first(img.dive_start(1, at(6, 0, 0), 100), {20, 5800});
  for (int i = 1; i < 12; ++i) {
    if (i == 3) img.gps(at(6, 0, 3), {{7, 0x2A41}, {12, 0x1F03}});
    if (i == 6) {
      const std::vector<std::uint16_t> start = {1500, 9000, 28000, 1200, 3050, 17500};
      img.ctd_start(0x13, at(6, 0, 6), 50, 600, start);
      Stream cast{start};
      for (int k = 1; k < 14; ++k) {
        if (k == 5) {
          InfoBlock changed = info;
          changed.pressure_scale = 25;
          changed.temperature_scale = 980;
          changed.photo_channels = 2;
          img.info(changed);
        }
        if (k == 8) {
          img.ctd_start(2, at(6, 0, 20), 100, 620, {900, 9500, 27000, 800});
          Stream inner{{900, 9500, 27000, 800}};
          for (int j = 1; j < 4; ++j) inner.to(img, {900 - 30 * j, 9500 + 40 * j, 27000 + 100 * j, 800 + 5 * j});
          img.ctd_end();
        }
        cast.to(img, {1500 - 60 * k, 9000 + 37 * k, 28000 + 91 * k, 1200 + 13 * k, 3050 - k, 17500 - 20 * k});
      }
      img.ctd_end();
    }
    dive.to(img, {20 + 35 * i, 5800 - 9 * i});
  }
  // A dry period: the temperature-only stream of regime 1.
  Stream dry = first(img.dry_start(100), {5750});
  for (int i = 1; i < 5; ++i) dry.to(img, {5750 + i});

  // Regime 3: two photo channels since the calibration change; two bursts in one block.
  Stream r3 = first(img.dive_start(3, at(7, 0, 0), 200), {0, 100, 65000});
  for (int i = 1; i < 9; ++i) {
    if (i == 2) burst(img, 6, 1);
    if (i == 4) burst(img, 4, 2);
    r3.to(img, {50 * i, 100 + 90 * i, 65000 - 7 * i});
  }
  img.wetdry(1);

  // Regime 7: depth, temperature, odometer, magnetometer (its temperature negative) and dryness.
  Stream r7 = first(img.dive_start(7, at(8, 0, 0), 200), {0, 5700, 0, 212, static_cast<std::uint16_t>(-143), 388});
  img.u8(15);
  for (int i = 1; i < 7; ++i) {
    if (i == 3) img.wetdry(0);
    r7.to(img, {40 * i, 5700 - 3 * i, i % 4, 212 + 9 * i, -143 - 5 * i, 388 - i}).u8(static_cast<std::uint8_t>(0xFE - i));
  }

  // Regime 8: millimetre depth correction; a cast of mask 0x0C (PPFD) and one of mask 3 (oxygen);
  // a burst of 53 samples writes a warning note into every open file.
  Stream r8 = first(img.dive_start(8, at(9, 0, 0), 100), {123});
  img.u8(255);
  for (int i = 1; i < 8; ++i) {
    if (i == 2) img.ctd_start(0x0C, at(9, 0, 2), 100, 610, {1000, 9100, 28100, 14500}).step(-3).step(2).step(5).step(40).ctd_end();
    if (i == 4) img.ctd_start(3, at(9, 0, 4), 100, 600, {800, 9200, 28200, 3200}).step(10).step(-2).step(3).step(-31).ctd_end();
    if (i == 5) burst(img, 53, 3);
    r8.to(img, {123 + 11 * i}).u8(static_cast<std::uint8_t>(i * 30));
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
