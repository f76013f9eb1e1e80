// Zero-offset correction of hand-built depth series, checked through the items that come out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/dive_analysis.h"

namespace skelv::analysis {
namespace {

constexpr std::int64_t kT0 = 946684800000;  // 2000-01-01 00:00:00 UTC, in ms
constexpr std::int64_t kMinute = 60000;
constexpr double kBreak = -1.0;  // as a depth: a break between two samples

struct Out {
  std::vector<CorrectedSample> items;
  std::int64_t latest_in = 0;     // time of the last sample handed in
  std::int64_t longest_wait = 0;  // the longest a sample waited, by the times handed in since
};

void collect(void* context, const CorrectedSample& item) {
  auto& out = *static_cast<Out*>(context);
  out.items.push_back(item);
  if (item.kind == ZocKind::kSample) out.longest_wait = std::max(out.longest_wait, out.latest_in - item.t_ms);
}

ZocSettings automatic(double window_h, int median, double quantile, double band) {
  ZocSettings z;
  z.mode = ZocMode::kAuto;
  z.window_h = window_h;
  z.median_samples = median;
  z.quantile_pct = quantile;
  z.band_m = band;
  return z;
}

// Depths in metres a minute apart (kBreak: a break), corrected as `settings` say.
Out run(const ZocSettings& settings, const std::vector<double>& depths) {
  Out out;
  ZeroOffset z;
  zoc_reset(z, settings, collect, &out);
  std::int64_t t = kT0;
  for (double d : depths) {
    if (d == kBreak) {
      zoc_break(z);
      continue;
    }
    out.latest_in = t;
    zoc_sample(z, true, t, static_cast<std::int32_t>(d * 1000), kNoTemp, kNoTag);
    t += kMinute;
  }
  zoc_finish(z);
  return out;
}

// The corrected depths in metres, breaks as kBreak.
std::vector<double> corrected(const Out& out) {
  std::vector<double> v;
  for (const CorrectedSample& c : out.items) v.push_back(c.kind == ZocKind::kBreak ? kBreak : c.corrected_mm * 0.001);
  return v;
}

TEST(ZeroOffset, FixedOffsetIsSubtractedAndNothingGoesBelowZero) {
  ZocSettings z;
  z.mode = ZocMode::kFixed;
  z.offset_m = 1.5;
  const Out out = run(z, {0, 1, 1.5, kBreak, 2.6, 10});
  EXPECT_EQ(corrected(out), (std::vector<double>{0, 0, 0, kBreak, 1.1, 8.5}));
  EXPECT_EQ(out.items[4].index, 3u);  // the fourth sample; breaks are not counted
  EXPECT_EQ(out.items[4].offset_mm, 1500);
  EXPECT_EQ(corrected(run(ZocSettings{}, {0, 1, 10})), (std::vector<double>{0, 1, 10}));
}

// Three hours a minute apart: the surface reads 2 m for 90 minutes, then 3 m; a reading drops to 0
// at minute 10; dives to 30 m (minutes 20 to 24) and 40 m (100 to 104), out of the band.
std::vector<double> drifting_surface() {
  std::vector<double> d;
  for (int m = 0; m < 180; ++m) {
    double v = m < 90 ? 2.0 : 3.0;
    if (m == 10) v = 0;
    if (m >= 20 && m <= 24) v = 30;
    if (m >= 100 && m <= 104) v = 40;
    d.push_back(v);
  }
  return d;
}

TEST(ZeroOffset, LowestFilteredSurfaceDepthOfTheWindowIsTheSurfaceLevel) {
  // Quantile 0: the lowest value in the window. The running median of 3 takes the dropout at
  // minute 10 away (its neighbours read 2 m) and keeps the dive bottoms (30 m and 40 m: outside
  // the band of 10 m). A window of 1 h reaches 30 minutes either side: up to minute 119 it still
  // holds minute 89 (2 m: corrected 3 - 2 = 1 m at the surface); from minute 120 on only 3 m.
  const Out out = run(automatic(1, 3, 0, 10), drifting_surface());
  const std::vector<double> c = corrected(out);
  ASSERT_EQ(c.size(), 180u);
  std::vector<double> expected(180, 0.0);
  for (int m = 20; m <= 24; ++m) expected[static_cast<std::size_t>(m)] = 28;
  for (int m = 90; m < 120; ++m) expected[static_cast<std::size_t>(m)] = 1;
  for (int m = 100; m <= 104; ++m) expected[static_cast<std::size_t>(m)] = 38;
  EXPECT_EQ(c, expected);
  // Every sample came out in order, at most half a window (and the sample that showed it) late.
  for (std::size_t i = 0; i < out.items.size(); ++i) ASSERT_EQ(out.items[i].index, i);
  EXPECT_LE(out.longest_wait, 31 * kMinute);
  // Without the spike filter the dropout is the lowest value: 2 m at the surface stays 2 m.
  EXPECT_EQ(corrected(run(automatic(1, 1, 0, 10), drifting_surface()))[5], 2.0);
  // With a band of 1 m no filtered depth takes part: nothing is subtracted.
  EXPECT_EQ(corrected(run(automatic(1, 3, 0, 1), drifting_surface()))[5], 2.0);
  // A spike filter of 5: every five samples in a row of 1, 3, 4, 5, 2 m, repeated, hold 1 to
  // 5 m (median 3 m), and the shorter windows at the ends have medians of 3 or 4 m: 3 m is the
  // level.
  std::vector<double> rotating;
  for (int i = 0; i < 4; ++i) rotating.insert(rotating.end(), {1, 3, 4, 5, 2});
  std::vector<double> minus3;
  for (int i = 0; i < 4; ++i) minus3.insert(minus3.end(), {0, 0, 1, 2, 0});
  EXPECT_EQ(corrected(run(automatic(10, 5, 0, 10), rotating)), minus3);
}

TEST(ZeroOffset, QuantileRanksTheFilteredDepthsOfTheWindow) {
  // Ten surface readings, 1.0 to 1.9 m, in a window that holds them all: rank floor(q x 9).
  const std::vector<double> d = {1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9};
  EXPECT_EQ(run(automatic(10, 1, 50, 10), d).items[9].offset_mm, 1400);   // rank 4
  EXPECT_EQ(run(automatic(10, 1, 100, 10), d).items[0].offset_mm, 1900);  // rank 9
  EXPECT_EQ(run(automatic(10, 1, 12, 10), d).items[0].offset_mm, 1100);   // rank 1.08: 1
}

TEST(ZeroOffset, BreaksGapsAndStepsBackStartTheEstimateAfresh) {
  // A window of 10 h would hold everything: each stretch still has its own level. Before the
  // break the surface reads 2 m, after it 1 m (the lower one would win in one window).
  EXPECT_EQ(corrected(run(automatic(10, 3, 0, 10), {2, 2, 10, 2, kBreak, 1, 1, 9, 1})),
            (std::vector<double>{0, 0, 8, 0, kBreak, 0, 0, 8, 0}));
  // The same split at a gap in time: a minute a sample, then 10 minutes.
  Out out;
  ZeroOffset z;
  zoc_reset(z, automatic(10, 1, 0, 10), collect, &out);
  for (int i = 0; i < 6; ++i) {
    const std::int64_t t = kT0 + (i < 3 ? i : i + 9) * kMinute;
    zoc_sample(z, true, t, i < 3 ? 2000 : 1000 + 1000 * (i == 4), kNoTemp, 7);
  }
  zoc_finish(z);
  EXPECT_EQ(corrected(out), (std::vector<double>{0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(out.items[4].tag, 7u);
}

TEST(ZeroOffset, DryPeriodTemperatureStreamTakesNoPart) {
  // Band 1 m: the surface of 0.5 m sets the level; then a dry period's stream (depth 0 from the
  // time of the last sample on) and a break; after it the surface reads 2 m, outside the band,
  // so the level found before the dry period holds: 1.5 m. Had the zeros taken part, 2 m.
  Out out;
  ZeroOffset z;
  zoc_reset(z, automatic(10, 1, 0, 1), collect, &out);
  std::int64_t t = kT0;
  for (int i = 0; i < 3; ++i) zoc_sample(z, true, t += kMinute, 500, kNoTemp, kNoTag);
  for (int i = 0; i < 3; ++i) zoc_sample(z, true, t + i * kMinute, 0, 1234, kNoTag);
  zoc_break(z);
  for (int i = 0; i < 2; ++i) zoc_sample(z, true, t += 3600000, 2000, kNoTemp, kNoTag);
  zoc_sample(z, false, 0, 0, kNoTemp, kNoTag);  // no time a line can show: passed on as it is
  zoc_finish(z);
  EXPECT_EQ(corrected(out), (std::vector<double>{0, 0, 0, 0, 0, 0, kBreak, 1.5, 1.5, 0}));
  EXPECT_EQ(out.items[3].temp_centi, 1234);
  EXPECT_EQ((std::vector<bool>{out.items[2].dry, out.items[3].dry, out.items[5].dry, out.items[7].dry}),
            (std::vector<bool>{false, true, true, false}));
  EXPECT_EQ(out.items.back().kind, ZocKind::kInvalid);
  EXPECT_EQ(out.items.back().index, 8u);
}

TEST(ZeroOffset, MemoryStaysBoundedWhateverTheSamplingRate) {
  // A window of 240 h at 10 ms a sample would hold 86 million samples.
  Out out;
  ZeroOffset z;
  zoc_reset(z, automatic(240, 5, 2, 10), collect, &out);
  const std::size_t n = kMaxZocEntries + 5000;
  for (std::size_t i = 0; i < n; ++i) {
    zoc_sample(z, true, kT0 + static_cast<std::int64_t>(i) * 10, 1000, kNoTemp, kNoTag);
  }
  zoc_finish(z);
  EXPECT_LE(z.ring.size(), kMaxZocEntries);
  ASSERT_EQ(out.items.size(), n);
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(out.items[i].index, i);
}

TEST(HauloutSpan, BeginsWhereTheSamplesEndAndIsUnknownBeforeAnyTime) {
  HauloutClock c;
  HauloutSpan h = haulout_span(c, -56, 1000);  // a dry start before any dive sample
  EXPECT_FALSE(h.start_known);
  EXPECT_EQ(h.end, 1000);
  haulout_clock_sample(c, 100, 40);
  haulout_clock_sample(c, 102, 0);  // at the surface, reading 0 m: not deeper than 0 m
  // The tag's estimate (44 s) falls before the last sample deeper than 0 m: the samples win.
  h = haulout_span(c, 44, 500);
  EXPECT_EQ((std::vector<double>{double(h.start_known), h.start, h.end}), (std::vector<double>{1, 100, 500}));
  // An estimate after the samples stands; an end before the start (a clock set back) is the start.
  h = haulout_span(c, 150, 90);
  EXPECT_EQ((std::vector<double>{h.start, h.end}), (std::vector<double>{150, 150}));
}

}  // namespace
}  // namespace skelv::analysis
