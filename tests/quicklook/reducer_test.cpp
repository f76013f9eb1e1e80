// The min/max reduction of long series to a fixed number of columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "quicklook/reducer.h"

namespace skelv::quicklook {
namespace {

Extremes of(std::initializer_list<double> values) {
  Extremes e{*values.begin(), *values.begin(), 0, 0, true};
  for (double v : values) extremes_add(e, v, 0);
  return e;
}

TEST(Extremes, KnowWhetherTheMinimumCameFirst) {
  struct Row {
    std::vector<double> values;
    double min, max;
    bool min_first;
  };
  const Row rows[] = {
      {{5}, 5, 5, true},
      {{5, 9, 2}, 2, 9, false},  // the low 2 comes after the high 9
      {{5, 2, 9}, 2, 9, true},
      {{9, 2, 9, 2}, 2, 9, false},  // ties keep the first of each: 9 at 0, 2 at 1
  };
  for (const Row& r : rows) {
    Extremes e{r.values[0], r.values[0], 0, 0, true};
    for (double v : r.values) extremes_add(e, v, 0);
    EXPECT_EQ(e.min, r.min);
    EXPECT_EQ(e.max, r.max);
    EXPECT_EQ(e.min_first, r.min_first) << r.values.size();
  }
}

TEST(Extremes, MergeInTimeOrder) {
  // {5, 9, 2} then {1, 3}: the minimum moves to the later part, the maximum stays: 9 before 1.
  Extremes a = of({5, 9, 2});
  extremes_merge(a, of({1, 3}));
  EXPECT_EQ(a.min, 1);
  EXPECT_EQ(a.max, 9);
  EXPECT_FALSE(a.min_first);
  // {5, 2} then {10}: the maximum moves to the later part: 2 before 10.
  Extremes b = of({5, 2});
  extremes_merge(b, of({10}));
  EXPECT_TRUE(b.min_first);
  // Both move: the later part's own order counts. {4} then {1, 8} and {8, 1}.
  Extremes c = of({4});
  extremes_merge(c, of({1, 8}));
  EXPECT_TRUE(c.min_first);
  Extremes d = of({4});
  extremes_merge(d, of({8, 1}));
  EXPECT_FALSE(d.min_first);
}

class TimeReducerTest : public ::testing::Test {
 protected:
  void add(double t, double v) { reducer_add(r, t, &v, 1); }
  const TimeBucket& column(int i) const { return r.buckets[static_cast<std::size_t>(i)]; }
  // Heap: a reducer is large.
  std::unique_ptr<TimeReducer> owner = std::make_unique<TimeReducer>();
  TimeReducer& r = *owner;
};

TEST_F(TimeReducerTest, SamplesOfOneColumnKeepTheirExtremes) {
  reducer_reset(r, 1, 1.0);
  add(100.0, 5);
  add(100.5, 7);
  add(101.2, 3);
  // The first sample fixes the origin: columns [100, 101) and [101, 102).
  EXPECT_EQ(r.origin, 100.0);
  EXPECT_EQ(r.lo, 0);
  EXPECT_EQ(r.hi, 2);
  EXPECT_EQ(column(0).count, 2u);
  EXPECT_EQ(column(0).ch[0].min, 5);
  EXPECT_EQ(column(0).ch[0].max, 7);
  EXPECT_TRUE(column(0).ch[0].min_first);
  EXPECT_EQ(column(1).count, 1u);
  EXPECT_EQ(column(1).ch[0].min, 3);
}

TEST_F(TimeReducerTest, ASampleBeyondTheLastColumnDoublesTheWidth) {
  reducer_reset(r, 1, 1.0);
  add(100.0, 5);
  add(100.5, 7);
  add(101.2, 3);
  // 2500 is 2400 columns of 1 s after the origin, one past the last: columns merge in pairs,
  // 2 s wide; [100, 102) holds 5, 7, 3 (the low 3 after the high 7), and 2500 falls in 1200.
  static_assert(kColumns == 2400);
  add(2500.0, 1);
  EXPECT_EQ(r.width, 2.0);
  EXPECT_EQ(r.origin, 100.0);
  EXPECT_EQ(r.lo, 0);
  EXPECT_EQ(r.hi, 1201);
  EXPECT_EQ(column(0).count, 3u);
  EXPECT_EQ(column(0).ch[0].min, 3);
  EXPECT_EQ(column(0).ch[0].max, 7);
  EXPECT_FALSE(column(0).ch[0].min_first);
  EXPECT_EQ(column(1).count, 0u);
  EXPECT_EQ(column(1200).count, 1u);
  EXPECT_EQ(column(1200).ch[0].min, 1);
}

TEST_F(TimeReducerTest, ASampleBeforeTheFirstColumnMovesTheColumnsRight) {
  reducer_reset(r, 1, 1.0);
  add(1000.0, 1);
  // 998.5 lies two columns before the origin. The columns move right by those 2 and half of the
  // 2397 other free columns (1198): 1200 in all, so the origin becomes -200 and 998.5 falls in 1198.
  add(998.5, 2);
  EXPECT_EQ(r.width, 1.0);
  EXPECT_EQ(r.origin, -200.0);
  EXPECT_EQ(r.lo, 1198);
  EXPECT_EQ(r.hi, 1201);
  EXPECT_EQ(column(1198).ch[0].min, 2);
  EXPECT_EQ(column(1200).ch[0].min, 1);
  EXPECT_EQ(column(0).count, 0u);
}

// Whatever the order of the samples, each column ends up with the extremes of exactly the
// samples whose times lie in it. Times are multiples of 1/4 s and widths powers of two times
// 1/4 s, so every column boundary is exact.
TEST_F(TimeReducerTest, ColumnsHoldTheExtremesOfTheirSamplesInAnyOrder) {
  std::mt19937 rng(17);
  for (int round = 0; round < 3; ++round) {
    reducer_reset(r, 1, 0.25);
    std::vector<std::pair<double, double>> samples;
    for (int i = 0; i < 5000; ++i) {
      const double t = 1.6e9 + 0.25 * static_cast<double>(rng() % (round == 0 ? 800u : 4000000u));
      samples.emplace_back(t, static_cast<double>(rng() % 1000));
    }
    if (round == 1) std::sort(samples.begin(), samples.end());
    if (round == 2) std::sort(samples.rbegin(), samples.rend());
    for (const auto& [t, v] : samples) add(t, v);

    std::vector<std::uint64_t> count(kColumns, 0);
    std::vector<double> lo(kColumns, 1e9), hi(kColumns, -1e9);
    for (const auto& [t, v] : samples) {
      const double d = std::floor((t - r.origin) / r.width);
      ASSERT_GE(d, r.lo);
      ASSERT_LT(d, r.hi);
      const auto i = static_cast<std::size_t>(d);
      ++count[i];
      lo[i] = std::min(lo[i], v);
      hi[i] = std::max(hi[i], v);
    }
    for (int i = 0; i < kColumns; ++i) {
      ASSERT_EQ(column(i).count, count[static_cast<std::size_t>(i)]) << round << " " << i;
      if (count[static_cast<std::size_t>(i)] == 0) continue;
      EXPECT_EQ(column(i).ch[0].min, lo[static_cast<std::size_t>(i)]);
      EXPECT_EQ(column(i).ch[0].max, hi[static_cast<std::size_t>(i)]);
    }
  }
}

TEST_F(TimeReducerTest, ChannelsWithoutAValueStayAbsent) {
  reducer_reset(r, 3, 1.0);
  const double v[3] = {1, 2, 3};
  reducer_add(r, 0.0, v, 0b101);  // no value in channel 1
  EXPECT_EQ(column(0).present, 0b101);
  const double w[3] = {4, 5, 6};
  reducer_add(r, 0.5, w, 0b010);
  EXPECT_EQ(column(0).present, 0b111);
  EXPECT_EQ(column(0).ch[1].min, 5);
  EXPECT_EQ(column(0).ch[1].max, 5);
  EXPECT_EQ(column(0).ch[0].max, 1);
}

TEST_F(TimeReducerTest, CoverMarksEveryColumnAPeriodOverlaps) {
  reducer_reset(r, 0, 1.0);
  reducer_cover(r, 10.0, 13.5);  // columns [10,11) .. [13,14)
  EXPECT_EQ(r.lo, 0);
  EXPECT_EQ(r.hi, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(column(i).count, 1u) << i;
  // 3000 lies 2990 columns on: width 2, columns 0 and 1 keep the first period, 1495 the second.
  reducer_cover(r, 3001.0, 3000.0);
  EXPECT_EQ(r.width, 2.0);
  std::vector<int> marked;
  for (int i = r.lo; i < r.hi; ++i) {
    if (column(i).count > 0) marked.push_back(i);
  }
  EXPECT_EQ(marked, (std::vector<int>{0, 1, 1495}));
}

TEST(CastTrace, MergesColumnsAsTheCastGrows) {
  auto c = std::make_unique<CastTrace>();
  cast_reset(*c, 0, 0);
  // Temperature i at pressure i / 2 for samples 0..249: the columns merge at sample 100 (2 per
  // column) and 200 (4 per column); 250 samples fill 63 columns.
  for (int i = 0; i < 250; ++i) {
    const double v[2] = {static_cast<double>(i), 0};
    cast_add(*c, i * 0.5, v, 1);
  }
  EXPECT_EQ(c->stride, 4u);
  EXPECT_EQ(cast_columns(*c), 63);
  const Extremes& first = c->buckets[0].ch[0];  // samples 0..3
  EXPECT_EQ(first.min, 0);
  EXPECT_EQ(first.min_at, 0.0);
  EXPECT_EQ(first.max, 3);
  EXPECT_EQ(first.max_at, 1.5);
  EXPECT_TRUE(first.min_first);
  const Extremes& last = c->buckets[62].ch[0];  // samples 248, 249
  EXPECT_EQ(last.min, 248);
  EXPECT_EQ(last.max_at, 124.5);
  EXPECT_EQ(c->buckets[0].present, 1);
  EXPECT_EQ(c->max_pressure, 124.5);
}

TEST(CastSet, KeepsCastsSpreadEvenlyOverAllCasts) {
  auto s = std::make_unique<CastSet>();
  const double v[2] = {1, 2};
  for (int i = 0; i < 100; ++i) {
    castset_begin(*s, i);
    castset_add(*s, 1.0, v, 3);
  }
  castset_end(*s);
  // Casts 0..39 fill the slots; cast 40 doubles the stride (0, 2, .., 40: 21 kept); cast 80 doubles
  // it again (0, 4, .., 80: 21); 84, 88, 92, 96 follow: 25 casts, every 4th.
  EXPECT_EQ(s->total, 100u);
  EXPECT_EQ(s->stride, 4u);
  ASSERT_EQ(s->kept, 25);
  for (int k = 0; k < s->kept; ++k) {
    EXPECT_EQ(s->casts[static_cast<std::size_t>(k)].number, 4u * static_cast<unsigned>(k));
    EXPECT_EQ(s->casts[static_cast<std::size_t>(k)].start_time, 4.0 * k);
    EXPECT_EQ(s->casts[static_cast<std::size_t>(k)].samples, 1u);
  }
}

}  // namespace
}  // namespace skelv::quicklook
