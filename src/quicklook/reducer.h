// Reduction of long series to a fixed number of columns, keeping each column's minimum and
// maximum so that spikes stay visible. The span of a series is not known before its last line,
// so the reducers grow: when a sample falls beyond the columns, the column width doubles and
// neighbouring columns merge in pairs. Memory is fixed whatever the length of the series.
#pragma once
#include <array>
#include <cstdint>

namespace skelv::quicklook {

// Columns of a time series. A series fills between half and all of them, so with twice the
// plot's width in pixels every pixel column holds at least one and the traces show no gaps.
inline constexpr int kColumns = 2400;
inline constexpr int kMaxChannels = 3;  // values per sample of one time series

// The extremes of one channel within a column, with where each was taken (for CTD casts: the
// pressure) and which came first, so that a trace can visit them in the order they occurred; and
// the sum and number of the values, for their mean.
struct Extremes {
  double min = 0, max = 0;
  double min_at = 0, max_at = 0;
  bool min_first = true;
  double sum = 0;
  std::uint64_t n = 0;
};

// A value seen after everything already in `e` (which holds a value).
void extremes_add(Extremes& e, double value, double at);
// `later` covers the samples after those of `e`; both hold a value.
void extremes_merge(Extremes& e, const Extremes& later);

struct TimeBucket {
  std::uint64_t count = 0;   // samples (or marks) that fell into the column
  std::uint8_t present = 0;  // bit c: channel c has a value in the column
  bool linked = false;       // its first sample follows the sample before it without a gap
  std::array<Extremes, kMaxChannels> ch{};
};

// Samples closer than this many sampling intervals (the step before) are joined in a trace.
inline constexpr double kJoinIntervals = 3.0;

// Columns of `width` seconds from `origin`. Every sample so far lies in [lo, hi).
struct TimeReducer {
  int channels = 0;
  double origin = 0;
  double width = 0;
  int lo = 0, hi = 0;  // hi == 0: no sample yet
  // The sample before, for the joins: a step that does not go forward or is longer than
  // kJoinIntervals times the step before it is a gap, after which the next step is the interval.
  bool has_last = false;
  double last_t = 0;
  double interval = 0;
  std::array<TimeBucket, kColumns> buckets{};
};

// Empties `r` for samples of `channels` values; the columns start `initial_width` seconds wide.
void reducer_reset(TimeReducer& r, int channels, double initial_width);
// A sample at `t` (seconds): channel c of `values` counts when bit c of `present` is set.
// Samples may come in any order; those earlier than the first move the columns along.
void reducer_add(TimeReducer& r, double t, const double* values, unsigned present);
// Marks every column that overlaps the period [from, to] (in either order).
void reducer_cover(TimeReducer& r, double from, double to);
// A break in the series (a haul-out): the next sample is not joined to the one before.
void reducer_break(TimeReducer& r);
inline bool reducer_empty(const TimeReducer& r) { return r.hi == 0; }
inline double column_start(const TimeReducer& r, int i) { return r.origin + i * r.width; }

// A CTD cast as a trace of value against pressure, reduced by sample order: each column holds
// `stride` consecutive samples and keeps, per channel (temperature, salinity), the samples with
// the lowest and the highest value together with their pressures.
inline constexpr int kCastColumns = 100;
inline constexpr int kCastChannels = 2;

struct CastBucket {
  std::uint8_t present = 0;
  std::array<Extremes, kCastChannels> ch{};
};

struct CastTrace {
  std::uint64_t number = 0;  // casts before this one in the files
  double start_time = 0;
  std::uint64_t samples = 0;
  std::uint64_t stride = 1;  // samples per column
  double max_pressure = 0;
  std::array<CastBucket, kCastColumns> buckets{};
};

void cast_reset(CastTrace& c, std::uint64_t number, double start_time);
void cast_add(CastTrace& c, double pressure, const double* values, unsigned present);
// Columns in use.
inline int cast_columns(const CastTrace& c) {
  return static_cast<int>((c.samples + c.stride - 1) / c.stride);
}

// At most kMaxCasts casts kept for drawing, spread evenly over all casts of the files: casts
// whose number is a multiple of `stride`; when the slots are full the stride doubles and every
// other kept cast goes.
inline constexpr int kMaxCasts = 40;

struct CastSet {
  std::uint64_t total = 0;   // casts begun
  std::uint64_t stride = 1;
  int kept = 0;
  bool open = false;         // a cast is being read
  bool tracing = false;      // the open cast is a candidate for keeping
  CastTrace current;
  std::array<CastTrace, kMaxCasts> casts{};
};

void castset_begin(CastSet& s, double start_time);  // ends the open cast, if any
void castset_add(CastSet& s, double pressure, const double* values, unsigned present);
void castset_end(CastSet& s);

}  // namespace skelv::quicklook
