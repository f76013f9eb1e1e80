#include "analysis/dive_table.h"

#include <cmath>

namespace skelv::analysis {
namespace {

using detail::kMaxMagnitude;
using detail::round_scaled;

// Fills in the bottom phase, the phases' durations and rates and the temperature of `dive` from
// the samples kept. Nothing of the descent for a dive cut at its start, nothing of the ascent for
// one cut at its end.
void measure(DiveDetector& d, Dive& dive) {
  if (d.overflow || d.samples.empty()) return;
  const std::vector<DiveSample>& s = d.samples;
  const std::int64_t max5 = std::int64_t{dive.max_depth_mm} * kBottomFifths;
  std::size_t first = 0;
  while (std::int64_t{s[first].depth_mm} * 5 < max5) ++first;
  std::size_t last = s.size() - 1;
  while (std::int64_t{s[last].depth_mm} * 5 < max5) --last;
  dive.has_bottom = true;
  dive.bottom_ms = s[last].t_ms - s[first].t_ms;
  if (!dive.start_cut) {
    dive.has_descent_time = true;
    dive.descent_ms = s[first].t_ms - s[0].t_ms;
    if (dive.descent_ms > 0) {
      dive.has_descent = true;
      dive.descent_rate = static_cast<double>(s[first].depth_mm - s[0].depth_mm) / static_cast<double>(dive.descent_ms);
    }
  }
  const DiveSample& end = s.back();
  if (!dive.end_cut) {
    dive.has_ascent_time = true;
    dive.ascent_ms = end.t_ms - s[last].t_ms;
    if (dive.ascent_ms > 0) {
      dive.has_ascent = true;
      dive.ascent_rate = static_cast<double>(s[last].depth_mm - end.depth_mm) / static_cast<double>(dive.ascent_ms);
    }
  }
  std::int64_t sum = 0, n = 0;
  for (std::size_t i = first; i <= last; ++i) {
    if (s[i].temp_centi == kNoTemp) continue;
    sum += s[i].temp_centi;
    ++n;
  }
  if (n > 0) {
    dive.has_temp = true;
    // Mean rounded half up, also below zero.
    const double mean = static_cast<double>(sum) / static_cast<double>(n);
    dive.bottom_temp_centi = static_cast<std::int32_t>(std::floor(mean + 0.5));
  }
}

// Hands out the dive held back, with its surface interval when `next` is the next dive kept.
void release_held(DiveDetector& d, const Dive* next) {
  if (!d.pending) return;
  d.pending = false;
  if (next != nullptr) {
    d.held.has_surface = true;
    d.held.surface_ms = next->start_ms - d.held.end_ms;
  }
  if (d.sink != nullptr) d.sink(d.context, d.held);
}

void begin_dive(DiveDetector& d, const DiveSample& s) {
  d.in_dive = true;
  d.cut_at_start = d.after_break;
  d.overflow = false;
  d.samples.clear();
  d.current = Dive{};
  d.current.start_ms = s.t_ms;
  d.current.max_depth_mm = s.depth_mm;
  d.current.max_depth_ms = s.t_ms;
}

void keep(DiveDetector& d, const DiveSample& s) {
  if (s.depth_mm > d.current.max_depth_mm) {
    d.current.max_depth_mm = s.depth_mm;
    d.current.max_depth_ms = s.t_ms;
  }
  d.last_deep_ms = s.t_ms;
  if (d.samples.size() < kMaxDiveSamples) {
    d.samples.push_back(s);
  } else {
    d.overflow = true;
  }
}

void end_dive(DiveDetector& d, bool cut) {
  if (!d.in_dive) return;
  d.in_dive = false;
  Dive& dive = d.current;
  dive.end_ms = d.last_deep_ms;
  if (dive.end_ms - dive.start_ms < d.min_duration_ms) {
    ++d.dropped;
    return;
  }
  dive.number = ++d.dives;
  dive.start_cut = d.cut_at_start;
  dive.end_cut = cut;
  dive.cut = dive.start_cut || dive.end_cut;
  measure(d, dive);
  release_held(d, &dive);
  d.held = dive;
  d.pending = true;
}

}  // namespace

void detector_reset(DiveDetector& d, double threshold_m, DiveSink sink, void* context, double min_duration_s) {
  std::vector<DiveSample> samples = std::move(d.samples);
  samples.clear();
  d = DiveDetector{};
  d.samples = std::move(samples);
  // Below the surface only: a dive's samples then all lie deeper than 0, and so its bottom.
  d.threshold_mm = std::isfinite(threshold_m) && threshold_m >= 0 && threshold_m < kMaxMagnitude
                       ? round_scaled(threshold_m, 1000.0)
                       : round_scaled(kDefaultDiveThreshold, 1000.0);
  if (min_duration_s > 0 && min_duration_s < kMaxMagnitude) d.min_duration_ms = to_ms(min_duration_s);
  d.sink = sink;
  d.context = context;
}

void detector_take(DiveDetector& d, DiveSample s) {
  if (d.finished) return;
  if (d.has_last) {
    const std::int64_t step = s.t_ms - d.last_ms;
    if (step <= 0 || (d.interval_ms > 0 && step > kGapIntervals * d.interval_ms)) {
      detector_cut(d);
    } else {
      d.interval_ms = step;
    }
  }
  d.has_last = true;
  d.last_ms = s.t_ms;

  if (s.depth_mm > d.threshold_mm) {
    if (!d.in_dive) begin_dive(d, s);
    keep(d, s);
  } else {
    end_dive(d, false);
    d.after_break = false;
  }
}

void detector_sample(DiveDetector& d, double t, double depth_m, bool has_temp, double temp_c) {
  DiveSample s;
  if (sample_of(t, depth_m, has_temp, temp_c, s)) detector_take(d, s);
}

void detector_cut(DiveDetector& d) {
  if (d.finished) return;
  end_dive(d, true);
  release_held(d, nullptr);
  d.has_last = false;
  d.interval_ms = 0;
  d.after_break = true;
}

void detector_finish(DiveDetector& d) {
  if (d.finished) return;
  detector_cut(d);
  d.finished = true;
  d.samples.clear();
  d.samples.shrink_to_fit();
}

}  // namespace skelv::analysis
