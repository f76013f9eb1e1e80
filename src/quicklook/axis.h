// Axis ranges and ticks: round values for measured quantities, calendar steps for UTC times.
#pragma once
#include <array>
#include <cstdint>

namespace skelv::quicklook {

inline constexpr int kMaxTicks = 24;

struct Tick {
  double value = 0;
  char label[24] = {};  // first line of the label
  char date[16] = {};   // second line (a date), empty when not shown
};

struct Ticks {
  double lo = 0, hi = 0;  // the axis range, widened to whole steps for value axes
  double step = 0;        // seconds for time axes; months are 30.4375 days, years 365.25
  int count = 0;
  std::array<Tick, kMaxTicks> ticks{};
};

// A value axis over [lo, hi] with about `target` ticks at 1, 2 or 5 times a power of ten; the
// range is widened to whole steps. An empty range is widened around its value.
Ticks value_ticks(double lo, double hi, int target);

// A time axis over [t0, t1] (seconds since 1970 UTC) with at most `target` ticks on round
// times: seconds to hours as multiples since midnight, days, the first of months, the first of
// January. Labels: time of day (with the date under the first tick and where the day changes),
// dates, months or years. The range is kept as given (an empty one is widened by a second).
Ticks time_ticks(double t0, double t1, int target);

// "YYYY-MM-DD HH:MM:SS" of whole seconds (UTC) into `out` (at least 20 bytes).
void format_utc(double t, char* out);
// A duration, rounded to the second, as "04:05:06" or "3 d 04:05:06" into `out` (at least 32 bytes).
void format_duration(double seconds, char* out);

}  // namespace skelv::quicklook
