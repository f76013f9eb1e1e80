// The dives: maximum depth against time of day, histograms of durations and maximum depths, the
// deepest and longest dives, and one depth strip per day.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quicklook/page_draw.h"

namespace skelv::quicklook {

using namespace draw;

namespace {

// Grey from light (few) to black (many) on a logarithmic scale.
void count_grey(std::uint64_t n, std::uint64_t most, char* out) {
  const double r = most > 1 ? std::log(static_cast<double>(n)) / std::log(static_cast<double>(most)) : 1.0;
  const int g = static_cast<int>(std::lround(200 - 200 * r));
  std::snprintf(out, 8, "#%02x%02x%02x", g, g, g);
}

// Tick values of a logarithmic axis, with their labels; `major` ones stay when the others crowd.
struct LogTick {
  double value;
  const char* label;
  bool major;
};
constexpr LogTick kDurationTicks[] = {
    {1, "1 s", true},       {2, "2 s", false},       {5, "5 s", false},      {10, "10 s", true},
    {20, "20 s", false},    {30, "30 s", false},     {60, "1 min", true},    {120, "2 min", false},
    {300, "5 min", false},  {600, "10 min", true},   {1200, "20 min", false}, {1800, "30 min", false},
    {3600, "1 h", true},    {7200, "2 h", false},    {18000, "5 h", false},  {36000, "10 h", true},
    {86400, "1 d", true},   {172800, "2 d", false},  {432000, "5 d", false}, {864000, "10 d", true},
    {1728000, "20 d", false}, {4320000, "50 d", false}, {8640000, "100 d", true}};
constexpr LogTick kDepthTicks[] = {
    {0.1, "0.1", true}, {0.2, "0.2", false}, {0.5, "0.5", false}, {1, "1", true},       {2, "2", false},
    {5, "5", false},    {10, "10", true},    {20, "20", false},   {50, "50", false},    {100, "100", true},
    {200, "200", false}, {500, "500", false}, {1000, "1000", true}, {2000, "2000", false}, {5000, "5000", false},
    {10000, "10000", true}};

template <std::size_t N>
Ticks log_ticks(double lo, double hi, const LogTick (&table)[N]) {
  Ticks t;
  t.lo = lo;
  t.hi = hi;
  int inside = 0;
  for (const LogTick& k : table) inside += std::log10(k.value) >= lo - 1e-9 && std::log10(k.value) <= hi + 1e-9;
  for (const LogTick& k : table) {
    const double v = std::log10(k.value);
    if (v < lo - 1e-9 || v > hi + 1e-9 || (inside > 7 && !k.major) || t.count == kMaxTicks) continue;
    Tick& tick = t.ticks[static_cast<std::size_t>(t.count++)];
    tick.value = v;
    std::snprintf(tick.label, sizeof tick.label, "%s", k.label);
  }
  return t;
}

// Counts on a logarithmic axis: 1, 10, 100, ... with a bar of 1 still standing clear of the base.
Ticks count_ticks(std::uint64_t most) {
  Ticks t;
  t.lo = -0.3;
  t.hi = std::max(1.0, std::ceil(std::log10(static_cast<double>(most)) - 1e-9));
  for (int k = 0; k <= static_cast<int>(t.hi) && t.count < kMaxTicks; ++k) {
    Tick& tick = t.ticks[static_cast<std::size_t>(t.count++)];
    tick.value = k;
    std::snprintf(tick.label, sizeof tick.label, "%s", count_text(static_cast<std::uint64_t>(std::pow(10, k))).c_str());
  }
  return t;
}

// A histogram on logarithmic scales both ways, so that every bar reads: the bins from the first
// to the last in use, and left of them, apart, the values below the first bin.
void histogram_panel(std::string& out, const Frame& f, const LogHistogram& h, bool durations, const char* title) {
  int first = kLogBins, last = -1;
  std::uint64_t most = std::max<std::uint64_t>(h.below, 1);
  for (int i = 0; i < kLogBins; ++i) {
    const std::uint64_t n = h.counts[static_cast<std::size_t>(i)];
    if (n == 0) continue;
    first = std::min(first, i);
    last = i;
    most = std::max(most, n);
  }
  if (last < 0) first = last = 0;
  // Room for the bar of the values below the first bin: one bin and a gap of one, left of it.
  const double bin = 1.0 / kLogBinsPerDecade;
  const double lo = h.first_decade + first * bin, hi = h.first_decade + (last + 1) * bin;
  const double room = h.below > 0 ? 2 * bin : 0;
  const Frame fb{f.x + f.w * room / (hi - lo + room), f.y, f.w * (hi - lo) / (hi - lo + room), f.h};
  const Ticks xt = durations ? log_ticks(lo, hi, kDurationTicks) : log_ticks(lo, hi, kDepthTicks);
  const Ticks yt = count_ticks(most);
  const Map mx{lo, hi}, my{yt.lo, yt.hi};
  value_axis(out, f, yt, false, "Dives (logarithmic)");
  value_axis_x(out, fb, xt, title);
  const double base = f.y + f.h;
  auto bar = [&](double x0, double x1, std::uint64_t n, const std::string& what) {
    const double y = map_y(f, my, std::log10(static_cast<double>(n)));
    appendf(out, "<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"><title>%s: %s</title></rect>",
            x0, y, std::max(0.5, x1 - x0 - 1), base - y, what.c_str(), count_text(n).c_str());
  };
  // Durations are whole sampling intervals: a bin too narrow to hold one (the shortest duration
  // seen stands for the interval) joins the next, so that short dives show no false gaps.
  const double quantum = durations ? h.least : 0;
  for (int i = first; i <= last;) {
    int j = i;
    auto holds = [&](int from, int to) {
      return quantum <= 0 || std::ceil(log_bin_edge(h, from) / quantum - 1e-9) * quantum < log_bin_edge(h, to + 1);
    };
    while (j < last && !holds(i, j)) ++j;
    std::uint64_t n = 0;
    for (int k = i; k <= j; ++k) n += h.counts[static_cast<std::size_t>(k)];
    if (n > 0) {
      char what[64];
      const double a = log_bin_edge(h, i), b = log_bin_edge(h, j + 1);
      if (durations) {
        std::snprintf(what, sizeof what, "%s to %s", duration_text(a).c_str(), duration_text(b).c_str());
      } else {
        std::snprintf(what, sizeof what, "%.3g to %.3g m", a, b);
      }
      bar(map_x(fb, mx, lo + (i - first) * bin), map_x(fb, mx, lo + (j + 1 - first) * bin), n, what);
    }
    i = j + 1;
  }
  if (h.below > 0) {
    const double w = fb.x - f.x;
    const std::string below = durations ? "under " + duration_text(log_bin_edge(h, 0)) : "under 0.1 m";
    bar(f.x, f.x + w / 2, h.below, below);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>", f.x + w / 4, base + 18,
            durations ? "&lt;1 s" : "&lt;0.1");
  }
}

void cut_text(const analysis::Dive& v, char* out) {
  std::snprintf(out, 16, "%s", v.start_cut && v.end_cut ? "both ends" : v.start_cut ? "start" : v.end_cut ? "end" : "");
}

void dive_rows(std::string& out, const std::array<analysis::Dive, kTopDives>& dives, int count) {
  out += "<table class=\"dives\">\n<tr><th>Dive</th><th>Start (UTC)</th><th>Duration</th><th>Maximum depth</th>"
         "<th>Bottom time</th><th>Cut</th></tr>\n";
  for (int i = 0; i < count; ++i) {
    const analysis::Dive& v = dives[static_cast<std::size_t>(i)];
    char cut[16];
    cut_text(v, cut);
    const std::string bottom = v.has_bottom ? duration_text(static_cast<double>(v.bottom_ms) * 0.001) : "";
    appendf(out,
            "<tr><td class=\"n\">%llu</td><td>%s</td><td class=\"n\">%s</td><td class=\"n\">%.1f m</td>"
            "<td class=\"n\">%s</td><td>%s</td></tr>\n",
            static_cast<unsigned long long>(v.number), time_text(static_cast<double>(v.start_ms) * 0.001).c_str(),
            duration_text(static_cast<double>(v.end_ms - v.start_ms) * 0.001).c_str(), v.max_depth_mm * 0.001,
            bottom.c_str(), cut);
  }
  out += "</table>\n";
}

}  // namespace

// The dive table: maximum depth against time of day, histograms, the deepest and longest dives.
void dives_section(std::string& out, const Deployment& d) {
  const DiveSummary& s = d.dive_table;
  if (s.dives == 0) return;
  section_begin(out, "dives", "Dives");
  appendf(out,
          "<p class=\"note\">%s dives deeper than %g m, found as <code>Skelv -dives</code> finds them "
          "with the same switches (a dive cut by a haul-out, a gap in time or the end of the data counts as "
          "cut: %s). Durations are hours:minutes:seconds.</p>\n",
          count_text(s.dives).c_str(), s.settings.threshold_m, count_text(s.cut).c_str());
  // Maximum depth against time of day: dives counted per cell.
  const DepthClock& c = s.clock;
  int rows = 1;
  std::uint64_t most = 1;
  for (int r = 0; r < kDepthRows; ++r) {
    for (std::uint32_t n : c.counts[static_cast<std::size_t>(r)]) {
      if (n > 0) rows = r + 1;
      most = std::max<std::uint64_t>(most, n);
    }
  }
  const double height = 300;
  const Frame f{kLeft, 28, kPlotWidth, height - 28 - 52};
  const Ticks dt = value_ticks(0, rows * c.row_height, 5);
  const Ticks ht = hour_ticks();
  const Map mx{0, 24}, my{dt.lo, dt.hi, true};
  svg_begin(out, height, "dive-clock", "Maximum depth of each dive against the time of day of the maximum");
  appendf(out, "<text x=\"%.1f\" y=\"16\">Maximum depth against time of day (UTC); darker: more dives</text>",
          kLeft);
  value_axis(out, f, dt, true, "Maximum depth (m)");
  value_axis_x(out, f, ht, "Time of day of the maximum (UTC)");
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < kDayColumns; ++k) {
      const std::uint32_t n = c.counts[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)];
      if (n == 0) continue;
      char grey[8];
      count_grey(n, most, grey);
      const double x0 = map_x(f, mx, k * 24.0 / kDayColumns), x1 = map_x(f, mx, (k + 1) * 24.0 / kDayColumns);
      const double y0 = map_y(f, my, r * c.row_height), y1 = map_y(f, my, (r + 1) * c.row_height);
      appendf(out, "<rect fill=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", grey, x0, y0,
              x1 - x0, std::max(1.0, y1 - y0));
    }
  }
  out += "</svg>\n";
  // Histograms side by side.
  const double hh = 260, gap = 96;
  const double w = (kSvgWidth - kLeft - kRight - gap) / 2;
  svg_begin(out, hh, "dive-histograms", "Histograms of dive durations and maximum depths");
  histogram_panel(out, Frame{kLeft, 20, w, hh - 20 - 52}, s.durations, true, "Duration (logarithmic)");
  histogram_panel(out, Frame{kLeft + w + gap, 20, w, hh - 20 - 52}, s.depths, false,
                  "Maximum depth (m, logarithmic)");
  out += "</svg>\n";
  out += "<div class=\"tops\"><div><h3>Ten deepest dives</h3>\n";
  dive_rows(out, s.deepest, s.deepest_count);
  out += "</div><div><h3>Ten longest dives</h3>\n";
  dive_rows(out, s.longest, s.longest_count);
  out += "</div></div>\n</section>\n";
}

// Strip columns drawn in all, whatever the number of days: bounds the page's size.
constexpr int kStripBudget = 128000;

// One strip per day: the greatest depth of every few minutes, all on one depth scale.
void day_strips_section(std::string& out, const Deployment& d) {
  const DayStrips& s = d.strips;
  if (!s.any || s.days == 0) return;
  int deepest = 0;
  for (int r = 0; r < s.days; ++r) {
    for (std::uint16_t v : s.max_depth[static_cast<std::size_t>(r)]) {
      if (v != kNoDepth) deepest = std::max<int>(deepest, v);
    }
  }
  const Ticks dt = value_ticks(0, std::max(1.0, deepest * 0.1), 2);
  // Columns merge in groups of `group` when there are many days.
  int group = 1;
  while (group < kStripColumns && s.days * (kStripColumns / group) > kStripBudget) group *= 2;
  const int columns = kStripColumns / group;
  section_begin(out, "days", "Day by day");
  appendf(out,
          "<p class=\"note\">One strip per day (UTC), 00:00 at the left to 24:00 at the right; each strip shows "
          "the greatest depth of every %d minutes, from 0 m at its top to %g m at its bottom.%s</p>\n",
          3 * group, dt.hi, s.outside > 0 ? " Samples outside the first 1000 days are not drawn." : "");
  const double row = 30, gap = 6, top = 30;
  const double height = top + s.days * (row + gap) + 30;
  svg_begin(out, height, "day-strips", "Depth day by day");
  const Frame all{kLeft, top, kPlotWidth, s.days * (row + gap) - gap};
  const Ticks ht = hour_ticks();
  for (int i = 0; i < ht.count; ++i) {
    const Tick& tick = ht.ticks[static_cast<std::size_t>(i)];
    const double x = all.x + tick.value / 24.0 * all.w;
    svg_line(out, "grid", x, all.y, x, all.y + all.h);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>", x, top - 8, tick.label);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>", x, all.y + all.h + 18,
            tick.label);
  }
  // Paths in whole units: x in columns, y in half pixels.
  const double scale_y = row * 2 / (dt.hi * 10);  // half pixels per decimetre
  for (int r = 0; r < s.days; ++r) {
    const Frame f{kLeft, top + r * (row + gap), kPlotWidth, row};
    appendf(out, "<rect class=\"strip\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", f.x, f.y, f.w, f.h);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>", f.x - 6, f.y + row / 2 + 4,
            date_text(s.first_day + r).c_str());
    const auto& cols = s.max_depth[static_cast<std::size_t>(r)];
    appendf(out, "<path class=\"daydepth\" transform=\"translate(%.1f %.1f) scale(%.4f 0.5)\" d=\"", f.x, f.y,
            f.w / columns);
    bool open = false;
    long last_y = -1;
    int last_c = 0;  // where the pen stands
    for (int c = 0; c <= columns; ++c) {
      int v = -1;
      for (int k = 0; c < columns && k < group; ++k) {
        const std::uint16_t cell = cols[static_cast<std::size_t>(c * group + k)];
        if (cell != kNoDepth) v = std::max<int>(v, cell);
      }
      if (v < 0) {
        if (open) appendf(out, "h%dV0Z", c - last_c);
        open = false;
        continue;
      }
      const long y = std::min(lround(v * scale_y), static_cast<long>(row * 2));
      if (!open) {
        appendf(out, "M%d 0V%ld", c, y);
        last_c = c;
      } else if (y != last_y) {
        appendf(out, "h%dV%ld", c - last_c, y);
        last_c = c;
      }
      last_y = y;
      open = true;
    }
    out += "\"/>\n";
  }
  out += "</svg>\n</section>\n";
}

}  // namespace skelv::quicklook
