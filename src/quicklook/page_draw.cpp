#include "quicklook/page_draw.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace skelv::quicklook::draw {

void appendf(std::string& out, const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
}

double map_x(const Frame& f, const Map& m, double v) {
  const double x = f.x + (v - m.lo) / (m.hi - m.lo) * f.w;
  return std::clamp(x, f.x, f.x + f.w);
}

double map_y(const Frame& f, const Map& m, double v) {
  const double r = (v - m.lo) / (m.hi - m.lo);
  const double y = m.down ? f.y + r * f.h : f.y + f.h - r * f.h;
  return std::clamp(y, f.y, f.y + f.h);
}

void Range::add(double v) {
  if (!any) {
    any = true;
    lo = hi = v;
  }
  lo = std::min(lo, v);
  hi = std::max(hi, v);
}

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

namespace {

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

}  // namespace

void time_axis(std::string& out, const Frame& f, const Ticks& t, bool labels) {
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

std::string duration_text(double seconds) {
  char buf[32];
  format_duration(seconds, buf);
  return buf;
}

void section_begin(std::string& out, const char* id, const char* heading) {
  appendf(out, "<section id=\"%s\">\n<h2>%s</h2>\n", id, heading);
}

}  // namespace skelv::quicklook::draw
