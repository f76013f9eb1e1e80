// The panels against time: the dive profile with haul-outs, temperature and wet/dry state, the
// GPS snapshot times and the accelerometer, all on one time axis.
//
// A series with few samples per column is drawn as a trace through each column's extremes in
// the order they occurred, samples within three sampling intervals of each other joined. A
// series with many samples per column (a long record) is drawn as an envelope per column, the
// range from its lowest to its highest value shaded, with a line through the deepest value (for
// depth) or the mean, so that a month of dives reads as a shape rather than a solid block.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "quicklook/page_draw.h"

namespace skelv::quicklook {

using namespace draw;

namespace {

// Samples per column in use, on average, above which a series is drawn as an envelope.
constexpr double kEnvelopeSamples = 4.0;

enum class Line { kMax, kMean };  // the line drawn over an envelope

struct SeriesStyle {
  int channel;
  const char* cls;
  const char* legend;
  Line line = Line::kMean;
};

bool envelope_mode(const TimeReducer& r) {
  std::uint64_t samples = 0, columns = 0;
  for (int i = r.lo; i < r.hi; ++i) {
    const std::uint64_t n = r.buckets[static_cast<std::size_t>(i)].count;
    samples += n;
    columns += n > 0 ? 1 : 0;
  }
  return columns > 0 && static_cast<double>(samples) > kEnvelopeSamples * static_cast<double>(columns);
}

bool has_channel(const TimeBucket& b, int ch) { return b.count > 0 && (b.present & (1u << ch)) != 0; }

double column_x(const Frame& f, const Map& mx, const TimeReducer& r, int i) {
  return map_x(f, mx, column_start(r, i) + r.width / 2);
}

// The trace of channel `ch`: per column its extremes in the order they occurred; the pen lifts
// where the samples are not joined. An isolated point gets a short stroke so that it shows.
void trace_path(std::string& out, const Frame& f, const TimeReducer& r, int ch, const Map& mx, const Map& my,
                const char* cls) {
  appendf(out, "<path class=\"series %s\" d=\"", cls);
  bool pen = false;
  bool alone = false;  // the last point began a new piece
  for (int i = r.lo; i < r.hi; ++i) {
    const TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
    if (b.count == 0) continue;
    if (!has_channel(b, ch) || !b.linked) {
      if (alone) out += "h1";
      pen = alone = false;
      if (!has_channel(b, ch)) continue;
    }
    const Extremes& e = b.ch[static_cast<std::size_t>(ch)];
    const double x = column_x(f, mx, r, i);
    alone = !pen && e.min == e.max;
    trace_point(out, pen, x, map_y(f, my, e.min_first ? e.min : e.max));
    if (e.min != e.max) trace_point(out, pen, x, map_y(f, my, e.min_first ? e.max : e.min));
  }
  if (alone) out += "h1";
  out += "\"/>\n";
}

// The envelope of channel `ch`: one shaded polygon per run of joined columns, then the line.
void envelope_path(std::string& out, const Frame& f, const TimeReducer& r, int ch, const Map& mx, const Map& my,
                   const char* cls, Line line) {
  appendf(out, "<path class=\"envelope %s\" d=\"", cls);
  for (int i = r.lo; i < r.hi;) {
    if (!has_channel(r.buckets[static_cast<std::size_t>(i)], ch)) {
      ++i;
      continue;
    }
    // The run: columns with the channel, each joined to the one before (empty columns between
    // joined ones are bridged).
    int j = i + 1, last = i;
    for (; j < r.hi; ++j) {
      const TimeBucket& b = r.buckets[static_cast<std::size_t>(j)];
      if (b.count == 0) continue;
      if (!has_channel(b, ch) || !b.linked) break;
      last = j;
    }
    bool pen = false;
    for (int k = i; k <= last; ++k) {
      const TimeBucket& b = r.buckets[static_cast<std::size_t>(k)];
      if (b.count > 0) trace_point(out, pen, column_x(f, mx, r, k), map_y(f, my, b.ch[static_cast<std::size_t>(ch)].min));
    }
    for (int k = last; k >= i; --k) {
      const TimeBucket& b = r.buckets[static_cast<std::size_t>(k)];
      if (b.count > 0) trace_point(out, pen, column_x(f, mx, r, k), map_y(f, my, b.ch[static_cast<std::size_t>(ch)].max));
    }
    out += "Z";
    i = j;
  }
  out += "\"/>\n";
  appendf(out, "<path class=\"series %s\" d=\"", cls);
  bool pen = false;
  for (int i = r.lo; i < r.hi; ++i) {
    const TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
    if (b.count == 0) continue;
    if (!has_channel(b, ch) || !b.linked) pen = false;
    if (!has_channel(b, ch)) continue;
    const Extremes& e = b.ch[static_cast<std::size_t>(ch)];
    const double v = line == Line::kMax ? e.max : e.sum / static_cast<double>(std::max<std::uint64_t>(e.n, 1));
    trace_point(out, pen, column_x(f, mx, r, i), map_y(f, my, v));
  }
  out += "\"/>\n";
}

// The series of `style`, and its legend at (x, 12); returns where the next legend goes.
double series(std::string& out, const Frame& f, const TimeReducer& r, const SeriesStyle& style, const Map& mx,
              const Map& my, double legend_x) {
  const bool envelope = envelope_mode(r);
  if (envelope) {
    envelope_path(out, f, r, style.channel, mx, my, style.cls, style.line);
  } else {
    trace_path(out, f, r, style.channel, mx, my, style.cls);
  }
  if (style.legend == nullptr) return legend_x;
  std::string text = style.legend;
  if (envelope) text += style.line == Line::kMax ? ": the deepest" : ": the mean";
  legend_line(out, legend_x, 12, style.cls, text.c_str());
  legend_x += 34 + 7.0 * static_cast<double>(text.size()) + 24;
  if (!envelope) return legend_x;
  const char* range = "lowest to highest";
  legend_box(out, legend_x, 12, (std::string("envelope ") + style.cls).c_str(), range);
  return legend_x + 34 + 7.0 * static_cast<double>(std::strlen(range)) + 24;
}

// The hatching of haul-outs in the panel `id`: it stays apart from the shaded ranges in print.
// Returns the fill that refers to it.
std::string hatch(std::string& out, const char* id) {
  appendf(out,
          "<defs><pattern id=\"hatch-%s\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
          "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#f2ead6\"/>"
          "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#b89a5a\" stroke-width=\"1.5\"/></pattern></defs>\n",
          id);
  return std::string("url(#hatch-") + id + ")";
}

// Rectangles of class `cls` and fill `fill` over the marked columns of `r`.
void cover_rects(std::string& out, const Frame& f, const TimeReducer& r, const Map& mx, const char* cls,
                 const std::string& fill) {
  for (int i = r.lo; i < r.hi;) {
    if (r.buckets[static_cast<std::size_t>(i)].count == 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < r.hi && r.buckets[static_cast<std::size_t>(j)].count > 0) ++j;
    const double x0 = map_x(f, mx, column_start(r, i));
    const double x1 = std::max(map_x(f, mx, column_start(r, j)), x0 + 1);
    appendf(out, "<rect class=\"%s\" fill=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", cls,
            fill.c_str(), x0, f.y, x1 - x0, f.h);
    i = j;
  }
  out += "\n";
}

// A panel of one channel of `r` against time, with the shaded periods of `shade`.
void time_panel(std::string& out, const char* id, const char* title, double height, const TimeReducer& r,
                const SeriesStyle& style, const TimeSpan& span, const char* unit, bool down,
                const TimeReducer* shade, const char* shade_legend, double fixed_lo = NAN) {
  Range values = channel_range(r, style.channel);
  if (!std::isnan(fixed_lo)) values.add(fixed_lo);
  // Wet/dry states are whole numbers: ticks a whole step apart.
  const bool states = std::strcmp(style.cls, "wetdry") == 0;
  const Ticks vt = states ? value_ticks(values.lo, std::max(values.hi, values.lo + 2), 2)
                          : value_ticks(values.lo, values.hi, height < 120 ? 2 : 5);
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Frame f{kLeft, 28, kPlotWidth, height - 28 - 52};
  const Map mx{tt.lo, tt.hi};
  const Map my{vt.lo, vt.hi, down};
  svg_begin(out, height, id, title);
  const std::string fill = shade != nullptr ? hatch(out, id) : std::string();
  if (shade != nullptr && !reducer_empty(*shade)) cover_rects(out, f, *shade, mx, "haulout", fill);
  value_axis(out, f, vt, down, unit);
  time_axis(out, f, tt);
  const double lx = series(out, f, r, style, mx, my, f.x);
  if (shade_legend != nullptr) {
    appendf(out, "<rect class=\"haulout legend\" fill=\"%s\" x=\"%.1f\" y=\"7\" width=\"28\" height=\"10\"/>",
            fill.c_str(), lx);
    appendf(out, "<text x=\"%.1f\" y=\"16\">%s</text>", lx + 34, shade_legend);
  }
  out += "</svg>\n";
}

}  // namespace

// What each wet/dry value stood for in these data: its samples, and how many of them were taken
// deeper than the dive threshold, that is surely under water.
namespace {

const char* wetdry_reading(const Deployment& d, std::size_t v) {
  const std::uint64_t n = d.wetdry_samples[v], deep = d.wetdry_deep[v];
  if (2 * deep >= n) return "wet";
  return deep == 0 ? "dry or at the surface" : "mostly at the surface";
}

}  // namespace

// "DRYNESS: 0 wet, 1 dry or at the surface" for the values met, the most frequent first (four).
std::string wetdry_legend(const Deployment& d) {
  std::string text = d.dryness ? "DRYNESS" : "WETDRY";
  std::array<bool, 256> shown{};
  for (int k = 0; k < 4; ++k) {
    std::size_t best = 256;
    for (std::size_t v = 0; v < 256; ++v) {
      if (!shown[v] && d.wetdry_samples[v] > 0 && (best == 256 || d.wetdry_samples[v] > d.wetdry_samples[best])) best = v;
    }
    if (best == 256) break;
    shown[best] = true;
    text += (k == 0 ? ": " : ", ") + std::to_string(best) + " " + wetdry_reading(d, best);
  }
  return text;
}

void wetdry_table(std::string& out, const Deployment& d) {
  appendf(out,
          "<p class=\"note\">%s is the tag's wet/dry state byte (0 to 255) as the TDR lines print it. "
          "What each value stood for in these data: the share of its samples taken deeper than the "
          "dive threshold (%g m), that is under water.</p>\n<table class=\"wetdry\">\n<tr><th>Value</th>"
          "<th>Samples</th><th>Deeper than %g m</th><th>Reads as</th></tr>\n",
          d.dryness ? "DRYNESS" : "WETDRY", d.dive_table.settings.threshold_m, d.dive_table.settings.threshold_m);
  for (std::size_t v = 0; v < d.wetdry_samples.size(); ++v) {
    const std::uint64_t n = d.wetdry_samples[v];
    if (n == 0) continue;
    const double share = 100.0 * static_cast<double>(d.wetdry_deep[v]) / static_cast<double>(n);
    const char* reads = wetdry_reading(d, v);
    appendf(out, "<tr><td class=\"n\">%zu</td><td class=\"n\">%s</td><td class=\"n\">%.1f %%</td><td>%s</td></tr>\n",
            v, count_text(n).c_str(), share, reads);
  }
  out += "</table>\n";
}

void dive_profile_section(std::string& out, const Deployment& d, const TimeSpan& span) {
  section_begin(out, "dive", "Dive profile");
  const bool zoc = d.dive_table.settings.zoc.mode != analysis::ZocMode::kNone;
  const SeriesStyle depth{0, "depth", zoc ? "depth, zero-offset corrected" : "depth", Line::kMax};
  const bool shade = !reducer_empty(d.haulout);
  time_panel(out, "dive-profile", "Depth against time", 340, d.dive, depth, span, "Depth (m)", true,
             shade ? &d.haulout : nullptr, shade ? "haul-out" : nullptr, 0.0);
  if (channel_range(d.dive, 1).any) {
    time_panel(out, "dive-temperature", "Temperature against time", 240, d.dive, SeriesStyle{1, "temp", "temperature"},
               span, "Temperature (\u00b0C)", false, shade ? &d.haulout : nullptr, nullptr);
  }
  if (channel_range(d.dive, 2).any) {
    const char* column = d.dryness ? "DRYNESS" : "WETDRY";
    const std::string legend = wetdry_legend(d);
    time_panel(out, "dive-wetdry", d.dryness ? "DRYNESS against time" : "WETDRY against time", 150, d.dive,
               SeriesStyle{2, "wetdry", legend.c_str()}, span, column, false, nullptr, nullptr, 0.0);
    wetdry_table(out, d);
  }
  out += "</section>\n";
}

// Snapshot times as ticks; when there are too many to tell apart, as bars of the number of
// snapshots per stretch of time.
void gps_section(std::string& out, const Deployment& d, const TimeSpan& span) {
  section_begin(out, "gps", "GPS snapshots");
  const double height = 110;
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Frame f{kLeft, 24, kPlotWidth, height - 24 - 52};
  const Map mx{tt.lo, tt.hi};
  const TimeReducer& r = d.gps;
  int marked = 0;
  for (int i = r.lo; i < r.hi; ++i) marked += r.buckets[static_cast<std::size_t>(i)].count > 0 ? 1 : 0;
  svg_begin(out, height, "gps-timeline", "GPS snapshot times");
  time_axis(out, f, tt);
  // Ticks up to one in four pixels.
  if (marked * 4 <= f.w) {
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">snapshots</text>", f.x - 8, f.y + f.h / 2 + 4);
    out += "<path class=\"gps\" d=\"";
    for (int i = r.lo; i < r.hi; ++i) {
      if (r.buckets[static_cast<std::size_t>(i)].count == 0) continue;
      const double x = column_x(f, mx, r, i);
      appendf(out, "M%.1f %.1fV%.1f", x, f.y + 4, f.y + f.h);
    }
    out += "\"/>\n</svg>\n</section>\n";
    return;
  }
  // Bars of snapshots per hour, day, week...: the columns counted by the bin of their middle.
  static constexpr double kBins[] = {3600, 7200, 10800, 21600, 43200, 86400, 2 * 86400, 7 * 86400, 28 * 86400};
  double bin = kBins[0];
  for (double b : kBins) {
    bin = b;
    if ((tt.hi - tt.lo) / b * 4 <= f.w) break;
  }
  std::vector<std::uint64_t> counts;
  const double first = std::floor(tt.lo / bin) * bin;
  for (int i = r.lo; i < r.hi; ++i) {
    const double at = column_start(r, i) + r.width / 2;
    const auto k = static_cast<std::size_t>(std::max(0.0, std::floor((at - first) / bin)));
    if (k >= counts.size()) counts.resize(k + 1, 0);
    counts[k] += r.buckets[static_cast<std::size_t>(i)].count;
  }
  std::uint64_t most = 1;
  for (std::uint64_t n : counts) most = std::max(most, n);
  const Ticks vt = value_ticks(0, static_cast<double>(most), 2);
  char title[48];
  if (bin == 86400) {
    std::snprintf(title, sizeof title, "snapshots per day");
  } else {
    std::snprintf(title, sizeof title, bin < 86400 ? "snapshots per %g h" : "snapshots per %g days",
                  bin < 86400 ? bin / 3600 : bin / 86400);
  }
  value_axis(out, f, vt, false, "snapshots");
  appendf(out, "<text x=\"%.1f\" y=\"14\">%s (UTC)</text>", f.x, title);
  const Map my{vt.lo, vt.hi};
  for (std::size_t k = 0; k < counts.size(); ++k) {
    if (counts[k] == 0) continue;
    const double t0 = first + static_cast<double>(k) * bin;
    const double x0 = map_x(f, mx, t0), x1 = map_x(f, mx, t0 + bin);
    const double y = map_y(f, my, static_cast<double>(counts[k]));
    appendf(out, "<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", x0, y,
            std::max(0.5, x1 - x0 - 0.5), f.y + f.h - y);
  }
  out += "</svg>\n</section>\n";
}

// X, Y and Z stacked over one time axis, each row with its own value axis.
void accel_section(std::string& out, const Deployment& d, const TimeSpan& span) {
  section_begin(out, "accel", "Accelerometer");
  const SeriesStyle rows[] = {{0, "accx", "X (g)"}, {1, "accy", "Y (g)"}, {2, "accz", "Z (g)"}};
  const double row_height = 110, gap = 26, top = 24;
  const double height = top + 3 * (row_height + gap) - gap + 52;
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Map mx{tt.lo, tt.hi};
  svg_begin(out, height, "accel-xyz", "Acceleration X, Y and Z against time");
  for (int s = 0; s < 3; ++s) {
    const Frame f{kLeft, top + s * (row_height + gap), kPlotWidth, row_height};
    const Range c = channel_range(d.acc, rows[s].channel);
    const Ticks vt = value_ticks(c.lo, c.hi, 3);
    value_axis(out, f, vt, false, rows[s].legend);
    time_axis(out, f, tt, s == 2);
    // As envelopes, the first row's legend tells what the line is.
    SeriesStyle style = rows[s];
    style.legend = s == 0 && envelope_mode(d.acc) ? "mean" : nullptr;
    series(out, f, d.acc, style, mx, Map{vt.lo, vt.hi}, f.x);
  }
  out += "</svg>\n</section>\n";
}

}  // namespace skelv::quicklook
