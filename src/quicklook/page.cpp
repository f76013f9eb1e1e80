#include "quicklook/page.h"

#include "quicklook/page_draw.h"

namespace skelv::quicklook {
namespace {

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
    ".haulout{stroke:none}\n"
    ".envelope{stroke-width:0.6;stroke-linejoin:round}\n"
    ".envelope.depth{fill:#c4c4c4;stroke:#c4c4c4}\n"
    ".envelope.temp{fill:#f1b9bf;stroke:#f1b9bf}\n"
    ".envelope.wetdry{fill:#cccccc;stroke:#cccccc}\n"
    ".envelope.accx{fill:#c8c8c8;stroke:#c8c8c8}\n"
    ".envelope.accy{fill:#b9cfe6;stroke:#b9cfe6}\n"
    ".envelope.accz{fill:#efcfae;stroke:#efcfae}\n"
    ".gps{stroke:#000;stroke-width:1.5}\n"
    ".cast{fill:none;stroke-width:1.2;stroke-linejoin:round}\n"
    ".ramp{stroke:#555;stroke-width:0.5}\n"
    ".strip{fill:#f4f4f4;stroke:#bbb;stroke-width:0.5}\n"
    ".daydepth{fill:#333;stroke:none}\n"
    ".bar{fill:#555}\n"
    "div.tops{display:flex;gap:24px;flex-wrap:wrap}\n";

// The time axis shared by every panel against time (dive, temperature, wet/dry, GPS and
// accelerometer): the dated samples of the TDR, GPS and accelerometer files.
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
  out += "</style>\n</head>\n<body>\n";
  out += "<h1>Quick look: ";
  append_escaped(out, names.image);
  out += "</h1>\n<p class=\"note\">Made from the text files converted from this image. Times are UTC. "
         "Each trace keeps, for every pixel column, the lowest and the highest value, so short "
         "spikes stay visible; a long record shows that range shaded.</p>\n";

  summary_section(out, d, names);
  const TimeSpan line = timeline(d);
  if (d.any_depth) dive_profile_section(out, d, line);
  if (!reducer_empty(d.gps)) gps_section(out, d, line);
  if (!reducer_empty(d.acc)) accel_section(out, d, line);
  if (d.any_depth) dives_section(out, d);
  if (d.casts.kept > 0) ctd_section(out, d);
  // Last: for a long deployment it is the longest section.
  if (d.any_depth) day_strips_section(out, d);
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace skelv::quicklook
