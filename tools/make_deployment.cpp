// Writes a realistic seal deployment as a tag image, and the dives its depth record truly holds.
//
//   skelv-make-deployment IMAGE TRUTH [--seed N] [--days D] [--interval S] [--regime R]
//                         [--threshold M]
//
// The seed (default 1) picks the deployment; the interval (1 to 60 s) and the regime (1: depth
// and temperature, 2: depth) are picked by the seed unless given; the true dives are those
// deeper than the threshold (default 2 m). See tools/deployment/seal_sim.h.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "deployment/seal_sim.h"

int main(int argc, char** argv) {
  skelv::sim::SimSettings settings;
  bool usable = argc >= 3;
  for (int i = 3; usable && i < argc; i += 2) {
    usable = i + 1 < argc;
    if (!usable) break;
    const char* v = argv[i + 1];
    if (std::strcmp(argv[i], "--seed") == 0) {
      settings.seed = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (std::strcmp(argv[i], "--days") == 0) {
      settings.days = std::atof(v);
      usable = settings.days > 0 && settings.days <= 1000;
    } else if (std::strcmp(argv[i], "--interval") == 0) {
      settings.interval_s = std::atoi(v);
      usable = settings.interval_s >= 1 && settings.interval_s <= 60;
    } else if (std::strcmp(argv[i], "--regime") == 0) {
      settings.regime = std::atoi(v);
      usable = settings.regime == 1 || settings.regime == 2;
    } else if (std::strcmp(argv[i], "--threshold") == 0) {
      settings.threshold_m = std::atof(v);
      usable = settings.threshold_m >= 0;
    } else {
      usable = false;
    }
  }
  if (!usable) {
    std::fprintf(stderr,
                 "usage: skelv-make-deployment IMAGE TRUTH [--seed N] [--days D] [--interval S] [--regime R] "
                 "[--threshold M]\n");
    return 2;
  }
  const skelv::sim::SimDeployment d = skelv::sim::simulate(settings);
  std::FILE* image = std::fopen(argv[1], "wb");
  std::FILE* truth = std::fopen(argv[2], "w");
  if (image == nullptr || truth == nullptr) {
    std::perror(image == nullptr ? argv[1] : argv[2]);
    return 1;
  }
  bool written = std::fwrite(d.image.data(), 1, d.image.size(), image) == d.image.size();
  skelv::sim::write_truth(truth, d);
  written = std::fclose(image) == 0 && written;
  written = std::fclose(truth) == 0 && written;
  if (!written) {
    std::fprintf(stderr, "skelv-make-deployment: write error\n");
    return 1;
  }
  std::printf("wrote %zu bytes to %s: %g days from %s, a sample every %d s, regime %d, %zu true dives, "
              "%d haul-outs%s, %d CTD casts, surface offset %.2f to %.2f m\n",
              d.image.size(), argv[1], d.settings.days, skelv::sim::utc_text(d.first_sample).c_str(),
              d.settings.interval_s, d.settings.regime, d.dives.size(), d.haulouts,
              d.opens_dry ? " (and a dry start before any time was known)" : "", d.casts, d.min_offset, d.max_offset);
  return 0;
}
