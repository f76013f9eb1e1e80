// The drawing primitives of the quick-look page, shared by its sections: SVG frames, value and
// time axes, legends and the texts of counts and times. Each section of the page is a function
// that appends its markup to the page.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "quicklook/axis.h"
#include "quicklook/deployment.h"
#include "quicklook/page.h"

namespace skelv::quicklook::draw {

inline constexpr double kSvgWidth = 1200;
inline constexpr double kLeft = 80;   // room for the value labels and the axis title
inline constexpr double kRight = 44;  // room for half a date label
inline constexpr double kPlotWidth = kSvgWidth - kLeft - kRight;
inline constexpr int kTimeTicks = 9;

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The plot area of a panel, in SVG units.
struct Frame {
  double x, y, w, h;
};

// Maps values of [lo, hi] onto a frame's width or height; `down` puts `lo` at the top.
struct Map {
  double lo, hi;
  bool down = false;
};

double map_x(const Frame& f, const Map& m, double v);
double map_y(const Frame& f, const Map& m, double v);

struct Range {
  bool any = false;
  double lo = 0, hi = 0;
  void add(double v);
};

// The values of channel `ch` of a time series.
Range channel_range(const TimeReducer& r, int ch);

void svg_begin(std::string& out, double height, const char* id, const char* title);
// One SVG line of the given class.
void svg_line(std::string& out, const char* cls, double x1, double y1, double x2, double y2);
// The time axis at the frame's bottom edge; without `labels` only its grid and line (for the
// upper rows of a stacked panel).
void time_axis(std::string& out, const Frame& f, const Ticks& t, bool labels = true);
// A vertical value axis at the frame's left edge.
void value_axis(std::string& out, const Frame& f, const Ticks& t, bool down, const char* title);
// A horizontal value axis at the frame's bottom edge.
void value_axis_x(std::string& out, const Frame& f, const Ticks& t, const char* title);
// One point of a trace: "M" when the pen is up, "L" when it is down.
void trace_point(std::string& out, bool& pen, double x, double y);
void legend_line(std::string& out, double x, double y, const char* cls, const char* text);
void legend_box(std::string& out, double x, double y, const char* cls, const char* text);

// Thousands separated by thin spaces.
std::string count_text(std::uint64_t n);
// "YYYY-MM-DD HH:MM:SS" (UTC).
std::string time_text(double t);
// "YYYY-MM-DD" of a day counted from 1970-01-01.
std::string date_text(std::int64_t day);
// The duration format of the page (format_duration).
std::string duration_text(double seconds);
// The hours of a day, 00:00 to 24:00 every 3 hours.
Ticks hour_ticks();
void section_begin(std::string& out, const char* id, const char* heading);

}  // namespace skelv::quicklook::draw

namespace skelv::quicklook {

// The sections of the page, in the order render_page puts them.
void summary_section(std::string& out, const Deployment& d, const PageNames& names);
// The dive profile with temperature and wet/dry state, the GPS times and the accelerometer, all
// on the time axis `span`.
void dive_profile_section(std::string& out, const Deployment& d, const TimeSpan& span);
void gps_section(std::string& out, const Deployment& d, const TimeSpan& span);
void accel_section(std::string& out, const Deployment& d, const TimeSpan& span);
void dives_section(std::string& out, const Deployment& d);
void ctd_section(std::string& out, const Deployment& d);
void day_strips_section(std::string& out, const Deployment& d);
// What the wet/dry values stood for: the legend of the strip and the table under it.
std::string wetdry_legend(const Deployment& d);
void wetdry_table(std::string& out, const Deployment& d);

}  // namespace skelv::quicklook
