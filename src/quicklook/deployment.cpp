#include "quicklook/deployment.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace skelv::quicklook {

void note_add(NoteTally& notes, FileKind kind, std::uint64_t offset, std::string_view text) {
  ++notes.total;
  char clean[kNoteTextSize];
  const std::size_t n = std::min(text.size(), kNoteTextSize - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    clean[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  clean[n] = '\0';
  const unsigned bit = 1u << file_index(kind);
  for (int i = 0; i < notes.distinct; ++i) {
    NoteText& t = notes.texts[static_cast<std::size_t>(i)];
    if (std::strcmp(t.text, clean) == 0) {
      ++t.count;
      t.files |= bit;
      return;
    }
  }
  if (notes.distinct == kMaxNoteTexts) {
    ++notes.unlisted;
    return;
  }
  NoteText& t = notes.texts[static_cast<std::size_t>(notes.distinct++)];
  std::memcpy(t.text, clean, n + 1);
  t.count = 1;
  t.first_offset = offset;
  t.files = bit;
}

void span_add(TimeSpan& s, double t) {
  if (!s.any) {
    s.any = true;
    s.first = s.last = t;
    return;
  }
  s.first = std::min(s.first, t);
  s.last = std::max(s.last, t);
}

bool cast_split_next(CastSplit& split, double t, double surface) {
  bool begins = !split.any || t < split.last_t || surface != split.last_surface;
  if (!begins) {
    const double step = t - split.last_t;
    const double limit = split.min_step > 0
                             ? std::max(kCastGapSteps * split.min_step, kCastMinGap)
                             : kCastFirstGap;
    begins = step > limit;
    if (!begins && step > 0 && (split.min_step == 0 || step < split.min_step)) split.min_step = step;
  }
  if (begins) split.min_step = 0;
  split.any = true;
  split.last_t = t;
  split.last_surface = surface;
  return begins;
}

namespace {

// A TDR sample out of the dive analysis, its depth corrected: drawn and counted. A break (a
// haul-out) separates the samples of the trace.
void take_corrected(void* context, const analysis::CorrectedSample& c) {
  auto& d = *static_cast<Deployment*>(context);
  if (c.kind == analysis::ZocKind::kBreak) {
    reducer_break(d.dive);
    return;
  }
  if (c.kind != analysis::ZocKind::kSample) return;
  const double t = static_cast<double>(c.t_ms) * 0.001;
  const double depth = c.corrected_mm * 0.001;
  const bool has_temp = c.temp_centi != analysis::kNoTemp;
  const double v[3] = {depth, has_temp ? c.temp_centi * 0.01 : 0.0, static_cast<double>(c.tag)};
  // A dry period's temperature stream shows its temperature only: its depth is no reading.
  const unsigned present = (c.dry ? 0u : 1u) | (has_temp ? 2u : 0u) | (c.tag != analysis::kNoTag ? 4u : 0u);
  reducer_add(d.dive, t, v, present);
  if (c.dry) return;
  if (!d.any_depth || depth > d.max_depth) {
    d.max_depth = depth;
    d.max_depth_time = t;
  }
  d.any_depth = true;
  strips_add(d.strips, t, depth);
  if (c.tag != analysis::kNoTag) {
    ++d.wetdry_samples[c.tag];
    if (c.corrected_mm > d.analysis.detector.threshold_mm) ++d.wetdry_deep[c.tag];
  }
}

}  // namespace

void deployment_reset(Deployment& d, const analysis::DiveSettings& settings) {
  d.files.fill(FileTally{});
  d.spans.fill(TimeSpan{});
  d.notes = NoteTally{};
  d.tdr_columns = TdrColumns{};
  reducer_reset(d.dive, 3, 0.01);
  reducer_reset(d.haulout, 0, 1.0);
  d.haulouts_undated = 0;
  d.haulout_clock = analysis::HauloutClock{};
  analysis::analysis_reset(d.analysis, settings, dive_summary_add, &d.dive_table, take_corrected, &d);
  dive_summary_reset(d.dive_table, settings);
  strips_reset(d.strips);
  d.dryness = false;
  d.wetdry_samples.fill(0);
  d.wetdry_deep.fill(0);
  d.any_depth = false;
  d.max_depth = 0;
  d.max_depth_time = 0;
  d.split = CastSplit{};
  d.casts.total = 0;
  d.casts.stride = 1;
  d.casts.kept = 0;
  d.casts.open = false;
  d.casts.tracing = false;
  d.max_pressure = 0;
  reducer_reset(d.gps, 0, 1.0);
  d.gps_bad_time = 0;
  reducer_reset(d.acc, 3, 0.001);
}

namespace {

void take_tdr(Deployment& d, FileTally& tally, std::string_view line) {
  TdrLine s;
  if (!parse_tdr_line(line, d.tdr_columns, s)) {
    ++tally.unparsed;
    return;
  }
  ++tally.data;
  span_add(d.spans[file_index(FileKind::kTdr)], s.t);
  analysis::haulout_clock_sample(d.haulout_clock, s.t, s.depth_m);
  // The wet/dry state travels with the sample: a whole number from 0 to 255, as Skelv prints it.
  const bool state = s.has_wetdry && s.wetdry >= 0 && s.wetdry <= 255 && s.wetdry == std::floor(s.wetdry);
  analysis::analysis_sample(d.analysis, s.t, s.depth_m, s.has_temp, s.temp_c,
                            state ? static_cast<std::uint32_t>(s.wetdry) : analysis::kNoTag);
}

void take_ctd(Deployment& d, FileTally& tally, std::string_view line) {
  CtdLine s;
  if (!parse_ctd_line(line, s)) {
    ++tally.unparsed;
    return;
  }
  ++tally.data;
  span_add(d.spans[file_index(FileKind::kCtd)], s.t);
  if (cast_split_next(d.split, s.t, s.surface)) castset_begin(d.casts, s.t);
  const double v[2] = {s.temp_c, s.salinity};
  castset_add(d.casts, s.pressure, v, 1u | (s.salinity > 0 ? 2u : 0u));
  if (tally.data == 1 || s.pressure > d.max_pressure) d.max_pressure = s.pressure;
}

void take_gps(Deployment& d, FileTally& tally, std::string_view line) {
  GpsLine s;
  if (!parse_gps_line(line, s)) {
    ++tally.unparsed;
    return;
  }
  ++tally.data;
  if (!s.time_valid) {
    ++d.gps_bad_time;
    return;
  }
  reducer_add(d.gps, s.t, nullptr, 0);
  span_add(d.spans[file_index(FileKind::kGps)], s.t);
}

void take_acc(Deployment& d, FileTally& tally, std::string_view line) {
  AccLine s;
  if (!parse_acc_line(line, s)) {
    ++tally.unparsed;
    return;
  }
  ++tally.data;
  reducer_add(d.acc, s.t, s.g, 7u);
  span_add(d.spans[file_index(FileKind::kAcc)], s.t);
}

}  // namespace

void take_line(Deployment& d, FileKind kind, std::string_view line) {
  FileTally& tally = d.files[file_index(kind)];
  ++tally.lines;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  switch (classify_line(kind, line)) {
    case LineKind::kData:
      switch (kind) {
        case FileKind::kTdr: take_tdr(d, tally, line); break;
        case FileKind::kCtd: take_ctd(d, tally, line); break;
        case FileKind::kGps: take_gps(d, tally, line); break;
        case FileKind::kAcc: take_acc(d, tally, line); break;
      }
      return;
    case LineKind::kHeader:
      ++tally.headers;
      if (kind == FileKind::kTdr) {
        d.tdr_columns = tdr_columns_from_header(line);
        if (d.tdr_columns.wetdry > 0) d.dryness = line.find("DRYNESS") != std::string_view::npos;
      }
      return;
    case LineKind::kHaulout: {
      double start, end;
      if (!parse_haulout_line(line, start, end)) {
        ++tally.unparsed;
        return;
      }
      ++tally.haulouts;
      const analysis::HauloutSpan span = analysis::haulout_span(d.haulout_clock, start, end);
      if (span.start_known) {
        reducer_cover(d.haulout, span.start, span.end);
      } else {
        ++d.haulouts_undated;
      }
      analysis::analysis_break(d.analysis);
      return;
    }
    case LineKind::kNote: {
      std::uint64_t offset;
      std::string_view text;
      if (!parse_note(line, offset, text)) {
        ++tally.unparsed;
        return;
      }
      ++tally.notes;
      note_add(d.notes, kind, offset, text);
      return;
    }
    case LineKind::kIllegalStream: {
      ++tally.notes;
      const std::size_t colon = line.find(':');
      std::uint64_t offset = 0;
      // At most 16 hexadecimal digits fit; more (never written) leave the offset at 0.
      if (colon <= 16) {
        for (std::size_t i = 0; i < colon; ++i) {
          const char c = line[i];
          offset = offset * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
      }
      note_add(d.notes, kind, offset, line.substr(colon + 2));
      return;
    }
    case LineKind::kUnparsed:
      ++tally.unparsed;
      return;
  }
}

bool read_file(Deployment& d, FileKind kind, const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  FileTally& tally = d.files[file_index(kind)];
  tally.found = true;
  const std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
  char* const buf = buffer.get();
  std::size_t fill = 0;
  bool skipping = false;  // dropping the rest of a line longer than the buffer
  for (;;) {
    const ssize_t n = ::read(fd, buf + fill, kReadBufferSize - fill);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      tally.read_error = true;
      break;
    }
    if (n == 0) break;
    fill += static_cast<std::size_t>(n);
    const char* p = buf;
    const char* const end = buf + fill;
    while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) {
      if (skipping) {
        skipping = false;
      } else {
        take_line(d, kind, std::string_view(p, static_cast<std::size_t>(nl - p)));
      }
      p = nl + 1;
    }
    std::size_t rest = static_cast<std::size_t>(end - p);
    if (rest == kReadBufferSize) {
      if (!skipping) {
        ++tally.lines;
        ++tally.unparsed;
      }
      skipping = true;
      rest = 0;
    } else if (rest > 0 && p != buf) {
      std::memmove(buf, p, rest);
    }
    fill = rest;
  }
  if (fill > 0 && !skipping) {
    // Skelv ends every line it writes: a last line without its end was cut short.
    ++tally.lines;
    ++tally.truncated;
  }
  ::close(fd);
  if (kind == FileKind::kTdr) {
    analysis::analysis_finish(d.analysis);
    d.dive_table.dropped = d.analysis.detector.dropped;
  }
  return true;
}

void deployment_take(Deployment& into, const Deployment& from, FileKind kind) {
  const int k = file_index(kind);
  into.files[static_cast<std::size_t>(k)] = from.files[static_cast<std::size_t>(k)];
  into.spans[static_cast<std::size_t>(k)] = from.spans[static_cast<std::size_t>(k)];
  // Note texts join in the order met; the first 12 distinct texts of one file include every text
  // of it that can still find a free slot, so nothing counted differs from one pass.
  NoteTally& n = into.notes;
  n.total += from.notes.total;
  n.unlisted += from.notes.unlisted;
  for (int i = 0; i < from.notes.distinct; ++i) {
    const NoteText& t = from.notes.texts[static_cast<std::size_t>(i)];
    int j = 0;
    while (j < n.distinct && std::strcmp(n.texts[static_cast<std::size_t>(j)].text, t.text) != 0) ++j;
    if (j < n.distinct) {
      n.texts[static_cast<std::size_t>(j)].count += t.count;
      n.texts[static_cast<std::size_t>(j)].files |= t.files;
    } else if (n.distinct < kMaxNoteTexts) {
      n.texts[static_cast<std::size_t>(n.distinct++)] = t;
    } else {
      n.unlisted += t.count;
    }
  }
  switch (kind) {
    case FileKind::kTdr:
      into.tdr_columns = from.tdr_columns;
      into.dive = from.dive;
      into.haulout = from.haulout;
      into.haulouts_undated = from.haulouts_undated;
      into.dive_table = from.dive_table;
      into.strips = from.strips;
      into.dryness = from.dryness;
      into.wetdry_samples = from.wetdry_samples;
      into.wetdry_deep = from.wetdry_deep;
      into.any_depth = from.any_depth;
      into.max_depth = from.max_depth;
      into.max_depth_time = from.max_depth_time;
      break;
    case FileKind::kCtd:
      into.split = from.split;
      into.casts = from.casts;
      into.max_pressure = from.max_pressure;
      break;
    case FileKind::kGps:
      into.gps = from.gps;
      into.gps_bad_time = from.gps_bad_time;
      break;
    case FileKind::kAcc:
      into.acc = from.acc;
      break;
  }
}

void deployment_finish(Deployment& d) {
  castset_end(d.casts);
  analysis::analysis_finish(d.analysis);
}

}  // namespace skelv::quicklook
