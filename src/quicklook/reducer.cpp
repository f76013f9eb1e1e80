#include "quicklook/reducer.h"

#include <algorithm>
#include <cmath>

namespace skelv::quicklook {

void extremes_add(Extremes& e, double value, double at) {
  e.sum += value;
  ++e.n;
  // A new minimum comes after the maximum, a new maximum after the minimum.
  if (value < e.min) {
    e.min = value;
    e.min_at = at;
    e.min_first = false;
  }
  if (value > e.max) {
    e.max = value;
    e.max_at = at;
    e.min_first = true;
  }
}

void extremes_merge(Extremes& e, const Extremes& later) {
  e.sum += later.sum;
  e.n += later.n;
  // Ties keep the earlier sample.
  const bool min_later = later.min < e.min;
  const bool max_later = later.max > e.max;
  if (min_later && max_later) {
    e.min_first = later.min_first;
  } else if (min_later) {
    e.min_first = false;
  } else if (max_later) {
    e.min_first = true;
  }
  if (min_later) {
    e.min = later.min;
    e.min_at = later.min_at;
  }
  if (max_later) {
    e.max = later.max;
    e.max_at = later.max_at;
  }
}

namespace {

template <class Bucket>
void merge_bucket(Bucket& into, const Bucket& later, int channels) {
  for (int c = 0; c < channels; ++c) {
    const unsigned bit = 1u << c;
    if ((later.present & bit) == 0) continue;
    if ((into.present & bit) == 0) {
      into.ch[static_cast<std::size_t>(c)] = later.ch[static_cast<std::size_t>(c)];
    } else {
      extremes_merge(into.ch[static_cast<std::size_t>(c)], later.ch[static_cast<std::size_t>(c)]);
    }
  }
  into.present = static_cast<std::uint8_t>(into.present | later.present);
}

template <class Bucket>
void add_to_bucket(Bucket& b, const double* values, const double* at, unsigned present,
                   int channels) {
  for (int c = 0; c < channels; ++c) {
    const unsigned bit = 1u << c;
    if ((present & bit) == 0) continue;
    Extremes& e = b.ch[static_cast<std::size_t>(c)];
    const double where = at != nullptr ? *at : 0.0;
    if ((b.present & bit) == 0) {
      e = Extremes{values[c], values[c], where, where, true, values[c], 1};
    } else {
      extremes_add(e, values[c], where);
    }
  }
  b.present = static_cast<std::uint8_t>(b.present | (present & ((1u << channels) - 1)));
}

// Column i takes columns 2i and 2i+1; the width doubles, the origin stays.
void halve(TimeReducer& r) {
  const int new_lo = r.lo / 2;
  const int new_hi = (r.hi - 1) / 2 + 1;
  for (int i = new_lo; i < new_hi; ++i) {
    TimeBucket merged;
    const int a = 2 * i, b = 2 * i + 1;
    if (a >= r.lo && a < r.hi) merged = r.buckets[static_cast<std::size_t>(a)];
    if (b >= r.lo && b < r.hi) {
      const TimeBucket& later = r.buckets[static_cast<std::size_t>(b)];
      if (merged.count == 0) merged.linked = later.linked;
      merged.count += later.count;
      merge_bucket(merged, later, r.channels);
    }
    r.buckets[static_cast<std::size_t>(i)] = merged;
  }
  // Columns from new_hi on held only samples that moved left; those below lo were empty.
  for (int i = std::max(new_hi, r.lo); i < r.hi; ++i) r.buckets[static_cast<std::size_t>(i)] = TimeBucket{};
  r.lo = new_lo;
  r.hi = new_hi;
  r.width *= 2;
}

// Moves every column `shift` places to the right (the caller has checked there is room).
void shift_right(TimeReducer& r, int shift) {
  for (int i = r.hi - 1; i >= r.lo; --i) {
    r.buckets[static_cast<std::size_t>(i + shift)] = r.buckets[static_cast<std::size_t>(i)];
  }
  for (int i = r.lo; i < std::min(r.hi, r.lo + shift); ++i) r.buckets[static_cast<std::size_t>(i)] = TimeBucket{};
  r.lo += shift;
  r.hi += shift;
  r.origin -= shift * r.width;
}

// The column of `t`, after making room for it: columns merge until `t` lies before the last
// one; a time before the first column shifts them right, leaving half the free columns on the
// left for further early samples so that a backward run of samples costs few shifts.
int locate(TimeReducer& r, double t) {
  if (r.hi == 0) {
    r.origin = t;
    r.lo = 0;
    return 0;
  }
  for (;;) {
    const double d = std::floor((t - r.origin) / r.width);
    if (d >= 0 && d < kColumns) return static_cast<int>(d);
    if (d < 0 && -d <= kColumns - r.hi) {
      const int need = static_cast<int>(-d);
      shift_right(r, need + (kColumns - r.hi - need) / 2);
      continue;
    }
    halve(r);
  }
}

void extend(TimeReducer& r, int i) {
  if (r.hi == 0) {
    r.lo = i;
    r.hi = i + 1;
    return;
  }
  r.lo = std::min(r.lo, i);
  r.hi = std::max(r.hi, i + 1);
}

}  // namespace

void reducer_reset(TimeReducer& r, int channels, double initial_width) {
  r.channels = std::clamp(channels, 0, kMaxChannels);
  r.origin = 0;
  r.width = initial_width > 0 ? initial_width : 1.0;
  r.lo = r.hi = 0;
  reducer_break(r);
  r.buckets.fill(TimeBucket{});
}

void reducer_add(TimeReducer& r, double t, const double* values, unsigned present) {
  if (!std::isfinite(t)) return;
  bool linked = false;
  if (r.has_last) {
    const double step = t - r.last_t;
    linked = step > 0 && (r.interval <= 0 || step <= kJoinIntervals * r.interval);
    r.interval = linked ? step : 0;
  }
  r.has_last = true;
  r.last_t = t;
  const int i = locate(r, t);
  TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
  if (b.count == 0) b.linked = linked;
  ++b.count;
  add_to_bucket(b, values, nullptr, present, r.channels);
  extend(r, i);
}

void reducer_break(TimeReducer& r) {
  r.has_last = false;
  r.interval = 0;
}

void reducer_cover(TimeReducer& r, double from, double to) {
  if (!std::isfinite(from) || !std::isfinite(to)) return;
  if (to < from) std::swap(from, to);
  // The first mark makes `from` part of the kept range, so that making room for `to` keeps it.
  reducer_add(r, from, nullptr, 0);
  const int last = locate(r, to);
  const int first = locate(r, from);
  for (int i = first + 1; i <= last; ++i) ++r.buckets[static_cast<std::size_t>(i)].count;
  extend(r, last);
}

void cast_reset(CastTrace& c, std::uint64_t number, double start_time) {
  c.number = number;
  c.start_time = start_time;
  c.samples = 0;
  c.stride = 1;
  c.max_pressure = 0;
  c.buckets.fill(CastBucket{});
}

void cast_add(CastTrace& c, double pressure, const double* values, unsigned present) {
  if (c.samples / c.stride >= static_cast<std::uint64_t>(kCastColumns)) {
    for (int i = 0; i < kCastColumns / 2; ++i) {
      CastBucket merged = c.buckets[static_cast<std::size_t>(2 * i)];
      merge_bucket(merged, c.buckets[static_cast<std::size_t>(2 * i + 1)], kCastChannels);
      c.buckets[static_cast<std::size_t>(i)] = merged;
    }
    for (int i = kCastColumns / 2; i < kCastColumns; ++i) c.buckets[static_cast<std::size_t>(i)] = CastBucket{};
    c.stride *= 2;
  }
  CastBucket& b = c.buckets[static_cast<std::size_t>(c.samples / c.stride)];
  add_to_bucket(b, values, &pressure, present, kCastChannels);
  if (c.samples == 0 || pressure > c.max_pressure) c.max_pressure = pressure;
  ++c.samples;
}

void castset_begin(CastSet& s, double start_time) {
  castset_end(s);
  s.open = true;
  // The stride only grows, so a cast that is no candidate now never becomes one.
  s.tracing = s.total % s.stride == 0;
  if (s.tracing) cast_reset(s.current, s.total, start_time);
  ++s.total;
}

void castset_add(CastSet& s, double pressure, const double* values, unsigned present) {
  if (s.open && s.tracing) cast_add(s.current, pressure, values, present);
}

void castset_end(CastSet& s) {
  if (!s.open) return;
  s.open = false;
  if (!s.tracing) return;
  if (s.kept == kMaxCasts) {
    s.stride *= 2;
    int kept = 0;
    for (int i = 0; i < s.kept; ++i) {
      if (s.casts[static_cast<std::size_t>(i)].number % s.stride == 0) {
        if (kept != i) s.casts[static_cast<std::size_t>(kept)] = s.casts[static_cast<std::size_t>(i)];
        ++kept;
      }
    }
    s.kept = kept;
  }
  if (s.current.number % s.stride == 0) s.casts[static_cast<std::size_t>(s.kept++)] = s.current;
}

}  // namespace skelv::quicklook
