// The CTD casts: temperature and salinity against pressure, one line per cast.
#include <cmath>
#include <cstdio>

#include "quicklook/page_draw.h"

namespace skelv::quicklook {

using namespace draw;

namespace {

// Early casts light, late casts dark: the order reads in greyscale too.
void cast_colour(int k, int n, char* out) {
  const double r = n > 1 ? static_cast<double>(k) / (n - 1) : 1.0;
  // The lightest still stands out from the white page (a contrast above 2.5).
  const int light[3] = {107, 174, 214}, dark[3] = {8, 48, 107};
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

}  // namespace

void ctd_section(std::string& out, const Deployment& d) {
  const std::string drawn =
      d.casts.stride == 1
          ? std::string("every cast is drawn.")
          : "one cast in every " + count_text(d.casts.stride) + " is drawn (" +
                count_text(static_cast<std::uint64_t>(d.casts.kept)) + " of " + count_text(d.casts.total) + ").";
  section_begin(out, "ctd", "CTD casts");
  appendf(out, "<p class=\"note\">One line per cast, coloured from light (first) to dark (last); %s</p>\n",
          drawn.c_str());
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
  out += "</svg>\n</section>\n";
}

}  // namespace skelv::quicklook
