// Writes one valid tag image, or tells what a range of seeds covers.
//
//   skelv-valid-image SEED OUTPUT [--kind range|realistic] [--size BYTES[k]]
//                     [--end seed|erased|data|code|none] [--check SKELV]
//   skelv-valid-image --coverage FIRST_SEED COUNT [--kind range|realistic]
//
// --end: after the end-of-data code erased memory, other data or nothing; or no code at all
// (default: as the seed chooses). --check runs SKELV on the image and exits with 1 unless the run
// decodes it cleanly to the byte and with the data lines the generator meant.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runs/skelv_run.h"
#include "valid/valid_image.h"

namespace {

using namespace skelv::valid;

// Values of a bitset in `lo..hi` that are not set, as text ("all" when none is missing).
template <std::size_t N>
std::string missing(const std::bitset<N>& set, std::size_t lo, std::size_t hi) {
  std::string text;
  for (std::size_t i = lo; i <= hi; ++i) {
    if (set[i]) continue;
    if (!text.empty()) text += ' ';
    text += std::to_string(i);
  }
  return text.empty() ? "all" : "missing " + text;
}

void print_coverage(const Coverage& c) {
  std::printf("dive regimes 1,2,3,5,6,7,8: %s\n",
              (c.regimes.count() == 7 ? "all" : std::to_string(c.regimes.count()).c_str()));
  std::printf("dry starts after regimes 1,2,3,5,6,7,8 and none (9): %zu of 8\n",
              (c.dry_regimes & std::bitset<256>(0x3EEull)).count());
  std::printf("CTD masks 0..255: %s\n", missing(c.ctd_masks, 0, 255).c_str());
  std::printf("information block sizes 0..255: %s\n", missing(c.info_sizes, 0, 255).c_str());
  std::printf("GPS entries 0..40: %s; %zu counts above 40\n", missing(c.gps_entries, 0, 40).c_str(),
              (c.gps_entries >> 41).count());
  std::printf("burst samples 1..99: %s\n", missing(c.burst_samples, 1, 99).c_str());
  std::printf("photo channels 0..6: %s\n", missing(c.photo_channels, 0, 6).c_str());
  std::printf("deepest nesting: %d\n", c.deepest);
  static const char* const kStreams[] = {"dive", "CTD", "burst"};
  static const char* const kInline[] = {"GPS", "information", "wet/dry", "burst", "CTD"};
  for (int s = 0; s < kStreamKinds; ++s) {
    std::printf("in %s streams:", kStreams[s]);
    for (int k = 0; k < kInlineKinds; ++k) std::printf(" %s %s", kInline[k], c.nested[s][k] ? "yes" : "NO");
    std::printf("\n");
  }
  for (int f = 0; f < kFeatureCount; ++f) {
    std::printf("%s: %s\n", feature_name(static_cast<Feature>(f)), c.has(static_cast<Feature>(f)) ? "yes" : "NO");
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: skelv-valid-image SEED OUTPUT [--kind range|realistic] [--size BYTES[k]]\n"
               "                         [--end seed|erased|data|code|none] [--check SKELV]\n"
               "       skelv-valid-image --coverage FIRST_SEED COUNT [--kind range|realistic]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const bool coverage = std::strcmp(argv[1], "--coverage") == 0;
  const int first_option = coverage ? 4 : 3;
  if (argc < first_option) return usage();
  ImageOptions options;
  std::string check;
  for (int i = first_option; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    if (arg == "--kind" && parse_kind(argv[i + 1], options.kind)) {
      ++i;
    } else if (arg == "--size") {
      char* unit = nullptr;
      options.size = std::strtoull(argv[++i], &unit, 10) * (*unit == 'k' ? 1024 : 1);
    } else if (arg == "--end" && parse_ending(argv[i + 1], options.ending)) {
      ++i;
    } else if (arg == "--check" && !coverage) {
      check = argv[++i];
    } else {
      return usage();
    }
  }
  if (coverage) {
    const unsigned long long first = std::strtoull(argv[2], nullptr, 10), count = std::strtoull(argv[3], nullptr, 10);
    Coverage all;
    for (unsigned long long s = first; s < first + count; ++s) all.merge(make_valid_image(s, options).coverage);
    std::printf("%llu %s images from seed %llu\n", count, kind_name(options.kind), first);
    print_coverage(all);
    return 0;
  }
  const ValidImage image = make_valid_image(std::strtoull(argv[1], nullptr, 10), options);
  skelv::runs::write_image(argv[2], image.bytes);
  const Expected& e = image.expected;
  std::printf(
      "wrote %zu bytes (%s) to %s: decodes to byte %llu; data lines: %llu TDR, %llu CTD, %llu GPS, %llu accel\n",
      image.bytes.size(), kind_name(options.kind), argv[2], static_cast<unsigned long long>(e.end),
      static_cast<unsigned long long>(e.tdr), static_cast<unsigned long long>(e.ctd),
      static_cast<unsigned long long>(e.gps), static_cast<unsigned long long>(e.acc));
  if (check.empty()) return 0;
  const std::string problem =
      skelv::runs::clean_run_problem(e, skelv::runs::run_skelv(check, argv[2], {}, skelv::runs::text_suffixes()));
  if (problem.empty()) return 0;
  std::fprintf(stderr, "%s: not decoded cleanly: %s\n", argv[2], problem.c_str());
  return 1;
}
