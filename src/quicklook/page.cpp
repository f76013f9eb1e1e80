#include "quicklook/page.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "quicklook/axis.h"

namespace skelv::quicklook {
namespace {

constexpr double kSvgWidth = 1200;
constexpr double kLeft = 80;   // room for the value labels and the axis title
constexpr double kRight = 44;  // room for half a date label
constexpr double kPlotWidth = kSvgWidth - kLeft - kRight;
constexpr int kTimeTicks = 9;

constexpr const char* kFileLabel[kFileKinds] = {"TDR", "CTD", "GPS", "Accelerometer"};

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
}

// The plot area of a panel, in SVG units.
struct Frame {
  double x, y, w, h;
};

// Maps values of [lo, hi] onto a frame's width or height; `down` puts `lo` at the top.
struct Map {
  double lo, hi;
  bool down = false;
};

double map_x(const Frame& f, const Map& m, double v) {
  const double x = f.x + (v - m.lo) / (m.hi - m.lo) * f.w;
  return std::clamp(x, f.x, f.x + f.w);
}

double map_y(const Frame& f, const Map& m, double v) {
  const double r = (v - m.lo) / (m.hi - m.lo);
  const double y = m.down ? f.y + r * f.h : f.y + f.h - r * f.h;
  return std::clamp(y, f.y, f.y + f.h);
}

struct Range {
  bool any = false;
  double lo = 0, hi = 0;
  void add(double v) {
    if (!any) {
      any = true;
      lo = hi = v;
    }
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
};

Range channel_range(const TimeReducer& r, int ch) {
  Range out;
  for (int i = r.lo; i < r.hi; ++i) {
    const TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
    if ((b.present & (1u << ch)) == 0) continue;
    out.add(b.ch[static_cast<std::size_t>(ch)].min);
    out.add(b.ch[static_cast<std::size_t>(ch)].max);
  }
  return out;
}

void svg_begin(std::string& out, double height, const char* id, const char* title) {
  appendf(out,
          "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"%s\" viewBox=\"0 0 %.0f %.0f\" "
          "role=\"img\"><title>%s</title>\n",
          id, kSvgWidth, height, title);
}

// One SVG line of the given class.
void svg_line(std::string& out, const char* cls, double x1, double y1, double x2, double y2) {
  appendf(out, "<line class=\"%s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", cls, x1, y1, x2, y2);
}

// Grid lines of `t` across the frame and, with `labels`, tick marks and labels (and the dates
// that ticks carry) below its bottom edge, then the edge itself.
void bottom_ticks(std::string& out, const Frame& f, const Ticks& t, bool labels) {
  const Map m{t.lo, t.hi};
  const double bottom = f.y + f.h;
  for (int i = 0; i < t.count; ++i) {
    const Tick& tick = t.ticks[static_cast<std::size_t>(i)];
    const double x = map_x(f, m, tick.value);
    svg_line(out, "grid", x, f.y, x, bottom);
    if (!labels) continue;
    svg_line(out, "axis", x, bottom, x, bottom + 5);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>", x, bottom + 18, tick.label);
    if (tick.date[0] != '\0') {
      appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" class=\"date\">%s</text>", x,
              bottom + 32, tick.date);
    }
  }
  svg_line(out, "axis", f.x, bottom, f.x + f.w, bottom);
}

// The time axis at the frame's bottom edge; without `labels` only its grid and line (for the
// upper rows of a stacked panel).
void time_axis(std::string& out, const Frame& f, const Ticks& t, bool labels = true) {
  out += "<g class=\"time-axis\">";
  bottom_ticks(out, f, t, labels);
  if (labels) {
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\" class=\"axis-title\">UTC</text>", f.x + f.w,
            f.y + f.h + 46);
  }
  out += "</g>\n";
}

// A vertical value axis at the frame's left edge.
void value_axis(std::string& out, const Frame& f, const Ticks& t, bool down, const char* title) {
  const Map m{t.lo, t.hi, down};
  out += "<g class=\"value-axis\">";
  for (int i = 0; i < t.count; ++i) {
    const Tick& tick = t.ticks[static_cast<std::size_t>(i)];
    const double y = map_y(f, m, tick.value);
    svg_line(out, "grid", f.x, y, f.x + f.w, y);
    svg_line(out, "axis", f.x - 5, y, f.x, y);
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>", f.x - 8, y + 4, tick.label);
  }
  svg_line(out, "axis", f.x, f.y, f.x, f.y + f.h);
  appendf(out,
          "<text transform=\"translate(%.1f %.1f) rotate(-90)\" text-anchor=\"middle\" "
          "class=\"axis-title\">%s</text>",
          f.x - 58, f.y + f.h / 2, title);
  out += "</g>\n";
}

// A horizontal value axis at the frame's bottom edge.
void value_axis_x(std::string& out, const Frame& f, const Ticks& t, const char* title) {
  out += "<g class=\"value-axis\">";
  bottom_ticks(out, f, t, true);
  appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" class=\"axis-title\">%s</text>",
          f.x + f.w / 2, f.y + f.h + 36, title);
  out += "</g>\n";
}

// One point of a trace; an isolated point gets a short stroke so that it shows.
void trace_point(std::string& out, bool& pen, double x, double y) {
  appendf(out, "%c%.1f %.1f", pen ? 'L' : 'M', x, y);
  pen = true;
}

// The trace of channel `ch`: per column its extremes in the order they occurred; the pen lifts
// over columns without a value.
void series_path(std::string& out, const Frame& f, const TimeReducer& r, int ch, const Map& mx,
                 const Map& my, const char* cls) {
  appendf(out, "<path class=\"series %s\" d=\"", cls);
  bool pen = false;
  bool alone = false;  // the last point began a new piece
  for (int i = r.lo; i < r.hi; ++i) {
    const TimeBucket& b = r.buckets[static_cast<std::size_t>(i)];
    if (b.count == 0 || (b.present & (1u << ch)) == 0) {
      if (alone) out += "h1";
      pen = false;
      alone = false;
      continue;
    }
    const Extremes& e = b.ch[static_cast<std::size_t>(ch)];
    const double x = map_x(f, mx, column_start(r, i) + r.width / 2);
    alone = !pen && e.min == e.max;
    trace_point(out, pen, x, map_y(f, my, e.min_first ? e.min : e.max));
    if (e.min != e.max) trace_point(out, pen, x, map_y(f, my, e.min_first ? e.max : e.min));
  }
  if (alone) out += "h1";
  out += "\"/>\n";
}

// Shaded rectangles over the marked columns of `r`.
void cover_rects(std::string& out, const Frame& f, const TimeReducer& r, const Map& mx, const char* cls) {
  for (int i = r.lo; i < r.hi;) {
    if (r.buckets[static_cast<std::size_t>(i)].count == 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < r.hi && r.buckets[static_cast<std::size_t>(j)].count > 0) ++j;
    const double x0 = map_x(f, mx, column_start(r, i));
    const double x1 = std::max(map_x(f, mx, column_start(r, j)), x0 + 1);
    appendf(out, "<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", cls, x0, f.y,
            x1 - x0, f.h);
    i = j;
  }
  out += "\n";
}

void legend_line(std::string& out, double x, double y, const char* cls, const char* text) {
  appendf(out, "<line class=\"series %s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", cls, x, y, x + 28, y);
  appendf(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>", x + 34, y + 4, text);
}

void legend_box(std::string& out, double x, double y, const char* cls, const char* text) {
  appendf(out, "<rect class=\"%s legend\" x=\"%.1f\" y=\"%.1f\" width=\"28\" height=\"10\"/>", cls, x, y - 5);
  appendf(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>", x + 34, y + 4, text);
}

std::string count_text(std::uint64_t n) {
  // Thousands separated by thin spaces keep large counts readable.
  char digits[32];
  std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(n));
  std::string out;
  const std::size_t len = std::strlen(digits);
  for (std::size_t i = 0; i < len; ++i) {
    if (i > 0 && (len - i) % 3 == 0) out += "\u2009";
    out += digits[i];
  }
  return out;
}

std::string time_text(double t) {
  char buf[32];
  format_utc(t, buf);
  return buf;
}

// The time axis shared by every panel against time (dive, temperature, wet/dry, GPS and
// accelerometer): the TDR lines and haul-outs, the GPS snapshots and the accelerometer samples.
TimeSpan timeline(const Deployment& d) {
  TimeSpan s;
  for (FileKind k : {FileKind::kTdr, FileKind::kGps, FileKind::kAcc}) {
    const TimeSpan& f = d.spans[file_index(k)];
    if (!f.any) continue;
    span_add(s, f.first);
    span_add(s, f.last);
  }
  return s;
}

void section_begin(std::string& out, const char* id, const char* heading) {
  appendf(out, "<section id=\"%s\">\n<h2>%s</h2>\n", id, heading);
}

// ---- Summary --------------------------------------------------------------------------------

void summary_row(std::string& out, const char* name, const std::string& value) {
  out += "<tr><th scope=\"row\">";
  out += name;
  out += "</th><td>";
  out += value;
  out += "</td></tr>\n";
}

void summary(std::string& out, const Deployment& d, const PageNames& names) {
  section_begin(out, "summary", "Summary");
  out += "<table class=\"summary\">\n";
  TimeSpan all;
  for (const TimeSpan& s : d.spans) {
    if (!s.any) continue;
    span_add(all, s.first);
    span_add(all, s.last);
  }
  if (all.any) {
    char duration[32];
    format_duration(all.last - all.first, duration);
    summary_row(out, "Time span (UTC)", time_text(all.first) + " to " + time_text(all.last) + " (" + duration + ")");
  } else {
    summary_row(out, "Time span (UTC)", "no dated lines");
  }
  const FileTally& tdr = d.files[file_index(FileKind::kTdr)];
  if (tdr.found) {
    summary_row(out, "Dive samples", count_text(tdr.data));
    char text[160];
    std::snprintf(text, sizeof text, "%s deeper than %g m, %s of them cut by a haul-out, a gap or the end of the data",
                  count_text(d.dive_table.dives).c_str(), d.dive_table.threshold,
                  count_text(d.dive_table.cut).c_str());
    summary_row(out, "Dives", text);
    if (d.any_depth) {
      std::snprintf(text, sizeof text, "%.1f m at %s", d.max_depth, time_text(d.max_depth_time).c_str());
      summary_row(out, "Maximum depth", text);
    }
    summary_row(out, "Haul-outs", count_text(tdr.haulouts));
  }
  const FileTally& ctd = d.files[file_index(FileKind::kCtd)];
  if (ctd.found) {
    std::string casts = count_text(d.casts.total) + " (" + count_text(ctd.data) + " samples";
    if (ctd.data > 0) {
      char deepest[48];
      std::snprintf(deepest, sizeof deepest, ", deepest %.1f dbar", d.max_pressure);
      casts += deepest;
    }
    summary_row(out, "CTD casts", casts + ")");
  }
  const FileTally& gps = d.files[file_index(FileKind::kGps)];
  if (gps.found) {
    std::string text = count_text(gps.data);
    if (d.gps_bad_time > 0) text += " (" + count_text(d.gps_bad_time) + " without a valid time)";
    summary_row(out, "GPS snapshots", text);
  }
  const FileTally& acc = d.files[file_index(FileKind::kAcc)];
  if (acc.found) summary_row(out, "Accelerometer samples", count_text(acc.data));
  summary_row(out, "Diagnostic notes", count_text(d.notes.total));
  out += "</table>\n";

  out += "<h3>Files</h3>\n<table class=\"files\">\n<tr><th>File</th><th>Lines</th><th>Samples</th>"
         "<th>Headers</th><th>HAULOUT</th><th>Notes</th><th>Skipped: unreadable</th>"
         "<th>Skipped: cut-off last line</th></tr>\n";
  for (int k = 0; k < kFileKinds; ++k) {
    const FileTally& t = d.files[static_cast<std::size_t>(k)];
    out += "<tr><td>";
    append_escaped(out, names.files[static_cast<std::size_t>(k)]);
    out += "</td>";
    if (!t.found) {
      out += "<td colspan=\"7\" class=\"missing\">not found</td></tr>\n";
      continue;
    }
    for (std::uint64_t v : {t.lines, t.data, t.headers, t.haulouts, t.notes, t.unparsed, t.truncated}) {
      out += "<td class=\"n\">" + count_text(v) + "</td>";
    }
    out += "</tr>\n";
    if (t.read_error) out += "<tr><td colspan=\"8\" class=\"missing\">reading stopped on an error</td></tr>\n";
  }
  out += "</table>\n";

  if (d.notes.total > 0) {
    out += "<h3>Diagnostic notes</h3>\n<table class=\"notes\">\n<tr><th>Note</th><th>Count</th>"
           "<th>First at image byte</th><th>Found in</th></tr>\n";
    for (int i = 0; i < d.notes.distinct; ++i) {
      const NoteText& n = d.notes.texts[static_cast<std::size_t>(i)];
      out += "<tr><td><code>";
      append_escaped(out, n.text);
      appendf(out, "</code></td><td class=\"n\">%s</td><td class=\"n\">0x%llX</td><td>", count_text(n.count).c_str(),
              static_cast<unsigned long long>(n.first_offset));
      const char* sep = "";
      for (int k = 0; k < kFileKinds; ++k) {
        if ((n.files & (1u << k)) == 0) continue;
        out += sep;
        out += kFileLabel[k];
        sep = ", ";
      }
      out += "</td></tr>\n";
    }
    if (d.notes.unlisted > 0) {
      appendf(out, "<tr><td>other texts</td><td class=\"n\">%s</td><td></td><td></td></tr>\n",
              count_text(d.notes.unlisted).c_str());
    }
    out += "</table>\n";
  }
  out += "</section>\n";
}

// ---- Time panels ----------------------------------------------------------------------------

// A panel of one or more channels of `r` against time.
struct SeriesSpec {
  int channel;
  const char* cls;
  const char* legend;
};

void time_panel(std::string& out, const char* id, const char* title, double height, const TimeReducer& r,
                const SeriesSpec* series, int count, const TimeSpan& span, const char* unit, bool down,
                const TimeReducer* shade, const char* shade_legend, double fixed_lo = NAN) {
  Range values;
  for (int s = 0; s < count; ++s) {
    const Range c = channel_range(r, series[s].channel);
    if (!c.any) continue;
    values.add(c.lo);
    values.add(c.hi);
  }
  if (!std::isnan(fixed_lo)) values.add(fixed_lo);
  // Wet/dry states are whole numbers: ticks a whole step apart.
  const bool states = std::strcmp(series[0].cls, "wetdry") == 0;
  const Ticks vt = states ? value_ticks(values.lo, std::max(values.hi, values.lo + 2), 2)
                          : value_ticks(values.lo, values.hi, height < 120 ? 2 : 5);
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Frame f{kLeft, 28, kPlotWidth, height - 28 - 52};
  const Map mx{tt.lo, tt.hi};
  const Map my{vt.lo, vt.hi, down};
  svg_begin(out, height, id, title);
  if (shade != nullptr && !reducer_empty(*shade)) cover_rects(out, f, *shade, mx, "haulout");
  value_axis(out, f, vt, down, unit);
  time_axis(out, f, tt);
  for (int s = 0; s < count; ++s) series_path(out, f, r, series[s].channel, mx, my, series[s].cls);
  double lx = f.x;
  for (int s = 0; s < count; ++s) {
    if (series[s].legend == nullptr) continue;
    legend_line(out, lx, 12, series[s].cls, series[s].legend);
    lx += 150;
  }
  if (shade_legend != nullptr) legend_box(out, lx, 12, "haulout", shade_legend);
  out += "</svg>\n";
}

// One row per channel, stacked over one time axis, each row with its own value axis.
void stacked_panel(std::string& out, const char* id, const char* title, const TimeReducer& r,
                   const SeriesSpec* rows, int count, const TimeSpan& span) {
  const double row_height = 110, gap = 26;
  const double height = 10 + count * (row_height + gap) - gap + 52;
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Map mx{tt.lo, tt.hi};
  svg_begin(out, height, id, title);
  for (int s = 0; s < count; ++s) {
    const Frame f{kLeft, 10 + s * (row_height + gap), kPlotWidth, row_height};
    const Range c = channel_range(r, rows[s].channel);
    const Ticks vt = value_ticks(c.lo, c.hi, 3);
    value_axis(out, f, vt, false, rows[s].legend);
    time_axis(out, f, tt, s == count - 1);
    series_path(out, f, r, rows[s].channel, mx, Map{vt.lo, vt.hi}, rows[s].cls);
  }
  out += "</svg>\n";
}

void gps_panel(std::string& out, const Deployment& d, const TimeSpan& span) {
  const double height = 100;
  const Ticks tt = time_ticks(span.first, span.last, kTimeTicks);
  const Frame f{kLeft, 10, kPlotWidth, height - 10 - 52};
  const Map mx{tt.lo, tt.hi};
  svg_begin(out, height, "gps-timeline", "GPS snapshot times");
  time_axis(out, f, tt);
  appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">snapshots</text>", f.x - 8, f.y + f.h / 2 + 4);
  out += "<path class=\"gps\" d=\"";
  const TimeReducer& r = d.gps;
  for (int i = r.lo; i < r.hi; ++i) {
    if (r.buckets[static_cast<std::size_t>(i)].count == 0) continue;
    const double x = map_x(f, mx, column_start(r, i) + r.width / 2);
    appendf(out, "M%.1f %.1fV%.1f", x, f.y + 4, f.y + f.h);
  }
  out += "\"/>\n</svg>\n";
}

// ---- CTD casts ------------------------------------------------------------------------------

// Early casts light, late casts dark: the order reads in greyscale too.
void cast_colour(int k, int n, char* out) {
  const double r = n > 1 ? static_cast<double>(k) / (n - 1) : 1.0;
  const int light[3] = {189, 215, 238}, dark[3] = {8, 48, 107};
  int c[3];
  for (int i = 0; i < 3; ++i) c[i] = static_cast<int>(std::lround(light[i] + (dark[i] - light[i]) * r));
  std::snprintf(out, 8, "#%02x%02x%02x", c[0], c[1], c[2]);
}

void cast_plot(std::string& out, const Frame& f, const CastSet& s, int ch, const Map& mx, const Map& my) {
  for (int k = 0; k < s.kept; ++k) {
    const CastTrace& c = s.casts[static_cast<std::size_t>(k)];
    char colour[8];
    cast_colour(k, s.kept, colour);
    appendf(out, "<path class=\"cast\" stroke=\"%s\" d=\"", colour);
    bool pen = false;
    bool alone = false;
    for (int i = 0; i < cast_columns(c); ++i) {
      const CastBucket& b = c.buckets[static_cast<std::size_t>(i)];
      if ((b.present & (1u << ch)) == 0) {
        if (alone) out += "h1";
        pen = alone = false;
        continue;
      }
      const Extremes& e = b.ch[static_cast<std::size_t>(ch)];
      alone = !pen && e.min == e.max && e.min_at == e.max_at;
      const bool min_first = e.min_first;
      trace_point(out, pen, map_x(f, mx, min_first ? e.min : e.max), map_y(f, my, min_first ? e.min_at : e.max_at));
      if (e.min != e.max || e.min_at != e.max_at) {
        trace_point(out, pen, map_x(f, mx, min_first ? e.max : e.min), map_y(f, my, min_first ? e.max_at : e.min_at));
      }
    }
    if (alone) out += "h1";
    out += "\"/>\n";
  }
}

void ctd_panel(std::string& out, const Deployment& d) {
  const CastSet& s = d.casts;
  Range temp, sal, pressure;
  for (int k = 0; k < s.kept; ++k) {
    const CastTrace& c = s.casts[static_cast<std::size_t>(k)];
    for (int i = 0; i < cast_columns(c); ++i) {
      const CastBucket& b = c.buckets[static_cast<std::size_t>(i)];
      for (int ch = 0; ch < kCastChannels; ++ch) {
        if ((b.present & (1u << ch)) == 0) continue;
        const Extremes& e = b.ch[static_cast<std::size_t>(ch)];
        (ch == 0 ? temp : sal).add(e.min);
        (ch == 0 ? temp : sal).add(e.max);
        pressure.add(e.min_at);
        pressure.add(e.max_at);
      }
    }
  }
  pressure.add(0);
  const double height = 480;
  const double gap = 96;
  const double w = (kSvgWidth - kLeft - kRight - gap) / 2;
  const Frame ft{kLeft, 28, w, height - 28 - 52};
  const Frame fs{kLeft + w + gap, 28, w, height - 28 - 52};
  const Ticks pt = value_ticks(pressure.lo, pressure.hi, 6);
  const Map my{pt.lo, pt.hi, true};
  svg_begin(out, height, "ctd-casts", "CTD casts: temperature and salinity against pressure");
  const Ticks tt = value_ticks(temp.lo, temp.hi, 6);
  value_axis(out, ft, pt, true, "Pressure (dbar)");
  value_axis_x(out, ft, tt, "Temperature (\u00b0C, ITS-90)");
  cast_plot(out, ft, s, 0, Map{tt.lo, tt.hi}, my);
  value_axis(out, fs, pt, true, "Pressure (dbar)");
  if (sal.any) {
    const Ticks st = value_ticks(sal.lo, sal.hi, 6);
    value_axis_x(out, fs, st, "Practical salinity (PSS-78)");
    cast_plot(out, fs, s, 1, Map{st.lo, st.hi}, my);
  } else {
    appendf(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">no salinity above 0</text>",
            fs.x + fs.w / 2, fs.y + fs.h / 2);
  }
  // Legend: the light-to-dark ramp from the first to the last cast drawn.
  if (s.kept > 0) {
    out += "<defs><linearGradient id=\"cast-ramp\">";
    char c0[8], c1[8];
    cast_colour(0, s.kept, c0);
    cast_colour(s.kept - 1, s.kept, c1);
    appendf(out, "<stop offset=\"0\" stop-color=\"%s\"/><stop offset=\"1\" stop-color=\"%s\"/>", c0, c1);
    out += "</linearGradient></defs>";
    appendf(out, "<text x=\"%.1f\" y=\"16\" text-anchor=\"end\">first cast %s</text>", kLeft + 300,
            time_text(s.casts[0].start_time).c_str());
    appendf(out, "<rect x=\"%.1f\" y=\"7\" width=\"120\" height=\"11\" fill=\"url(#cast-ramp)\" class=\"ramp\"/>",
            kLeft + 308);
    appendf(out, "<text x=\"%.1f\" y=\"16\">last cast %s</text>", kLeft + 436,
            time_text(s.casts[static_cast<std::size_t>(s.kept - 1)].start_time).c_str());
  }
  out += "</svg>\n";
}

// ---- Wet/dry, day by day, dives ---------------------------------------------------------------

// What each wet/dry value stood for in these data: its samples, and how many of them were taken
// deeper than the dive threshold, that is surely under water.
const char* wetdry_reading(const Deployment& d, std::size_t v) {
  const std::uint64_t n = d.wetdry_samples[v], deep = d.wetdry_deep[v];
  if (2 * deep >= n) return "wet";
  return deep == 0 ? "dry or at the surface" : "mostly at the surface";
}

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
          d.dryness ? "DRYNESS" : "WETDRY", d.dive_table.threshold, d.dive_table.threshold);
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

// The hours of a day, 00:00 to 24:00 every 3 hours.
Ticks hour_ticks() {
  Ticks t;
  t.lo = 0;
  t.hi = 24;
  t.step = 3;
  for (int h = 0; h <= 24; h += 3) {
    Tick& tick = t.ticks[static_cast<std::size_t>(t.count++)];
    tick.value = h;
    std::snprintf(tick.label, sizeof tick.label, "%02d:00", h);
  }
  return t;
}

std::string date_text(std::int64_t day) {
  char buf[32];
  format_utc(static_cast<double>(day) * 86400.0, buf);
  buf[10] = '\0';
  return buf;
}

// Strip columns drawn in all, whatever the number of days: bounds the page's size.
constexpr int kStripBudget = 128000;

// One strip per day: the greatest depth of every few minutes, all on one depth scale.
void day_strips(std::string& out, const Deployment& d) {
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

// Grey from light (few) to black (many) on a logarithmic scale.
void count_grey(std::uint64_t n, std::uint64_t most, char* out) {
  const double r = most > 1 ? std::log(static_cast<double>(n)) / std::log(static_cast<double>(most)) : 1.0;
  const int g = static_cast<int>(std::lround(200 - 200 * r));
  std::snprintf(out, 8, "#%02x%02x%02x", g, g, g);
}

void histogram_panel(std::string& out, const Frame& f, const Histogram& h, double scale, const char* title) {
  int used = 0;
  std::uint64_t most = 1;
  for (int i = 0; i < kHistogramBins; ++i) {
    if (h.counts[static_cast<std::size_t>(i)] > 0) used = i + 1;
    most = std::max(most, h.counts[static_cast<std::size_t>(i)]);
  }
  const Ticks xt = value_ticks(0, std::max(1, used) * h.width * scale, 5);
  const Ticks yt = value_ticks(0, static_cast<double>(std::max<std::uint64_t>(most, 4)), 4);
  const Map mx{xt.lo, xt.hi}, my{yt.lo, yt.hi};
  value_axis(out, f, yt, false, "Dives");
  value_axis_x(out, f, xt, title);
  for (int i = 0; i < used; ++i) {
    const std::uint64_t n = h.counts[static_cast<std::size_t>(i)];
    if (n == 0) continue;
    const double x0 = map_x(f, mx, i * h.width * scale), x1 = map_x(f, mx, (i + 1) * h.width * scale);
    const double y = map_y(f, my, static_cast<double>(n));
    appendf(out, "<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>", x0, y,
            std::max(0.5, x1 - x0 - 1), f.y + f.h - y);
  }
}

void dive_rows(std::string& out, const std::array<analysis::Dive, kTopDives>& dives, int count) {
  out += "<table class=\"dives\">\n<tr><th>Dive</th><th>Start (UTC)</th><th>Duration</th><th>Maximum depth</th>"
         "<th>Bottom time</th><th>Cut</th></tr>\n";
  for (int i = 0; i < count; ++i) {
    const analysis::Dive& v = dives[static_cast<std::size_t>(i)];
    char duration[32], bottom[32] = "";
    format_duration(static_cast<double>(v.end_ms - v.start_ms) * 0.001, duration);
    if (v.has_bottom) format_duration(static_cast<double>(v.bottom_ms) * 0.001, bottom);
    appendf(out,
            "<tr><td class=\"n\">%llu</td><td>%s</td><td class=\"n\">%s</td><td class=\"n\">%.1f m</td>"
            "<td class=\"n\">%s</td><td>%s</td></tr>\n",
            static_cast<unsigned long long>(v.number), time_text(static_cast<double>(v.start_ms) * 0.001).c_str(),
            duration, v.max_depth_mm * 0.001, bottom, v.cut ? "cut" : "");
  }
  out += "</table>\n";
}

// The dive table: maximum depth against time of day, histograms, the deepest and longest dives.
void dive_panels(std::string& out, const Deployment& d) {
  const DiveSummary& s = d.dive_table;
  if (s.dives == 0) return;
  section_begin(out, "dives", "Dives");
  appendf(out,
          "<p class=\"note\">%s dives deeper than %g m, found as <code>Skelv -dives</code> finds them "
          "(a dive cut by a haul-out, a gap in time or the end of the data counts as cut: %s).</p>\n",
          count_text(s.dives).c_str(), s.threshold, count_text(s.cut).c_str());
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
  histogram_panel(out, Frame{kLeft, 20, w, hh - 20 - 52}, s.durations, 1.0 / 60.0, "Duration (min)");
  histogram_panel(out, Frame{kLeft + w + gap, 20, w, hh - 20 - 52}, s.depths, 1.0, "Maximum depth (m)");
  out += "</svg>\n";
  out += "<div class=\"tops\"><div><h3>Ten deepest dives</h3>\n";
  dive_rows(out, s.deepest, s.deepest_count);
  out += "</div><div><h3>Ten longest dives</h3>\n";
  dive_rows(out, s.longest, s.longest_count);
  out += "</div></div>\n</section>\n";
}

constexpr char kStyle[] =
    "body{font-family:\"DejaVu Sans\",\"Liberation Sans\",Arial,Helvetica,sans-serif;color:#111;"
    "background:#fff;max-width:1220px;margin:16px auto;padding:0 12px}\n"
    "h1{font-size:22px;margin:8px 0 4px}\n"
    "h2{font-size:17px;margin:26px 0 6px;padding-bottom:3px;border-bottom:1px solid #888}\n"
    "h3{font-size:14px;margin:14px 0 4px}\n"
    "p{margin:4px 0;font-size:13px}\n"
    "p.note{color:#444}\n"
    "table{border-collapse:collapse;font-size:13px}\n"
    "th,td{border:1px solid #aaa;padding:3px 8px;text-align:left;vertical-align:top}\n"
    "th{background:#eee;font-weight:600}\n"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}\n"
    "td.missing{color:#555;font-style:italic}\n"
    "svg{display:block;width:100%;height:auto;font-size:12px}\n"
    "svg text{fill:#222}\n"
    "svg text.axis-title{font-weight:bold}\n"
    "svg text.date{fill:#555}\n"
    ".grid{stroke:#e2e2e2;stroke-width:1}\n"
    ".axis{stroke:#222;stroke-width:1}\n"
    ".series{fill:none;stroke-width:1.2;stroke-linejoin:round;stroke-linecap:round}\n"
    ".depth{stroke:#111}\n"
    ".temp{stroke:#b2182b}\n"
    ".wetdry{stroke:#333}\n"
    ".accx{stroke:#000}\n"
    ".accy{stroke:#2166ac}\n"
    ".accz{stroke:#b35806}\n"
    ".haulout{fill:#d4d4d4;stroke:none}\n"
    ".gps{stroke:#000;stroke-width:1.5}\n"
    ".cast{fill:none;stroke-width:1.2;stroke-linejoin:round}\n"
    ".ramp{stroke:#555;stroke-width:0.5}\n"
    ".strip{fill:#f4f4f4;stroke:#bbb;stroke-width:0.5}\n"
    ".daydepth{fill:#333;stroke:none}\n"
    ".bar{fill:#555}\n"
    "div.tops{display:flex;gap:24px;flex-wrap:wrap}\n";

}  // namespace

void append_escaped(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A multi-byte UTF-8 sequence: its lead byte tells the length; overlong forms,
    // surrogates and values above U+10FFFF are refused.
    int len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    }
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= text.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    ok = ok && !(len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) &&
         !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF));
    if (ok) {
      out.append(text.substr(i, static_cast<std::size_t>(len)));
      i += static_cast<std::size_t>(len);
    } else {
      out += '?';
      ++i;
    }
  }
}

std::string render_page(const Deployment& d, const PageNames& names) {
  std::string out;
  out.reserve(1 << 19);
  out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
         "<meta charset=\"utf-8\"/>\n<title>Quick look: ";
  append_escaped(out, names.image);
  out += "</title>\n<style>\n";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n<h1>Quick look: ";
  append_escaped(out, names.image);
  out += "</h1>\n<p class=\"note\">Made from the text files converted from this image. Times are UTC. "
         "Each trace keeps, for every pixel column, the lowest and the highest value, so short "
         "spikes stay visible.</p>\n";

  summary(out, d, names);

  const TimeSpan line = timeline(d);
  if (d.any_depth) {
    section_begin(out, "dive", "Dive profile");
    const SeriesSpec depth[] = {{0, "depth", "depth"}};
    const bool shade = !reducer_empty(d.haulout);
    time_panel(out, "dive-profile", "Depth against time", 340, d.dive, depth, 1, line, "Depth (m)", true,
               shade ? &d.haulout : nullptr, shade ? "haul-out (HAULOUT lines)" : nullptr, 0.0);
    if (channel_range(d.dive, 1).any) {
      const SeriesSpec temp[] = {{1, "temp", "temperature"}};
      time_panel(out, "dive-temperature", "Temperature against time", 240, d.dive, temp, 1, line,
                 "Temperature (\u00b0C)", false, shade ? &d.haulout : nullptr, nullptr);
    }
    if (channel_range(d.dive, 2).any) {
      const char* column = d.dryness ? "DRYNESS" : "WETDRY";
      const std::string legend = wetdry_legend(d);
      const SeriesSpec wet[] = {{2, "wetdry", legend.c_str()}};
      time_panel(out, "dive-wetdry", d.dryness ? "DRYNESS against time" : "WETDRY against time", 150, d.dive,
                 wet, 1, line, column, false, nullptr, nullptr, 0.0);
      wetdry_table(out, d);
    }
    out += "</section>\n";
  }
  if (!reducer_empty(d.gps)) {
    section_begin(out, "gps", "GPS snapshots");
    gps_panel(out, d, line);
    out += "</section>\n";
  }
  if (!reducer_empty(d.acc)) {
    section_begin(out, "accel", "Accelerometer");
    const SeriesSpec axes[] = {{0, "accx", "X (g)"}, {1, "accy", "Y (g)"}, {2, "accz", "Z (g)"}};
    stacked_panel(out, "accel-xyz", "Acceleration X, Y and Z against time", d.acc, axes, 3, line);
    out += "</section>\n";
  }
  if (d.any_depth) dive_panels(out, d);
  if (d.casts.kept > 0) {
    section_begin(out, "ctd", "CTD casts");
    const std::string drawn =
        d.casts.stride == 1
            ? std::string("every cast is drawn.")
            : "one cast in every " + count_text(d.casts.stride) + " is drawn (" +
                  count_text(static_cast<std::uint64_t>(d.casts.kept)) + " of " + count_text(d.casts.total) + ").";
    appendf(out, "<p class=\"note\">One line per cast, coloured from light (first) to dark (last); %s</p>\n",
            drawn.c_str());
    ctd_panel(out, d);
    out += "</section>\n";
  }
  // Last: for a long deployment it is the longest section.
  if (d.any_depth) day_strips(out, d);
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace skelv::quicklook
