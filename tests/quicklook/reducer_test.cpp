// The min/max reduction of long series to a fixed number of columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "quicklook/reducer.h"

namespace skelv::quicklook {
namespace {

using V = std::vector<double>;

class ReducerTest : public ::testing::Test {
 protected:
  void add(double t, double v) { reducer_add(r, t, &v, 1); }
  // Samples, minimum, maximum and whether the minimum came first.
  V column(int i) const {
    const TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
    return b.count == 0 ? V{0} : V{double(b.count), b.ch[0].min, b.ch[0].max, double(b.ch[0].min_first)};
  }
  std::unique_ptr<TimeReducer> owner = std::make_unique<TimeReducer>();  // large: on the heap
  TimeReducer& r = *owner;
};

TEST_F(ReducerTest, ASpikeStaysVisibleAsTheWidthDoubles) {
  // One sample a second for 100000 s, all 0 but -7 at 777 s and 50 at 54321 s. The first sample
  // fixes the origin; each sample one past the last column doubles the width (2400 s, 4800 s, ..)
  // until 2400 columns span 100000 s: 64 s (32 s span 76800 s). -7 falls in column
  // 777 / 64 = 12 (from 768 s, after zeros), 50 in 54321 / 64 = 848 (from 54272 s, after zeros);
  // the last column, 99999 / 64 = 1562, holds 99968..99999 s: 32 samples.
  reducer_reset(r, 1, 1.0);
  for (int t = 0; t < 100000; ++t) add(t, t == 777 ? -7 : t == 54321 ? 50 : 0);
  EXPECT_EQ((V{r.width, r.origin, double(r.lo), double(r.hi)}), (V{64, 0, 0, 1563}));
  for (int i = 0; i < 1562; ++i) {
    ASSERT_EQ(column(i), (V{64, i == 12 ? -7.0 : 0, i == 848 ? 50.0 : 0, i == 12 ? 0.0 : 1})) << i;
  }
  EXPECT_EQ(column(1562), (V{32, 0, 0, 1}));
}

// Whatever the order of the samples (earlier ones move the columns along), each column ends up
// with the extremes of exactly the samples whose times lie in it. Times are multiples of 1/4 s
// and widths powers of two times 1/4 s, so every column boundary is exact.
TEST_F(ReducerTest, ColumnsHoldTheExtremesOfTheirSamplesInAnyOrder) {
  std::mt19937 rng(17);
  reducer_reset(r, 1, 0.25);
  std::vector<std::pair<double, double>> samples;
  for (int i = 0; i < 5000; ++i) samples.emplace_back(1.6e9 + 0.25 * (rng() % 4000000u), rng() % 1000);
  for (const auto& [t, v] : samples) add(t, v);
  std::vector<V> expected(kColumns, V{0});  // samples, minimum, maximum
  for (const auto& [t, v] : samples) {
    const double d = std::floor((t - r.origin) / r.width);
    ASSERT_TRUE(d >= r.lo && d < r.hi) << t;
    V& e = expected[static_cast<std::size_t>(d)];
    e = e[0] == 0 ? V{1, v, v} : V{e[0] + 1, std::min(e[1], v), std::max(e[2], v)};
  }
  for (int i = 0; i < kColumns; ++i) {
    V got = column(i);
    got.resize(expected[static_cast<std::size_t>(i)].size());
    ASSERT_EQ(got, expected[static_cast<std::size_t>(i)]) << "column " << i;
  }
}

// A column is joined to the one before when its first sample follows the sample before it
// within three sampling intervals (the step before); after a gap the next step is the interval.
TEST_F(ReducerTest, SamplesWithinThreeIntervalsAreJoinedAcrossEmptyColumns) {
  reducer_reset(r, 1, 1.0);
  // 16 s steps over columns of 1 s; 68 s is more than three steps of 16 s; 16 s after the gap
  // is joined; a break (haul-out) and a step back are not; the step after that is taken as the
  // interval, as the dive table takes it: 5000 s is joined, and makes the columns 4 s wide.
  for (double t : {0.0, 16.0, 32.0, 100.0, 116.0}) add(t, 1);
  reducer_break(r);
  for (double t : {132.0, 130.0, 5000.0}) add(t, 1);
  ASSERT_EQ(r.width, 4);
  std::vector<int> linked;
  for (int i : {0, 4, 8, 25, 29, 32, 33, 1250}) linked.push_back(r.buckets[static_cast<std::size_t>(i)].linked);
  EXPECT_EQ(linked, (std::vector<int>{0, 1, 1, 0, 1, 0, 0, 1}));
}

}  // namespace
}  // namespace skelv::quicklook
