// Writes a deterministic mixed tag image of about the requested size for benchmarks:
// by bytes about 60 % dive samples (regimes 7 and 1), 25 % CTD profiles with 2 to 4 auxiliary
// columns, 10 % accelerometer bursts and the rest GPS snapshots, information and wet/dry
// records, with bursts, profiles and snapshots standing inside the dive streams.
//
//   skelv-make-bench-image OUTPUT SIZE_MIB [SEED]
//
// SIZE_MIB may end in k for KiB (smaller images for the damage benchmark); SEED (default 78)
// gives another image of the same kind.
#include <cstdio>
#include <cstdlib>
#include <random>

#include "encoder/image_builder.h"

namespace {

using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::TagTime;

// A channel that wanders by small steps, with now and then a jump sent as an escape.
struct Channel {
  std::uint16_t value;
  std::uint16_t low, high;
  void next(ImageBuilder& out, std::mt19937& rng) {
    std::uniform_int_distribution<int> d(-20, 20);
    int target = value + d(rng);
    if (rng() % 64 == 0) target = low + static_cast<int>(rng() % (high - low + 1u));
    if (target < low) target = low;
    if (target > high) target = high;
    out.change(value, static_cast<std::uint16_t>(target));
    value = static_cast<std::uint16_t>(target);
  }
};

TagTime at(long long seconds) {
  // Days from 2021-01-01 with 28-day months: valid dates are all the image needs.
  TagTime t;
  long long day = seconds / 86400;
  t.year = 2021 + static_cast<int>(day / 336);
  t.month = 1 + static_cast<int>(day / 28 % 12);
  t.day = 1 + static_cast<int>(day % 28);
  t.hour = static_cast<int>(seconds / 3600 % 24);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

void burst(ImageBuilder& out, std::mt19937& rng) {
  Channel x{4096, 3000, 5200}, y{4096, 3000, 5200}, z{4352, 3000, 5200};
  out.acc_start(x.value, y.value, z.value);
  const int n = 20 + static_cast<int>(rng() % 25);
  for (int i = 1; i < n; ++i) {
    x.next(out, rng);
    y.next(out, rng);
    z.next(out, rng);
  }
  out.acc_end();
}

void profile(ImageBuilder& out, std::mt19937& rng, long long t) {
  // Masks with 2, 3 and 4 auxiliary columns (version 170: 0x04 is one PPFD column).
  static const std::uint8_t kMasks[] = {0x0B, 0x13, 0x17};
  static const int kAux[] = {2, 3, 4};
  const int m = static_cast<int>(rng() % 3);
  std::vector<Channel> ch = {{1200, 600, 30000}, {20000, 8000, 40000}, {30000, 20000, 45000}};
  for (int i = 0; i < kAux[m]; ++i) ch.push_back({20000, 0, 60000});
  std::vector<std::uint16_t> first;
  for (const Channel& c : ch) first.push_back(c.value);
  out.ctd_start(kMasks[m], at(t), 50, 600, first);
  const int n = 60 + static_cast<int>(rng() % 60);
  for (int i = 0; i < n; ++i) {
    for (Channel& c : ch) c.next(out, rng);
  }
  out.ctd_end();
}

void dive(ImageBuilder& out, std::mt19937& rng, long long& t) {
  const bool regime7 = rng() % 3 != 0;
  out.dive_start(regime7 ? 7 : 1, at(t), 100);
  Channel depth{50, 0, 20000}, temp{5700, 5400, 6000}, odo{0, 0, 60000};
  Channel mx{200, 0, 400}, my{65500, 65000, 65535}, mz{300, 0, 600};
  auto opening = [&] {
    out.u16(depth.value).u16(temp.value);
    if (regime7) out.u16(odo.value).u16(mx.value).u16(my.value).u16(mz.value).u8(12);
  };
  opening();
  const int samples = 600 + static_cast<int>(rng() % 300);
  for (int i = 0; i < samples; ++i) {
    depth.next(out, rng);
    temp.next(out, rng);
    if (regime7) {
      odo.next(out, rng);
      mx.next(out, rng);
      my.next(out, rng);
      mz.next(out, rng);
      out.u8(static_cast<std::uint8_t>(10 + rng() % 5));
    }
    // Records inside the stream, between two samples.
    if (i % 40 == 20) burst(out, rng);
    if (i % 150 == 75) profile(out, rng, t + i);
    if (i % 300 == 150) out.gps(at(t + i), {{7, 0x1234}, {9, 0xBEEF}, {11, 0x0042}});
    if (i % 200 == 100) out.wetdry(static_cast<std::uint8_t>(rng() % 2));
  }
  t += samples + 600;
  out.dry_start(100);
  if (!regime7) {
    // Regime 1 carries a temperature stream through the haul-out, opened by an absolute value.
    out.u16(temp.value);
    for (int i = 0; i < 100; ++i) temp.next(out, rng);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: skelv-make-bench-image OUTPUT SIZE_MIB [SEED]\n");
    return 2;
  }
  char* unit = nullptr;
  const long long size = std::strtoll(argv[2], &unit, 10);
  const long long target = size * (*unit == 'k' ? 1024LL : 1024LL * 1024LL);
  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::mt19937 rng(argc == 4 ? static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 78u);
  long long written = 0;
  long long t = 0;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 50;
  while (written < target) {
    ImageBuilder chunk;
    chunk.info(info);
    for (int i = 0; i < 20; ++i) dive(chunk, rng, t);
    if (written + static_cast<long long>(chunk.size()) >= target) chunk.eof();
    std::fwrite(chunk.bytes().data(), 1, chunk.size(), f);
    written += static_cast<long long>(chunk.size());
  }
  std::fclose(f);
  std::printf("wrote %lld bytes to %s\n", written, argv[1]);
  return 0;
}
