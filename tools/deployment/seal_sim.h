// A realistic seal deployment as a tag image, with the dives that its depth record truly holds.
//
// The animal alternates wet periods at sea with haul-outs. At sea it dives in bouts separated by
// rests at the surface; its dives are U-shaped (a bottom phase with small excursions) or
// V-shaped, deeper by day than by night. Before a haul-out and after it, it swims at the surface
// for a few minutes. The pressure sensor reads the true depth plus a surface offset of 0 to 3 m
// that drifts slowly with noise (and shifts a little at each haul-out), plus noise of a few
// centimetres, in tenths of a metre; now and then a reading at the surface drops to 0. With
// regime 1 the tag also records temperature (with a lag), and a temperature stream in the air
// of each haul-out. CTD casts are taken on the ascents of some deep dives, GPS snapshots at the
// surface. About half of the deployments open with a dry start before any time is known (a tag
// switched on ashore).
//
// The true dives are those of the sampled true depth (no offset, no noise): the runs of samples
// deeper than the threshold within one wet period, with the first and last such sample and the
// greatest true depth among them. That is what a dive table of a perfect sensor would show.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace skelv::sim {

struct SimSettings {
  std::uint32_t seed = 1;
  double days = 2;
  int interval_s = 0;  // seconds between dive samples; 0: the seed picks 1, 2, 4, 5, 8, 10 or 16
  int regime = 0;      // 1 (depth and temperature) or 2 (depth); 0: the seed picks, mostly 1
  double threshold_m = 2;
};

struct TrueDive {
  double start = 0, end = 0;  // seconds since 1970 UTC: the first and last sample deeper than the threshold
  double max_depth = 0;       // metres
  char shape = 'U';           // 'U' or 'V'
};

struct SimDeployment {
  SimSettings settings;  // as used (interval and regime chosen)
  std::vector<std::uint8_t> image;
  std::vector<TrueDive> dives;
  double first_sample = 0, last_sample = 0;
  int haulouts = 0;
  int casts = 0;
  bool opens_dry = false;  // the image opens with a dry start before any dive start
  double min_offset = 0, max_offset = 0;  // the sensor's surface offset, metres
};

SimDeployment simulate(const SimSettings& settings);

// The truth file: a comment line with the settings, a header, one line per true dive.
void write_truth(std::FILE* out, const SimDeployment& d);

// "YYYY-MM-DD HH:MM:SS.mmm" (UTC) of seconds since 1970.
std::string utc_text(double t);

}  // namespace skelv::sim
