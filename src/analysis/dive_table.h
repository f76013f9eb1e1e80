// The table of dives of a depth series, found while the samples stream past.
//
// A dive begins at the first sample deeper than the threshold and ends at the last sample deeper
// than it before the depth comes back to the threshold or above. A break (haul-out, dry start),
// a gap in time, a time that goes back or the end of the data ends a dive in progress there and
// marks it as cut at its end; a dive whose first sample follows such a break directly began
// unseen and is cut at its start. The surface interval runs from a dive's end to the start of
// the next dive only when no break lies between them. Dives shorter than a minimum duration are
// left out (and counted): the surface interval then runs to the next dive that is kept.
//
// Times are taken to the millisecond, depths to the millimetre and temperatures to the
// hundredth of a degree, as the TDR lines print them, so the samples of a TDR file and the
// samples that wrote it give the same dives.
//
// Memory is bounded: the samples of the dive in progress are kept (at most kMaxDiveSamples) to
// find its bottom phase once its maximum is known; a longer dive keeps its start, end and
// maximum, and leaves its bottom time, rates and bottom temperature unknown.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace skelv::analysis {

inline constexpr double kDefaultDiveThreshold = 2.0;  // metres
// A time step longer than this many sampling intervals (the step before it), or one that does
// not go forward, is a gap in the series.
inline constexpr std::int64_t kGapIntervals = 3;
inline constexpr std::size_t kMaxDiveSamples = std::size_t{1} << 16;
// The bottom phase lies at or below this fraction of the maximum depth (as fifths: 4/5).
inline constexpr std::int64_t kBottomFifths = 4;

// One row of the table. Times in milliseconds since 1970-01-01 00:00:00 UTC, depths in mm.
struct Dive {
  std::uint64_t number = 0;  // from 1
  std::int64_t start_ms = 0;
  std::int64_t end_ms = 0;
  std::int32_t max_depth_mm = 0;
  std::int64_t max_depth_ms = 0;  // first sample at the maximum
  bool has_bottom = false;         // bottom time known
  std::int64_t bottom_ms = 0;
  bool has_descent_time = false;   // from the first sample to the first bottom sample
  std::int64_t descent_ms = 0;
  bool has_descent = false;        // rate known: a descent time above 0
  double descent_rate = 0;         // m/s
  bool has_ascent_time = false;    // from the last bottom sample to the last sample
  std::int64_t ascent_ms = 0;
  bool has_ascent = false;
  double ascent_rate = 0;  // m/s
  bool has_temp = false;
  std::int32_t bottom_temp_centi = 0;  // mean over the bottom phase, rounded, 0.01 C
  bool has_surface = false;            // a next dive in the same stretch of samples
  std::int64_t surface_ms = 0;         // to the next dive's start
  bool start_cut = false;              // began unseen, right after a break
  bool end_cut = false;                // ended by a break
  bool cut = false;                    // start_cut or end_cut
};

using DiveSink = void (*)(void* context, const Dive& dive);

struct DiveSample {
  std::int64_t t_ms;
  std::int32_t depth_mm;
  std::int32_t temp_centi;  // kNoTemp when the sample has none
};
inline constexpr std::int32_t kNoTemp = INT32_MIN;

namespace detail {
// Times a TDR line can show: the years 0 to 9999.
inline constexpr double kFirstSecond = -62167219200.0;
inline constexpr double kEndSecond = 253402300800.0;
inline constexpr double kMaxMagnitude = 1e6;  // depths (m) and temperatures (C) beyond this are skipped

// Rounded half up; values within the range checked by the callers. (A cast and a compare in
// place of floor, which is a library call on plain x86-64: this runs once per sample.)
inline std::int32_t round_scaled(double v, double scale) {
  const double x = v * scale + 0.5;
  auto i = static_cast<std::int32_t>(x);
  if (static_cast<double>(i) > x) --i;
  return i;
}
}  // namespace detail

// Milliseconds of a time in seconds, rounded half up as the TDR lines print it.
inline std::int64_t to_ms(double t) {
  auto whole = static_cast<std::int64_t>(t);
  if (static_cast<double>(whole) > t) --whole;
  return whole * 1000 + static_cast<std::int64_t>(1000.0 * (t - static_cast<double>(whole)) + 0.5);
}

// A sample as a TDR line shows it: time to the millisecond (rounded half up), depth to the
// millimetre and temperature to the hundredth. False, and `out` untouched, when the time or depth
// is not a finite value a line can show (a temperature that can't be shown is left out).
// (Inline: it runs once per sample.)
inline bool sample_of(double t, double depth_m, bool has_temp, double temp_c, DiveSample& out) {
  using namespace detail;
  if (!(t >= kFirstSecond && t < kEndSecond) || !(depth_m < kMaxMagnitude && depth_m > -kMaxMagnitude)) return false;
  out = DiveSample{to_ms(t), round_scaled(depth_m, 1000.0), kNoTemp};
  if (has_temp && temp_c < kMaxMagnitude && temp_c > -kMaxMagnitude) out.temp_centi = round_scaled(temp_c, 100.0);
  return true;
}

struct DiveDetector {
  std::int32_t threshold_mm = 2000;
  std::int64_t min_duration_ms = 0;
  DiveSink sink = nullptr;
  void* context = nullptr;

  // The series.
  bool has_last = false;
  std::int64_t last_ms = 0;
  std::int64_t interval_ms = 0;  // 0: the next step is taken as the interval
  bool after_break = true;       // no shallow sample since the start or the last cut

  // The dive in progress.
  bool in_dive = false;
  bool cut_at_start = false;
  Dive current;
  std::int64_t last_deep_ms = 0;
  bool overflow = false;
  std::vector<DiveSample> samples;

  // The last dive kept, held back until the next one is kept or a break comes (for its surface
  // interval).
  bool pending = false;
  Dive held;

  std::uint64_t dives = 0;    // dives kept so far
  std::uint64_t dropped = 0;  // dives shorter than min_duration_ms
  bool finished = false;
};

// Starts a table with `threshold_m` (metres); dives shorter than `min_duration_s` are dropped;
// kept dives go to `sink(context, dive)`.
void detector_reset(DiveDetector& d, double threshold_m, DiveSink sink, void* context, double min_duration_s = 0);
// One sample in time order, as sample_of gives it.
void detector_take(DiveDetector& d, DiveSample s);
// One sample in time order: `t` seconds since 1970 UTC, depth in metres, temperature in C when
// `has_temp`. Samples whose time or depth is not a finite value a TDR line can show are skipped.
void detector_sample(DiveDetector& d, double t, double depth_m, bool has_temp, double temp_c);
// A break in the series (haul-out, dry start): a dive in progress ends here as cut.
void detector_cut(DiveDetector& d);
// The end of the data: ends a dive in progress as cut and hands out the last dive.
void detector_finish(DiveDetector& d);

}  // namespace skelv::analysis
