// Zero-offset correction of a depth series: the pressure sensor's reading at the surface drifts
// away from 0 m, and a dive table of the raw depths would take that offset for depth.
//
// With a fixed offset every depth loses it. With the estimate, the surface level is found in the
// record itself by two running filters over the samples of one wet stretch: a short running
// median over a few samples removes spikes; then a low quantile (about the 2nd percentile) of
// the filtered depths that lie within a band around 0 m, over a window of hours centred on each
// sample, is the surface level at that sample. A wet stretch ends at a break (haul-out, dry
// start), at a time step longer than kGapIntervals sampling intervals, and at a step that does
// not go forward; so dry periods and gaps take no part, and the sensor's level after a haul-out
// is found anew. The samples of a dry period's temperature stream (depth 0, beginning at or
// before the time of the sample before them, up to a break or a depth other than 0) take no part
// either, and come out marked as such (`dry`, in every mode). Before a stretch has a filtered depth
// in the band, the last level found holds (0 m at first).
//
// Every sample and break comes out again, in order, with the offset subtracted (depths that end
// up below 0 become 0). With the estimate a sample comes out once the window after it has been
// read or its stretch has ended: at most half a window later, and never later than
// kMaxZocEntries samples. Without it every item comes out at once.
//
// Times are in milliseconds and depths in millimetres, as the TDR lines print them, so the same
// lines give the same corrected depths whichever program reads them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/dive_table.h"

namespace skelv::analysis {

enum class ZocMode : std::uint8_t { kNone, kFixed, kAuto };

// What the switches -zoc, -zoc-median, -zoc-window, -zoc-quantile and -zoc-band set.
struct ZocSettings {
  ZocMode mode = ZocMode::kNone;
  double offset_m = 0;     // kFixed: subtracted from every depth
  int median_samples = 5;  // kAuto: samples of the spike filter (odd)
  double window_h = 3;     // kAuto: length of the quantile's window, centred on the sample
  double quantile_pct = 2;  // kAuto: the quantile, percent
  double band_m = 10;       // kAuto: filtered depths from -band_m to +band_m take part
};

// Limits of the settings (the switches refuse values outside them).
inline constexpr int kMaxZocMedian = 99;
inline constexpr double kMaxZocWindowHours = 240;
inline constexpr double kMaxZocBand = 1000;
// Samples held at most (and twice as many filtered depths for the window's past half): the memory
// of the estimate is bounded whatever the sampling rate; where a window would hold more samples,
// the stretch ends, and where it would hold more filtered depths, it loses its oldest.
inline constexpr std::size_t kMaxZocEntries = std::size_t{1} << 18;

inline constexpr std::uint32_t kNoTag = UINT32_MAX;

enum class ZocKind : std::uint8_t {
  kSample,   // a sample with a time and depth a TDR line can show
  kInvalid,  // a sample without one (not corrected, not counted as a sample of the series)
  kBreak,    // a haul-out or dry start
};

// One item as it comes out. For kBreak only `kind` is meaningful.
struct CorrectedSample {
  ZocKind kind = ZocKind::kSample;
  std::uint64_t index = 0;  // samples (valid or not) before this one
  std::int64_t t_ms = 0;
  std::int32_t depth_mm = 0;      // as read
  std::int32_t offset_mm = 0;     // subtracted
  std::int32_t corrected_mm = 0;  // depth_mm - offset_mm, at least 0 (kNone: depth_mm)
  std::int32_t temp_centi = kNoTemp;
  std::uint32_t tag = kNoTag;     // the caller's own value, carried along
  bool dry = false;               // a sample of a dry period's temperature stream: its depth is no reading
};

using CorrectedSink = void (*)(void* context, const CorrectedSample& sample);

// A sample waiting to come out.
struct ZocEntry {
  std::int64_t t_ms;
  std::int32_t depth_mm;
  std::int32_t temp_centi;
  std::uint32_t tag;
  ZocKind kind;
  bool dry;  // of a dry period's stream
};

// A filtered depth within the band, for the window of the samples around it.
struct ZocBand {
  std::int64_t t_ms;
  std::int32_t bin;  // centimetres from the band's lower edge
};

struct ZeroOffset {
  ZocSettings settings;
  CorrectedSink sink = nullptr;
  void* context = nullptr;
  DiveDetector* detector = nullptr;  // takes every item after the sink
  std::int32_t fixed_mm = 0;

  // The series, as the dive detector sees it: a stretch ends at a gap or a step back.
  bool has_last = false;
  std::int64_t last_ms = 0;
  std::int64_t interval_ms = 0;
  bool has_any = false;  // a sample was seen (breaks do not forget it)
  std::int64_t any_ms = 0;
  bool dry_run = false;  // in a dry period's temperature stream

  // Rings indexed by ever-growing counters. Samples: out <= filtered <= head (head counts the
  // samples handed in; without the estimate it is all there is), those from `filtered` on wait
  // for their spike filter. Filtered depths in the band: band_tail <= band_lead <= band_head,
  // [band_tail, band_lead) in the histogram.
  std::int64_t half_ms = 0;
  std::int32_t band_mm = 0;
  std::uint64_t median = 5, median_half = 2;
  double quantile = 0.02;
  std::vector<ZocEntry> ring;  // power-of-two size, grown up to kMaxZocEntries
  ZocEntry* entries = nullptr;  // ring.data()
  std::uint64_t mask = 0;       // ring.size() - 1
  std::uint64_t out = 0, filtered = 0, head = 0;
  std::int64_t filtered_ms = 0;  // time of the last sample filtered
  std::vector<ZocBand> band;     // power-of-two size, grown up to 2 kMaxZocEntries
  ZocBand* bands = nullptr;
  std::uint64_t band_mask = 0;
  std::uint64_t band_tail = 0, band_lead = 0, band_head = 0;
  std::uint64_t stretch_used = 0;  // used samples of the stretch so far
  // The last used samples of the stretch, by their order in it (modulo kRecent).
  static constexpr std::size_t kRecent = 128;
  static_assert(kRecent >= kMaxZocMedian && (kRecent & (kRecent - 1)) == 0);
  std::uint64_t recent[kRecent] = {};        // ring positions
  std::int32_t recent_depth[kRecent] = {};  // their depths
  std::uint64_t deep_run = 0;                // of them, the last ones deeper than the band
  std::int64_t due_ms = INT64_MIN;           // filtered this far, the oldest sample may come out
  std::vector<std::uint32_t> histogram;      // count per centimetre of the band
  std::uint64_t in_histogram = 0;
  std::size_t qbin = 0;       // the bin of the quantile at the last query
  std::uint64_t below = 0;    // values in the bins below qbin
  bool stale = true;          // the histogram changed since the last estimate
  bool has_estimate = false;  // an estimate was made: it holds where none can be made
  std::int32_t estimate_mm = 0;
};

// Starts a series corrected as `settings` say; items go to `sink(context, item)` when it is given,
// then to `detector` when it is given (samples with their corrected depth, breaks as cuts).
// Settings out of their limits fall back to their defaults.
void zoc_reset(ZeroOffset& z, const ZocSettings& settings, CorrectedSink sink, void* context,
               DiveDetector* detector = nullptr);
// One sample. `valid` false: a sample whose time or depth no TDR line can show (see kInvalid).
void zoc_sample(ZeroOffset& z, bool valid, std::int64_t t_ms, std::int32_t depth_mm, std::int32_t temp_centi,
                std::uint32_t tag);
// A haul-out or dry start: every sample before it comes out first.
void zoc_break(ZeroOffset& z);
// The end of the series: everything held comes out.
void zoc_finish(ZeroOffset& z);

}  // namespace skelv::analysis
