// What the quick look shows of the dive table: counts, the ten deepest and ten longest dives,
// histograms of durations and maximum depths, maximum depth against time of day, and one
// depth strip per day. All of fixed size, whatever the number of dives or days.
#pragma once
#include <array>
#include <cstdint>

#include "analysis/dive_table.h"

namespace skelv::quicklook {

// Counts over bins of equal width from 0; a value beyond the last bin doubles the width and
// merges the bins in pairs, so the bins cover every value seen.
inline constexpr int kHistogramBins = 40;
struct Histogram {
  double width = 1;
  std::uint64_t total = 0;
  std::array<std::uint64_t, kHistogramBins> counts{};
};
void histogram_reset(Histogram& h, double initial_width);
void histogram_add(Histogram& h, double value);  // values below 0 count in the first bin

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
  double threshold = analysis::kDefaultDiveThreshold;
  std::uint64_t dives = 0;
  std::uint64_t cut = 0;
  int deepest_count = 0, longest_count = 0;
  std::array<analysis::Dive, kTopDives> deepest{};  // deepest first
  std::array<analysis::Dive, kTopDives> longest{};  // longest first
  Histogram durations;   // seconds
  Histogram depths;      // metres
  DepthClock clock;
};

void dive_summary_reset(DiveSummary& s, double threshold);
// The sink of a DiveDetector whose context is a DiveSummary.
void dive_summary_add(void* summary, const analysis::Dive& dive);

}  // namespace skelv::quicklook
