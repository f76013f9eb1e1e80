// The summary of the page: time span, counts, the files' lines and the diagnostic notes.
#include <cstdio>

#include "quicklook/page_draw.h"

namespace skelv::quicklook {

using namespace draw;

namespace {

constexpr const char* kFileLabel[kFileKinds] = {"TDR", "CTD", "GPS", "Accelerometer"};

// How the depths of the page were taken: as read, or corrected for the sensor's zero offset.
std::string depth_basis(const analysis::ZocSettings& z) {
  char text[200];
  switch (z.mode) {
    case analysis::ZocMode::kNone:
      return "as read (no zero-offset correction)";
    case analysis::ZocMode::kFixed:
      std::snprintf(text, sizeof text, "zero-offset corrected: %g m subtracted (-zoc %g)", z.offset_m, z.offset_m);
      return text;
    case analysis::ZocMode::kAuto:
      break;
  }
  std::snprintf(text, sizeof text,
                "zero-offset corrected: surface level estimated as the %g %% quantile of the depths within "
                "\u00b1%g m over %g h, after a running median of %d samples (-zoc auto)",
                z.quantile_pct, z.band_m, z.window_h, z.median_samples);
  return text;
}

std::string dives_text(const DiveSummary& s) {
  char text[240];
  std::snprintf(text, sizeof text, "%s deeper than %g m, %s of them cut by a haul-out, a gap or the end of the data",
                count_text(s.dives).c_str(), s.settings.threshold_m, count_text(s.cut).c_str());
  std::string out = text;
  if (s.settings.min_duration_s > 0) {
    std::snprintf(text, sizeof text, "; %s shorter than %g s left out", count_text(s.dropped).c_str(),
                  s.settings.min_duration_s);
    out += text;
  }
  return out;
}

void summary_row(std::string& out, const char* name, const std::string& value) {
  out += "<tr><th scope=\"row\">";
  out += name;
  out += "</th><td>";
  out += value;
  out += "</td></tr>\n";
}

}  // namespace

void summary_section(std::string& out, const Deployment& d, const PageNames& names) {
  section_begin(out, "summary", "Summary");
  out += "<table class=\"summary\">\n";
  // The dated samples of the four files (a haul-out's start may not be known).
  TimeSpan all;
  for (const TimeSpan& s : d.spans) {
    if (!s.any) continue;
    span_add(all, s.first);
    span_add(all, s.last);
  }
  if (all.any) {
    summary_row(out, "Time span (UTC)",
                time_text(all.first) + " to " + time_text(all.last) + " (" + duration_text(all.last - all.first) + ")");
  } else {
    summary_row(out, "Time span (UTC)", "no dated samples");
  }
  const FileTally& tdr = d.files[file_index(FileKind::kTdr)];
  if (tdr.found) {
    summary_row(out, "Dive samples", count_text(tdr.data));
    summary_row(out, "Depths", depth_basis(d.dive_table.settings.zoc));
    summary_row(out, "Dives", dives_text(d.dive_table));
    if (d.any_depth) {
      char text[96];
      std::snprintf(text, sizeof text, "%.1f m at %s", d.max_depth, time_text(d.max_depth_time).c_str());
      summary_row(out, "Maximum depth", text);
    }
    std::string haulouts = count_text(tdr.haulouts);
    if (d.haulouts_undated > 0) {
      haulouts += " (" + count_text(d.haulouts_undated) + " began before any time was known: start unknown)";
    }
    summary_row(out, "Haul-outs", haulouts);
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

}  // namespace skelv::quicklook
