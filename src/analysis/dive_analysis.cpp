#include "analysis/dive_analysis.h"

#include <cmath>

namespace skelv::analysis {
void analysis_reset(DiveAnalysis& a, const DiveSettings& settings, DiveSink dives, void* dives_context,
                    CorrectedSink samples, void* samples_context) {
  zoc_reset(a.zoc, settings.zoc, samples, samples_context, &a.detector);
  detector_reset(a.detector, settings.threshold_m, dives, dives_context, settings.min_duration_s);
}

void analysis_break(DiveAnalysis& a) { zoc_break(a.zoc); }

void analysis_finish(DiveAnalysis& a) {
  zoc_finish(a.zoc);
  detector_finish(a.detector);
}

void haulout_clock_sample(HauloutClock& c, double t, double depth_m) {
  if (!std::isfinite(t)) return;
  c.dated = true;
  if (depth_m > 0) {
    c.wet = true;
    c.last_wet = t;
  }
}

HauloutSpan haulout_span(const HauloutClock& c, double tag_start, double tag_end) {
  HauloutSpan h;
  h.end = tag_end;
  if (!c.dated) return h;
  h.start_known = true;
  h.start = c.wet && c.last_wet > tag_start ? c.last_wet : tag_start;
  if (h.end < h.start) h.end = h.start;
  return h;
}

}  // namespace skelv::analysis
