// Dives found in hand-built depth series, checked through their table lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/dive_table.h"
#include "analysis/dive_tsv.h"

namespace skelv::analysis {
namespace {

constexpr double kT0 = 946684800.0;  // 2000-01-01 00:00:00 UTC
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kCut = -1.0;  // as a depth: a haul-out between two samples

struct Point {
  double t;  // seconds after kT0
  double depth;
  double temp = kNone;
};

void collect(void* context, const Dive& dive) {
  char line[kDiveLineRoom];
  static_cast<std::vector<std::string>*>(context)->emplace_back(line, format_dive_line(dive, line));
}

std::vector<std::string> table(const std::vector<Point>& series, double threshold = 2.0, double min_duration = 0) {
  std::vector<std::string> lines;
  DiveDetector d;
  detector_reset(d, threshold, collect, &lines, min_duration);
  for (const Point& p : series) {
    if (p.depth == kCut) {
      detector_cut(d);
    } else {
      detector_sample(d, kT0 + p.t, p.depth, !std::isnan(p.temp), p.temp);
    }
  }
  detector_finish(d);
  return lines;
}

// A sample a second from t = 0.
std::vector<Point> every_second(const std::vector<double>& depths) {
  std::vector<Point> s;
  for (std::size_t i = 0; i < depths.size(); ++i) s.push_back({static_cast<double>(i), depths[i]});
  return s;
}

struct Case {
  const char* name;
  std::vector<Point> series;
  std::vector<std::string> lines;
};

// Columns: number, start, end, duration, maximum depth and its time, descent time and rate,
// bottom time, ascent time and rate, bottom temperature, surface interval, start cut, end cut.
TEST(DiveTable, DivesOfHandBuiltSeries) {
  const std::vector<Case> cases = {
      // Deeper than 2 m from the sample at 2 s to the one at 5 s; 80 % of 10 m is 8 m: the bottom
      // is the one sample at 3 s. Down 3 -> 10 m in 1 s, up 10 -> 3 m in 2 s.
      {"first and last sample past the threshold", every_second({0, 1, 3, 10, 6, 3, 1, 0}),
       {"1\t2000-01-01 00:00:02.000\t2000-01-01 00:00:05.000\t3.000\t10.000\t2000-01-01 00:00:03.000\t"
        "1.000\t7.000\t0.000\t2.000\t3.500\t\t\t0\t0\n"}},
      // One sample of 1 m splits two dives; the first's surface interval runs from 2 s to 4 s. Each
      // ends at its deepest sample: an ascent of 0 s has no rate.
      {"two dives split by one shallow sample", every_second({0, 5, 8, 1, 7, 9, 0}),
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:02.000\t1.000\t8.000\t2000-01-01 00:00:02.000\t"
        "1.000\t3.000\t0.000\t0.000\t\t\t2.000\t0\t0\n",
        "2\t2000-01-01 00:00:04.000\t2000-01-01 00:00:05.000\t1.000\t9.000\t2000-01-01 00:00:05.000\t"
        "1.000\t2.000\t0.000\t0.000\t\t\t\t0\t0\n"}},
      // Flat bottom at 10 m from 4 s to 12 s (9 m is still past 8 m), a sample every 2 s; the
      // maximum is first met at 4 s. Down 4 -> 10 m in 2 s, up 10 -> 4 m in 2 s.
      {"flat bottom",
       {{0, 0}, {2, 4}, {4, 10}, {6, 10}, {8, 9}, {10, 10}, {12, 10}, {14, 4}, {16, 0}},
       {"1\t2000-01-01 00:00:02.000\t2000-01-01 00:00:14.000\t12.000\t10.000\t2000-01-01 00:00:04.000\t"
        "2.000\t3.000\t8.000\t2.000\t3.000\t\t\t0\t0\n"}},
      // Samples at exactly 80 % of the maximum (8 of 10 m) belong to the bottom: 2 s, descent and
      // ascent of 0 s, and no rates.
      {"bottom edge at 80 %", every_second({0, 8, 10, 8, 0}),
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:03.000\t2.000\t10.000\t2000-01-01 00:00:02.000\t"
        "0.000\t\t2.000\t0.000\t\t\t\t0\t0\n"}},
      // A haul-out inside a dive: it ends at 2 s, cut at its end (no ascent, no surface interval
      // across the haul-out); the next begins already deep after it, cut at its start (no descent).
      {"haul-out", {{0, 0}, {1, 5}, {2, 10}, {2, kCut}, {3600, 10}, {3601, 5}, {3602, 0}},
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:02.000\t1.000\t10.000\t2000-01-01 00:00:02.000\t"
        "1.000\t5.000\t0.000\t\t\t\t\t0\t1\n",
        "2\t2000-01-01 01:00:00.000\t2000-01-01 01:00:01.000\t1.000\t10.000\t2000-01-01 01:00:00.000\t"
        "\t\t0.000\t1.000\t5.000\t\t\t1\t0\n"}},
      // A haul-out between two whole dives: both complete, no surface interval across it.
      {"haul-out at the surface", {{0, 0}, {1, 5}, {2, 0}, {2, kCut}, {60, 0}, {61, 5}, {62, 0}},
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:01.000\t0.000\t5.000\t2000-01-01 00:00:01.000\t"
        "0.000\t\t0.000\t0.000\t\t\t\t0\t0\n",
        "2\t2000-01-01 00:01:01.000\t2000-01-01 00:01:01.000\t0.000\t5.000\t2000-01-01 00:01:01.000\t"
        "0.000\t\t0.000\t0.000\t\t\t\t0\t0\n"}},
      // The data end at 12 m: 80 % is 9.6 m, so the bottom runs from the 10 m sample on; no
      // ascent was seen.
      {"end of data", every_second({0, 5, 10, 12}),
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:03.000\t2.000\t12.000\t2000-01-01 00:00:03.000\t"
        "1.000\t5.000\t1.000\t\t\t\t\t0\t1\n"}},
      // Data that begin in a dive: its start was not seen, so no descent; up 9 -> 5 m in 1 s.
      {"data begin deep", every_second({6, 9, 5, 0}),
       {"1\t2000-01-01 00:00:00.000\t2000-01-01 00:00:02.000\t2.000\t9.000\t2000-01-01 00:00:01.000\t"
        "\t\t0.000\t1.000\t4.000\t\t\t1\t0\n"}},
      // Steps of 1 s, then 3 s (three intervals: no gap), then 10 s (a gap: both sides cut, no
      // surface interval). 80 % of 6 m is 4.8 m: the bottom of the first dive spans 2 s to 5 s.
      {"gap in time", {{0, 0}, {1, 3}, {2, 5}, {5, 6}, {15, 6}, {16, 0}},
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:05.000\t4.000\t6.000\t2000-01-01 00:00:05.000\t"
        "1.000\t2.000\t3.000\t\t\t\t\t0\t1\n",
        "2\t2000-01-01 00:00:15.000\t2000-01-01 00:00:15.000\t0.000\t6.000\t2000-01-01 00:00:15.000\t"
        "\t\t0.000\t0.000\t\t\t\t1\t0\n"}},
      // A haul-out forgets the sampling interval: after it, 1 s steps set it anew, and a step of
      // 10 s (more than three intervals) is a gap that cuts the dive at 01:00:02; the sample after
      // the gap begins a dive unseen.
      {"interval after a haul-out",
       {{0, 0}, {1, 0}, {2, 0}, {2, kCut}, {3600, 0}, {3601, 5}, {3602, 5}, {3612, 5}, {3613, 0}},
       {"1\t2000-01-01 01:00:01.000\t2000-01-01 01:00:02.000\t1.000\t5.000\t2000-01-01 01:00:01.000\t"
        "0.000\t\t1.000\t\t\t\t\t0\t1\n",
        "2\t2000-01-01 01:00:12.000\t2000-01-01 01:00:12.000\t0.000\t5.000\t2000-01-01 01:00:12.000\t"
        "\t\t0.000\t0.000\t\t\t\t1\t0\n"}},
      // The clock starts again at an earlier time (a new stream): a break like a haul-out.
      {"time going back", {{0, 0}, {1, 5}, {2, 5}, {2, 5}, {3, 0}},
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:02.000\t1.000\t5.000\t2000-01-01 00:00:01.000\t"
        "0.000\t\t1.000\t\t\t\t\t0\t1\n",
        "2\t2000-01-01 00:00:02.000\t2000-01-01 00:00:02.000\t0.000\t5.000\t2000-01-01 00:00:02.000\t"
        "\t\t0.000\t0.000\t\t\t\t1\t0\n"}},
      // Bottom temperature: the mean over the bottom phase (8 m and deeper: 10.00, 11.00, 11.01
      // C) is 10.67 C; the descent sample's 20 C does not count.
      {"temperature", {{0, 0, 20}, {1, 5, 20}, {2, 10, 10}, {3, 9, 11}, {4, 10, 11.01}, {5, 0, 20}},
       {"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:04.000\t3.000\t10.000\t2000-01-01 00:00:02.000\t"
        "1.000\t5.000\t2.000\t0.000\t\t10.67\t\t0\t0\n"}},
      // Below zero the mean rounds half up: (-1.25 - 1.30) / 2 = -1.275 -> -1.27.
      {"temperature below zero", {{0, 3, -1.25}, {1, 3, -1.30}},
       {"1\t2000-01-01 00:00:00.000\t2000-01-01 00:00:01.000\t1.000\t3.000\t2000-01-01 00:00:00.000\t"
        "\t\t1.000\t\t\t-1.27\t\t1\t1\n"}},
      // Times and depths as the TDR lines print them: 0.0004 s rounds to 0 (a step that does not go
      // forward: a break), 2.0004 m is 2.000 m (the surface).
      {"millisecond and millimetre", {{0, 2.0004}, {0.0004, 3}, {0.5, 3}},
       {"1\t2000-01-01 00:00:00.000\t2000-01-01 00:00:00.500\t0.500\t3.000\t2000-01-01 00:00:00.000\t"
        "\t\t0.500\t\t\t\t\t1\t1\n"}},
  };
  for (const Case& c : cases) EXPECT_EQ(table(c.series), c.lines) << c.name;
}

TEST(DiveTable, ThresholdAndMinimumDurationChosenByTheCaller) {
  // 6 m is not deeper than 6 m; one that is no depth below the surface falls back to 2 m.
  const std::vector<Point> s = every_second({0, 3, 6, 3, 0});
  EXPECT_EQ(table(s, 5.0),
            (std::vector<std::string>{"1\t2000-01-01 00:00:02.000\t2000-01-01 00:00:02.000\t0.000\t6.000\t"
                                      "2000-01-01 00:00:02.000\t0.000\t\t0.000\t0.000\t\t\t\t0\t0\n"}));
  EXPECT_TRUE(table(s, 6.0).empty());
  for (double t : {-1.0, kNone}) EXPECT_EQ(table(s, t), table(s, 2.0));
  EXPECT_EQ(table(s, 2.0).size(), 1u);
  // Dives of 2 s, 0 s and 2 s with a minimum of 1 s: the short one is left out, the numbers run
  // on, and the first dive's surface interval runs to the next dive kept (3 s to 7 s).
  EXPECT_EQ(table(every_second({0, 5, 5, 5, 0, 5, 0, 6, 6, 6, 0}), 2.0, 1.0),
            (std::vector<std::string>{
                "1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:03.000\t2.000\t5.000\t2000-01-01 00:00:01.000\t"
                "0.000\t\t2.000\t0.000\t\t\t4.000\t0\t0\n",
                "2\t2000-01-01 00:00:07.000\t2000-01-01 00:00:09.000\t2.000\t6.000\t2000-01-01 00:00:07.000\t"
                "0.000\t\t2.000\t0.000\t\t\t\t0\t0\n"}));
}

TEST(DiveTable, SamplesNoLineCanShowAreSkipped) {
  const std::vector<Point> s = {{0, 0}, {1, 3}, {2, kNone}, {3, 1e300}, {2, 6}, {3, 0}};
  EXPECT_EQ(table(s), (std::vector<std::string>{"1\t2000-01-01 00:00:01.000\t2000-01-01 00:00:02.000\t1.000\t"
                                                "6.000\t2000-01-01 00:00:02.000\t1.000\t3.000\t0.000\t0.000\t\t\t\t0\t0\n"}));
  std::vector<std::string> lines;
  DiveDetector d;
  detector_reset(d, 2.0, collect, &lines);
  detector_sample(d, std::numeric_limits<double>::infinity(), 5, false, 0);
  detector_sample(d, 1e12, 5, false, 0);  // past the year 9999
  detector_sample(d, 253402300800.0, 5, false, 0);  // 10000-01-01 00:00:00: no longer
  detector_finish(d);
  detector_sample(d, kT0, 5, false, 0);  // after the end: nothing
  detector_finish(d);
  EXPECT_TRUE(lines.empty());
}

TEST(DiveTable, DiveLongerThanItsBufferKeepsStartEndAndMaximum) {
  std::vector<std::string> lines;
  DiveDetector d;
  detector_reset(d, 2.0, collect, &lines);
  const std::size_t n = kMaxDiveSamples + 10;
  for (std::size_t i = 0; i <= n; ++i) {
    const double depth = i == 0 || i == n ? 0.0 : (i == 7 ? 30.0 : 20.0);
    detector_sample(d, kT0 + static_cast<double>(i), depth, true, 5.0);
  }
  detector_finish(d);
  // 65545 samples of 20 m from 1 s to 65545 s (18:12:25), 30 m at 7 s; the rest unknown.
  EXPECT_EQ(lines, (std::vector<std::string>{"1\t2000-01-01 00:00:01.000\t2000-01-01 18:12:25.000\t65544.000\t"
                                             "30.000\t2000-01-01 00:00:07.000\t\t\t\t\t\t\t\t0\t0\n"}));
}

TEST(DiveTable, UtcTextOfMilliseconds) {
  const struct {
    std::int64_t ms;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00.000"},
      {951782400000 + 86399999, "2000-02-29 23:59:59.999"},  // leap day of a year divisible by 400
      {4107542400000, "2100-03-01 00:00:00.000"},  // no leap day in 2100: the day after 28 February
      {-1, "1969-12-31 23:59:59.999"},
      {253402300799999, "9999-12-31 23:59:59.999"},
      {253402300800000, "0000-00-00 00:00:00.000"},  // past the year 9999, or before the year 0
      {-62167219200001, "0000-00-00 00:00:00.000"},
      {-62167219200000, "0000-01-01 00:00:00.000"},
  };
  for (const auto& c : cases) {
    char text[24];
    EXPECT_EQ(format_utc_ms(c.ms, text), 23u);
    EXPECT_STREQ(text, c.text);
  }
}

}  // namespace
}  // namespace skelv::analysis
