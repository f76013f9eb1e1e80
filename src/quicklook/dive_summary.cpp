#include "quicklook/dive_summary.h"

#include <algorithm>
#include <cmath>

namespace skelv::quicklook {
namespace {

constexpr double kDay = 86400.0;

// The bin of `value` in bins of `width` from 0, or -1 when it lies beyond `bins` of them.
int bin_of(double value, double width, int bins) {
  if (!(value > 0)) return 0;
  const double b = std::floor(value / width);
  return b < bins ? static_cast<int>(b) : -1;
}

// Keeps the `top` entries with the greatest key, greatest first; ties keep the earlier dive.
template <typename Key>
void keep_top(std::array<analysis::Dive, kTopDives>& top, int& count, const analysis::Dive& dive, Key key) {
  int at = count;
  while (at > 0 && key(top[static_cast<std::size_t>(at - 1)]) < key(dive)) --at;
  if (at == kTopDives) return;
  if (count < kTopDives) ++count;
  for (int i = count - 1; i > at; --i) top[static_cast<std::size_t>(i)] = top[static_cast<std::size_t>(i - 1)];
  top[static_cast<std::size_t>(at)] = dive;
}

}  // namespace

void log_histogram_reset(LogHistogram& h, int first_decade) {
  h = LogHistogram{};
  h.first_decade = first_decade;
}

void log_histogram_add(LogHistogram& h, double value) {
  ++h.total;
  if (value > 0 && (h.least == 0 || value < h.least)) h.least = value;
  // The small allowance puts values on a bin's edge (2 of 1.995..2.512) into the bin they open.
  const double x = std::log10(value) - h.first_decade;
  if (!(x * kLogBinsPerDecade > -1e-9)) {
    ++h.below;
    return;
  }
  const double b = std::floor(x * kLogBinsPerDecade + 1e-9);
  ++h.counts[static_cast<std::size_t>(std::min<double>(b, kLogBins - 1))];
}

double log_bin_edge(const LogHistogram& h, int bin) {
  return std::pow(10.0, h.first_decade + static_cast<double>(bin) / kLogBinsPerDecade);
}

void strips_reset(DayStrips& s) {
  s.any = false;
  s.first_day = 0;
  s.days = 0;
  s.outside = 0;
  for (auto& day : s.max_depth) day.fill(kNoDepth);
}

void strips_add(DayStrips& s, double t, double depth_m) {
  const double day_f = std::floor(t / kDay);
  if (!std::isfinite(day_f) || std::fabs(day_f) > 1e9) return;
  const auto day = static_cast<std::int64_t>(day_f);
  if (!s.any) {
    s.any = true;
    s.first_day = day;
  }
  const std::int64_t row = day - s.first_day;
  if (row < 0 || row >= kMaxDays) {
    ++s.outside;
    return;
  }
  const int col = std::min(kStripColumns - 1, static_cast<int>((t - day_f * kDay) / kDay * kStripColumns));
  std::uint16_t& cell = s.max_depth[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
  const auto v = static_cast<std::uint16_t>(std::lround(std::clamp(depth_m * 10, 0.0, double{kStripMaxDepth})));
  if (cell == kNoDepth || v > cell) cell = v;
  if (row >= s.days) s.days = static_cast<int>(row) + 1;
}

void dive_summary_reset(DiveSummary& s, const analysis::DiveSettings& settings) {
  s.settings = settings;
  s.dives = s.cut = s.dropped = 0;
  s.deepest_count = s.longest_count = 0;
  log_histogram_reset(s.durations, 0);
  log_histogram_reset(s.depths, -1);
  s.clock = DepthClock{};
  s.clock.row_height = 0.5;
}

void dive_summary_add(void* summary, const analysis::Dive& dive) {
  auto& s = *static_cast<DiveSummary*>(summary);
  ++s.dives;
  if (dive.cut) ++s.cut;
  keep_top(s.deepest, s.deepest_count, dive, [](const analysis::Dive& d) { return std::int64_t{d.max_depth_mm}; });
  keep_top(s.longest, s.longest_count, dive, [](const analysis::Dive& d) { return d.end_ms - d.start_ms; });
  const double depth = dive.max_depth_mm * 0.001;
  log_histogram_add(s.durations, static_cast<double>(dive.end_ms - dive.start_ms) * 0.001);
  log_histogram_add(s.depths, depth);
  // Time of day of the maximum, in UTC.
  const double t = static_cast<double>(dive.max_depth_ms) * 0.001;
  const double of_day = t - std::floor(t / kDay) * kDay;
  const int col = std::min(kDayColumns - 1, static_cast<int>(of_day / kDay * kDayColumns));
  DepthClock& c = s.clock;
  int row;
  while ((row = bin_of(depth, c.row_height, kDepthRows)) < 0) {
    for (int i = 0; i < kDepthRows / 2; ++i) {
      for (int k = 0; k < kDayColumns; ++k) {
        c.counts[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] =
            c.counts[static_cast<std::size_t>(2 * i)][static_cast<std::size_t>(k)] +
            c.counts[static_cast<std::size_t>(2 * i + 1)][static_cast<std::size_t>(k)];
      }
    }
    for (int i = kDepthRows / 2; i < kDepthRows; ++i) c.counts[static_cast<std::size_t>(i)].fill(0);
    c.row_height *= 2;
  }
  ++c.counts[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

}  // namespace skelv::quicklook
