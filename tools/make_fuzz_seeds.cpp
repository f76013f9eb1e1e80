// Writes the seed images of the decoder's fuzz target into a folder: every record kind, records
// nested in streams, forced-absolute tags, unknown codes and records cut short by the end of the
// image, damaged images for -recover. Each file starts with the fuzz target's control byte (bit 0:
// scan dump, bit 1: -recover, bit 2: the NetCDF files, the dive table and the report, bits 3..7:
// start offset), then the image.
//
//   skelv-make-fuzz-seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "encoder/image_builder.h"

namespace {

using skelv::test::GpsEntry;
using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::TagTime;

// Appends CTD samples after `previous`, each channel as a change from the sample before.
void ctd_samples(ImageBuilder& b, std::vector<std::uint16_t>& previous,
                 const std::vector<std::vector<std::uint16_t>>& samples) {
  for (const std::vector<std::uint16_t>& s : samples) {
    for (std::size_t i = 0; i < s.size() && i < previous.size(); ++i) b.change(previous[i], s[i]);
    previous = s;
  }
}

constexpr TagTime kDive{2026, 3, 14, 6, 0, 0, 0};
constexpr TagTime kCast{2026, 3, 14, 6, 1, 30, 0};

struct Seed {
  std::string name;
  std::uint8_t control;  // bit 0: scan dump; bit 1: -recover; bit 2: every output; bits 3..7: start offset
  ImageBuilder image;
};

InfoBlock info_of(std::uint16_t version) {
  InfoBlock info;
  info.tag_version = version;
  info.tdr_interval = 200;
  info.ctd_interval = 100;
  return info;
}

// A regime 7 dive holding a CTD profile that holds a snapshot and a burst, then a haul-out.
ImageBuilder nested_dive() {
  ImageBuilder b;
  b.info(info_of(170)).dive_start(7, kDive, 200);
  b.u16(45).u16(5400).u16(5).u16(216).u16(0xFF84).u16(387).u8(14);  // opening sample
  b.step(10).step(4).step(1).step(-7).step(3).step(-1).u8(14);
  std::vector<std::uint16_t> s{1608, 22700, 26300, 1200, 3050, 17500};
  b.ctd_start(0x13, kCast, 100, 600, s);
  ctd_samples(b, s, {{1563, 22780, 26350, 1288, 3049, 17480}});
  b.gps({2026, 3, 14, 6, 1, 31}, {{7, 0x2a41}, {12, 0x1f03}});
  b.acc_start(256, 300, 4096).step(3).step(-2).step(1).escaped(100).step(0).step(0).acc_end();
  ctd_samples(b, s, {{1500, 22800, 26400, 1300, 3000, 17400}});
  b.ctd_end().step(-10).step(2).step(0).step(1).step(1).step(0).u8(13);
  b.wetdry(1).step(0).step(0).step(0).step(0).step(0).step(0).u8(13);
  b.dry_start(200).dive_start(7, {2026, 3, 14, 7, 0, 0, 0}, 200);
  b.u16(10).u16(5400).u16(0).u16(216).u16(0xFF84).u16(387).u8(14);
  return b.step(1).step(1).step(1).step(1).step(1).step(1).u8(14).eof();
}

std::vector<Seed> seeds() {
  std::vector<Seed> out;
  out.push_back({"dive_ctd_gps_burst", 0, nested_dive()});
  out.push_back({"dive_ctd_gps_burst_scan", 1, nested_dive()});
  out.push_back({"dive_ctd_gps_burst_offset", 30 << 3, nested_dive()});
  out.push_back({"dive_ctd_gps_burst_outputs", 4, nested_dive()});

  {  // Regime 1 with the temperature stream of a haul-out; regime 2, 5 and 6 dives.
    ImageBuilder b;
    b.dive_start(1, kDive, 100).u16(100).u16(6000).step(5).step(-2).step(0).step(1);
    b.dry_start(100).u16(6010).step(1).step(-1);
    b.dive_start(2, kDive, 100).u16(30).step(5).dry_start(50).u8(0xF7).u8(1);
    b.dive_start(5, kDive, 100).u16(30).step(-40).escaped(20999).step(100);
    b.dive_start(6, kDive, 100).u16(30).wetdry(1).step(1).wetdry(0).step(1).eof();
    out.push_back({"regimes_1_2_5_6", 0, b});
  }
  {  // Photo channels: two, then six announced inside the stream (four kept).
    InfoBlock info = info_of(170);
    info.photo_channels = 2;
    ImageBuilder b;
    b.info(info).dive_start(3, kDive, 100).u16(10).u16(7).u16(65535).step(1).step(2).step(3);
    info.photo_channels = 6;
    b.info(info).step(1).step(1).step(1).step(1).step(1).step(1).step(1).step(1).eof();
    out.push_back({"photo_channels", 0, b});
  }
  {  // Millimetre correction and wet/dry records in regime 8.
    ImageBuilder b;
    b.dive_start(8, kDive, 100).u16(123).u8(255).step(1).u8(7).wetdry(1).step(1).u8(0).eof();
    out.push_back({"regime_8", 0, b});
  }
  {  // A forced-absolute tag: every value two bytes, a high byte of 0xFA allowed.
    ImageBuilder b;
    b.info(info_of(132)).dive_start(1, kDive, 100).u16(100).u16(6000);
    b.forced(105).forced(5998).raw({0xFA, 0x07}).forced(6001).gps(kDive, {}).forced(7).forced(6002);
    b.info(info_of(134)).step(1).step(1).eof();
    out.push_back({"forced_absolute", 0, b});
  }
  {  // CTD masks: presets and sensor bits, an old tag's photo columns, a light sentinel.
    ImageBuilder b;
    b.info(info_of(160));
    std::vector<std::uint16_t> s{900, 23000, 32200, 0xFFF2};
    b.ctd_start(0x0C, kCast, 100, 600, s);
    ctd_samples(b, s, {{930, 23100, 32000, 14000}, {960, 23000, 32100, 0xFFF2}});
    b.ctd_end();
    for (std::uint8_t mask : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
      std::vector<std::uint16_t> first{900, 23000, 32200};
      if (mask >= 2 && mask <= 5) first.push_back(1000);
      b.ctd_start(mask, kCast, 50, 600, first).step(1).step(1).step(1);
      if (first.size() == 4) b.step(1);
      b.ctd_end();
    }
    b.info(info_of(150));
    std::vector<std::uint16_t> photo{900, 23000, 32200, 1, 2, 3};
    b.ctd_start(0x0C, kCast, 100, 600, photo).step(1).step(1).step(1).step(1).step(1).step(1).ctd_end();
    b.ctd_start(0x1F, kCast, 100, 600, {900, 23000, 32200, 1, 2, 3, 4, 5, 6}).ctd_end().eof();
    out.push_back({"ctd_masks", 0, b});
  }
  {  // A CTD start nested in a profile; the outer profile goes on after the inner one ends.
    ImageBuilder b;
    std::vector<std::uint16_t> outer{900, 23000, 32200};
    b.ctd_start(0, kCast, 100, 650, outer);
    ctd_samples(b, outer, {{930, 23100, 32000}});
    b.step(10).ctd_start(2, kCast, 50, 600, {800, 20000, 30000, 1000}).step(1).step(1).step(1).step(1);
    b.ctd_end().step(1).step(1).step(-3).step(2).ctd_end().eof();
    out.push_back({"ctd_in_ctd", 0, b});
  }
  {  // Bursts: blocks joined and split, a burst in a burst, a long burst with warnings.
    ImageBuilder b;
    b.info(info_of(170)).dive_start(2, kDive, 100).u16(50);
    b.acc_start(256, 256, 4096).step(1).step(1).step(1).acc_end();
    b.step(1).acc_start(1, 2, 3).acc_start(9, 9, 9).step(1).step(1).step(1).acc_end().step(1).step(1).step(1);
    b.acc_end().step(1);
    b.acc_start(0, 0, 0);
    for (int i = 0; i < 60; ++i) b.step(1).step(-1).step(0);
    b.acc_end().eof();
    out.push_back({"bursts", 0, b});
  }
  {  // 24 bursts of 90 samples back to back in one dive sample: the 24th finds more than 2000
     // pending and writes the block out first. Also long enough for progress reports.
    ImageBuilder b;
    b.dive_start(2, kDive, 100).u16(50);
    for (int k = 0; k < 24; ++k) {
      b.acc_start(256, 256, 256);
      for (int i = 1; i < 90; ++i) b.step(1).step(-1).step(0);
      b.acc_end();
    }
    out.push_back({"full_block", 0, b.step(1).eof()});
  }
  {  // A burst of 100 samples: the run fails and stops.
    ImageBuilder b;
    b.dive_start(2, kDive, 100).u16(50).acc_start(0, 0, 0);
    for (int i = 0; i < 100; ++i) b.step(1).step(1).step(1);
    ImageBuilder plain = b;
    out.push_back({"burst_overflow", 0, plain.acc_end().eof()});
    b.acc_end().dive_start(2, kDive, 100).u16(60).step(1).eof();
    out.push_back({"burst_overflow_recover", 2, b});
    out.push_back({"burst_overflow_outputs", 4, b});
  }
  {  // Snapshots of 0, 33 and 40 entries, one of them inside a burst.
    std::vector<GpsEntry> many;
    for (int i = 0; i < 40; ++i) many.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint16_t>(i * 0x101)});
    ImageBuilder b;
    b.gps(kDive, {}).gps(kDive, std::vector<GpsEntry>(many.begin(), many.begin() + 33)).gps(kDive, many);
    b.acc_start(1, 1, 1).gps({2026, 13, 0, 25, 61, 61}, {{5, 10}}).step(1).step(1).step(1).acc_end().eof();
    out.push_back({"gps", 0, b});
  }
  {  // 0xF9 and 0xFD end the stream that meets them after a cut-short burst or profile.
    ImageBuilder b;
    b.dive_start(2, kDive, 100).u16(50).step(1);
    b.ctd_start(0, kCast, 100, 600, {900, 23000, 32200}).step(1).step(1).step(1);
    b.acc_start(5, 5, 5).step(1).step(1).step(1);
    b.dive_start(2, kDive, 100).u16(60).step(1).acc_end().step(1);
    b.dive_start(2, kDive, 100).u16(70).step(1).ctd_end().eof();
    out.push_back({"ends_after_cut_streams", 0, b});
  }
  {  // Information blocks: short, long, a zero accelerometer scale.
    InfoBlock small = info_of(173);
    small.size = 5;
    InfoBlock large = info_of(173);
    large.pressure_scale = 16384;
    large.size = 40;
    InfoBlock zero = info_of(175);
    zero.acc_counts_per_g = 0;
    ImageBuilder b;
    b.info(small).info(large).info(zero).raw({0xF6, 0x00}).eof();
    out.push_back({"info_blocks", 0, b});
  }
  {  // Unknown codes and regimes, filler, stray end codes, dates before 1970.
    ImageBuilder b;
    b.raw({0x00, 0xF7, 0xFF}).dive_start(2, {1960, 0, 0, 0, 0, 60, 0}, 100).u16(1);
    b.raw({0xF1, 0x01, 0xF3, 0x01, 0xF9, 0x01, 0xFD, 0x01}).dive_start(4, kDive, 100).raw({0x01, 0x02});
    out.push_back({"unknown_codes_and_regimes", 0, b});
    ImageBuilder c;
    c.gps(kDive, {}).code(0xF4).eof();
    out.push_back({"unknown_code", 0, c});
    out.push_back({"unknown_codes_and_regimes_recover", 2, b});
    // A stray end code inside a dive, then a profile and a dive to restart at.
    ImageBuilder d;
    d.dive_start(2, kDive, 100).u16(50).step(1).code(0xFF).step(1).ctd_start(0, kCast, 100, 600, {900, 23000, 32200});
    d.step(1).step(1).step(1).ctd_end().step(2).dive_start(2, kDive, 100).u16(60).step(1).eof().raw({0xFF, 0xFF});
    out.push_back({"stray_end_recover", 3, d});
    out.push_back({"stray_end_recover_outputs", 2 | 4, d});
  }
  {  // An image that ends inside every kind of record: the nested dive cut at several places.
    const ImageBuilder whole = nested_dive();
    for (std::size_t cut : {3u, 30u, 45u, 70u, 95u, 110u, 140u}) {
      if (cut >= whole.size()) continue;
      ImageBuilder b;
      b.raw(std::vector<std::uint8_t>(whole.bytes().begin(), whole.bytes().begin() + static_cast<std::ptrdiff_t>(cut)));
      out.push_back({"cut_" + std::to_string(cut), 0, b});
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skelv-make-fuzz-seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const Seed& seed : seeds()) {
    ImageBuilder file;
    file.u8(seed.control).raw(seed.image.bytes());
    file.write_to((folder / (seed.name + ".bin")).string());
  }
  return 0;
}
