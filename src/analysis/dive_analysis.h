// The dive analysis of a run: the zero-offset correction of the depths, then the dive table of
// the corrected depths, as one stream of samples and breaks. Skelv -dives (and the NetCDF dives
// file) feeds it the decoded samples, the quick look the lines of the TDR file; both give the
// same dives.
//
// Where derived outputs put a haul-out (HauloutClock): the tag estimates its start as 60 s before
// two sampling intervals after the last dive sample, which may fall among samples that show the
// animal still under water. The samples win: the haul-out begins no earlier than the last sample
// before it that reads deeper than 0 m. A haul-out met before any dive sample began before the
// tag's clock was set: its start is unknown.
#pragma once
#include <cstdint>

#include "analysis/dive_table.h"
#include "analysis/zero_offset.h"

namespace skelv::analysis {

// Everything the dive switches set (-dive-threshold, -dive-min-duration, -zoc and its tuning).
struct DiveSettings {
  double threshold_m = kDefaultDiveThreshold;
  double min_duration_s = 0;
  ZocSettings zoc;
};

struct DiveAnalysis {
  ZeroOffset zoc;  // hands every item to its sink (the caller's, may be null), then to the detector
  DiveDetector detector;
};

// Starts an analysis with `settings`: the dives go to `dives(dives_context, dive)`; each sample
// (and break), with its corrected depth, to `samples(samples_context, item)` when given, before
// the detector takes it.
void analysis_reset(DiveAnalysis& a, const DiveSettings& settings, DiveSink dives, void* dives_context,
                    CorrectedSink samples = nullptr, void* samples_context = nullptr);
// One dive sample in stream order: `t` seconds since 1970 UTC, depth in metres as read,
// temperature in C when `has_temp`; `tag` comes back with it. Samples whose time or depth no TDR
// line can show come back as kInvalid and take no part.
// (Inline: it runs once per sample.)
inline void analysis_sample(DiveAnalysis& a, double t, double depth_m, bool has_temp, double temp_c,
                            std::uint32_t tag = kNoTag) {
  DiveSample s{0, 0, kNoTemp};
  const bool valid = sample_of(t, depth_m, has_temp, temp_c, s);
  // Without correction and without a sink for the samples, straight to the detector.
  if (a.zoc.settings.mode == ZocMode::kNone && a.zoc.sink == nullptr) {
    if (valid) detector_take(a.detector, s);
    return;
  }
  zoc_sample(a.zoc, valid, s.t_ms, s.depth_mm, s.temp_centi, tag);
}
// A haul-out or dry start.
void analysis_break(DiveAnalysis& a);
// The end of the data: every sample held comes out, then the last dive.
void analysis_finish(DiveAnalysis& a);

struct HauloutClock {
  bool dated = false;     // a dive sample was seen: the tag's clock was set
  bool wet = false;       // a sample deeper than 0 m was seen
  double last_wet = 0;    // its time
};

// Every dive sample as read (before any correction), in stream order.
void haulout_clock_sample(HauloutClock& c, double t, double depth_m);

struct HauloutSpan {
  bool start_known = false;
  double start = 0;  // when start_known
  double end = 0;
};

// The haul-out that the tag gives as [tag_start, tag_end], as derived outputs show it. An end
// that a clock set back puts before the start becomes the start.
HauloutSpan haulout_span(const HauloutClock& c, double tag_start, double tag_end);

}  // namespace skelv::analysis
