// The quick look's dive panels: histograms, the deepest and longest dives, day strips.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "quicklook/dive_summary.h"

namespace skelv::quicklook {
namespace {

TEST(DiveSummary, HistogramCountsTenthsOfADecade) {
  LogHistogram h;
  log_histogram_reset(h, 0);  // from 1 s
  // Bins of a tenth of a decade: 1 s opens bin 0, 1.9 s lies in bin 2 (1.585 to 1.995), 2 s opens
  // bin 3, 10 s bin 10, 59.9 s lies in bin 17; beyond the last bin counts in it, below the first
  // apart (0 s: a dive of one sample).
  for (double v : {0.0, 0.5, 1.0, 1.9, 2.0, 10.0, 59.9, 1e9}) log_histogram_add(h, v);
  EXPECT_EQ((std::vector<std::uint64_t>{h.below, h.counts[0], h.counts[2], h.counts[3], h.counts[10], h.counts[17],
                                        h.counts[kLogBins - 1], h.total}),
            (std::vector<std::uint64_t>{2, 1, 1, 1, 1, 1, 1, 8}));
  EXPECT_DOUBLE_EQ(log_bin_edge(h, 10), 10.0);
}

TEST(DiveSummary, KeepsTheTenDeepestAndLongest) {
  DiveSummary s;
  dive_summary_reset(s, analysis::DiveSettings{});
  // Dive n: n metres deep (dive 12 as deep as dive 11), 100 - n seconds long, deepest at n
  // o'clock; dive 3 cut.
  for (int n = 1; n <= 12; ++n) {
    analysis::Dive d;
    d.number = static_cast<std::uint64_t>(n);
    d.max_depth_mm = 1000 * std::min(n, 11);
    d.end_ms = 1000 * (100 - n);
    d.max_depth_ms = 3600000 * n;
    d.cut = n == 3;
    dive_summary_add(&s, d);
  }
  auto numbers = [](const auto& dives, int count) {
    std::vector<std::uint64_t> v;
    for (int i = 0; i < count; ++i) v.push_back(dives[static_cast<std::size_t>(i)].number);
    return v;
  };
  EXPECT_EQ(numbers(s.deepest, s.deepest_count), (std::vector<std::uint64_t>{11, 12, 10, 9, 8, 7, 6, 5, 4, 3}));
  EXPECT_EQ(numbers(s.longest, s.longest_count), (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ((std::vector<std::uint64_t>{s.dives, s.cut}), (std::vector<std::uint64_t>{12, 1}));
  // Maximum depth against time of day: 1 m at 01:00 in column 4 (15 min each), row 2 (0.5 m).
  // 11 m at 11:00 and at 12:00 in row 22; in the depth histogram (from 0.1 m), 10 m and both
  // 11 m in bin 20 (10 to 12.59 m), 1 m in bin 10.
  EXPECT_EQ((std::vector<double>{s.clock.row_height, double(s.clock.counts[2][4]),
                                 double(s.clock.counts[22][44] + s.clock.counts[22][48]), double(s.depths.counts[20]),
                                 double(s.depths.counts[10])}),
            (std::vector<double>{0.5, 1, 2, 3, 1}));
  // A dive of 25 m lies past 40 rows of 0.5 m: rows of 1 m, rows merged in pairs.
  analysis::Dive deep;
  deep.max_depth_mm = 25000;
  dive_summary_add(&s, deep);
  EXPECT_EQ(s.clock.row_height, 1.0);
  EXPECT_EQ((std::vector<std::uint32_t>{s.clock.counts[1][4], s.clock.counts[2][8], s.clock.counts[11][44] + s.clock.counts[11][48],
                                        s.clock.counts[25][0]}),
            (std::vector<std::uint32_t>{1, 1, 2, 1}));
  std::uint64_t upper = 0;  // rows 20 to 39 held nothing but the new dive
  for (int r = 20; r < kDepthRows; ++r) {
    for (std::uint32_t n : s.clock.counts[static_cast<std::size_t>(r)]) upper += n;
  }
  EXPECT_EQ(upper, 1u);
}

TEST(DiveSummary, DayStripsKeepTheDeepestOfEachPeriod) {
  auto s = std::make_unique<DayStrips>();
  strips_reset(*s);
  const double day = 86400 * 18700.0;  // 2021-03-14 00:00:00 UTC
  strips_add(*s, day + 10, 5);
  strips_add(*s, day + 179, 7.04);  // still the first 3 minutes; kept in decimetres
  strips_add(*s, day + 180, -1);   // above the surface: 0
  strips_add(*s, day + 86400 + 43200, 9);  // noon of the next day: column 240
  strips_add(*s, day - 1, 50);     // before the first day
  strips_add(*s, day + 86400.0 * kMaxDays, 50);  // past the last strip
  EXPECT_EQ(s->first_day, 18700);
  EXPECT_EQ(s->days, 2);
  EXPECT_EQ(s->outside, 2u);
  EXPECT_EQ((std::vector<int>{s->max_depth[0][0], s->max_depth[0][1], s->max_depth[0][2], s->max_depth[1][240]}),
            (std::vector<int>{70, 0, kNoDepth, 90}));
}

}  // namespace
}  // namespace skelv::quicklook
