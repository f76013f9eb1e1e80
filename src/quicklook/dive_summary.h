// What the quick look shows of the dive table: counts, the ten deepest and ten longest dives,
// histograms of durations and maximum depths, maximum depth against time of day, and one
// depth strip per day. All of fixed size, whatever the number of dives or days.
#pragma once
#include <array>
#include <cstdint>

#include "analysis/dive_analysis.h"

namespace skelv::quicklook {

// Counts on a logarithmic scale, so that dives of seconds and of hours (metres and hundreds of
// metres) show side by side: kLogBinsPerDecade bins per power of ten from 10^first_decade.
// Values below the first bin (0 among them) are counted apart; values beyond the last bin count
// in the last.
inline constexpr int kLogBinsPerDecade = 10;
inline constexpr int kLogBins = 70;
struct LogHistogram {
  int first_decade = 0;
  std::uint64_t below = 0;
  std::uint64_t total = 0;
  double least = 0;  // the smallest value above 0 (0: none yet)
  std::array<std::uint64_t, kLogBins> counts{};
};
void log_histogram_reset(LogHistogram& h, int first_decade);
void log_histogram_add(LogHistogram& h, double value);
// The lower edge of `bin` (kLogBins for the upper edge of the last).
double log_bin_edge(const LogHistogram& h, int bin);

// Dives by time of day (columns) and maximum depth (rows of a growing width, as above).
inline constexpr int kDayColumns = 96;  // 15 minutes each
inline constexpr int kDepthRows = 40;
struct DepthClock {
  double row_height = 1;  // metres
  std::array<std::array<std::uint32_t, kDayColumns>, kDepthRows> counts{};
};

// The greatest depth in each short period of every day from the first sample's day, for one
// strip per day, in decimetres (at most kStripMaxDepth). Columns without a sample hold kNoDepth.
inline constexpr int kMaxDays = 1000;
inline constexpr int kStripColumns = 480;  // 3 minutes each
inline constexpr std::uint16_t kNoDepth = 0xFFFF;
inline constexpr std::uint16_t kStripMaxDepth = 0xFFFE;
struct DayStrips {
  bool any = false;
  std::int64_t first_day = 0;  // days since 1970 of the first sample
  int days = 0;                // strips in use
  std::uint64_t outside = 0;   // samples before the first day or after the last strip
  std::array<std::array<std::uint16_t, kStripColumns>, kMaxDays> max_depth;
};
void strips_reset(DayStrips& s);
void strips_add(DayStrips& s, double t, double depth_m);

inline constexpr int kTopDives = 10;

struct DiveSummary {
  analysis::DiveSettings settings;
  std::uint64_t dives = 0;
  std::uint64_t cut = 0;
  std::uint64_t dropped = 0;  // shorter than settings.min_duration_s, left out
  int deepest_count = 0, longest_count = 0;
  std::array<analysis::Dive, kTopDives> deepest{};  // deepest first
  std::array<analysis::Dive, kTopDives> longest{};  // longest first
  LogHistogram durations;  // seconds, from 1 s
  LogHistogram depths;     // metres, from 0.1 m
  DepthClock clock;
};

void dive_summary_reset(DiveSummary& s, const analysis::DiveSettings& settings);
// The sink of a DiveDetector whose context is a DiveSummary.
void dive_summary_add(void* summary, const analysis::Dive& dive);

}  // namespace skelv::quicklook
