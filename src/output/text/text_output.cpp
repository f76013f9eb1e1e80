#include "output/text/text_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace skelv {
namespace {

constexpr char kCtdHeader[] =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
    "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)";

// The column titles of the regime, written once when the TDR file is created.
void write_tdr_header(OutFile& file, std::uint8_t regime, int photo_channels) {
  switch (regime) {
    case 1: out_puts(file, "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n"); break;
    case 2: out_puts(file, "DATE(UTC)\tDEPTH(m)\n"); break;
    case 3: {
      out_puts(file, "DATE(UTC)\tDEPTH(m)");
      const int n = std::min<int>(photo_channels, kMaxPhotoChannels);
      for (int i = 0; i < n; ++i) out_printf(file, "\tPHOTO%d", i);
      out_puts(file, "\n");
      break;
    }
    case 5: out_puts(file, "DATE(UTC)\tDEPTH(cm)\n"); break;
    case 6: out_puts(file, "DATE(UTC)\tDEPTH(m)\tWETDRY\n"); break;
    case 7:
      out_puts(file, "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS\n");
      break;
    case 8: out_puts(file, "DATE(UTC)\tDEPTH(mm)\tWETDRY\n"); break;
    default: out_printf(file, "***Unknown TDR regime %hu ***\n", static_cast<unsigned short>(regime)); break;
  }
}

}  // namespace

TextOutput::TextOutput(const TextNames& names, FailFn fail) : fail_(std::move(fail)) {
  tdr_file.name = names.tdr;
  ctd_file.name = names.ctd;
  gps_file.name = names.gps;
  acc_file.name = names.acc;
}

bool TextOutput::create(TextFile& f, const char* kind) {
  if (f.started) return false;
  if (holding_) {
    // Created once its first bytes are released.
    out_hold(f.file);
    f.started = true;
    return true;
  }
  if (out_open(f.file, f.name)) {
    f.started = true;
    return true;
  }
  failed_to_create(f, kind);
  return false;
}

void TextOutput::failed_to_create(TextFile& f, const char* kind) {
  f.failed = true;
  char message[1100];
  std::snprintf(message, sizeof message, "Can't create %s data file %s\n", kind, f.name);
  fail_(message);
}

std::array<std::pair<TextFile*, const char*>, 4> TextOutput::all() {
  return {{{&tdr_file, "TDR"}, {&ctd_file, "CTD"}, {&gps_file, "GPS"}, {&acc_file, "ACC"}}};
}

RetractableOutput::Mark TextOutput::mark() const {
  Mark m;
  const TextFile* files[] = {&tdr_file, &ctd_file, &gps_file, &acc_file};
  for (int i = 0; i < 4; ++i) {
    m.at[i] = out_position(files[i]->file);
    m.count[i] = files[i]->count;
    if (files[i]->started) m.started |= static_cast<std::uint8_t>(1 << i);
  }
  return m;
}

void TextOutput::release(const Mark& m) {
  int i = 0;
  for (const auto& [f, kind] : all()) {
    const bool begun = (m.started >> i & 1) != 0;
    const std::uint64_t at = m.at[i++];
    if (!begun || !f->file.holding) continue;
    if (f->file.fd < 0) {
      if (!out_open_held(f->file, f->name)) {
        // Its lines are gone (uncounted, as in a run that does not hold them; GPS snapshots are
        // counted all the same); its next item tries again, as such a run would.
        f->started = false;
        if (f != &gps_file) f->count = 0;
        failed_to_create(*f, kind);
        continue;
      }
    }
    out_release(f->file, at);
  }
}

void TextOutput::take_back(const Mark& m) {
  int i = 0;
  for (const auto& entry : all()) {
    TextFile& f = *entry.first;
    const bool begun = (m.started >> i & 1) != 0;
    f.count = m.count[i];
    const std::uint64_t at = m.at[i++];
    if (!f.file.holding) continue;
    if (!begun && f.file.fd < 0) {
      // Begun after the mark: as if its first item had never come.
      f.started = false;
      f.file.holding = false;
      f.file.used = 0;
      continue;
    }
    out_take_back(f.file, at);
  }
}

void TextOutput::insert_note(const Mark& m, std::uint64_t offset, const char* text, Mark& grown) {
  char line[200];
  std::snprintf(line, sizeof line, "@%08llX: %s", static_cast<unsigned long long>(offset), text);
  const std::size_t n = std::strlen(line);
  line[n] = '\n';
  int i = 0;
  for (const auto& entry : all()) {
    OutFile& file = entry.first->file;
    grown.at[i] = 0;
    if ((m.started >> i & 1) != 0 && out_is_open(file)) {
      out_insert(file, m.at[i], line, n + 1);
      grown.at[i] = n + 1;
    }
    ++i;
  }
}

void TextOutput::dive_start(const DiveStart& item) {
  if (create(tdr_file, "TDR")) write_tdr_header(tdr_file.file, item.regime, item.photo_channels);
}

void TextOutput::haulout(const Haulout& item) {
  if (!out_is_open(tdr_file.file)) return;
  char from[kTimeTextSize];
  char to[kTimeTextSize];
  out_printf(tdr_file.file, "HAULOUT: %s %s\n", format_time(item.start, from, false), format_time(item.end, to, false));
}

void TextOutput::ctd_cast(const CtdCast& item) {
  // The file's header names the columns of the profile that created it.
  if (!create(ctd_file, "CTD")) return;
  out_puts(ctd_file.file, kCtdHeader);
  if (item.columns.count > 0) out_puts(ctd_file.file, item.columns.header_text);
  out_puts(ctd_file.file, "\n");
}

void TextOutput::gps(const GpsSnapshot& item) {
  create(gps_file, "GPS");
  ++gps_file.count;  // counted whether or not the file could be created
  if (!out_is_open(gps_file.file)) return;
  OutFile& f = gps_file.file;
  const std::uint8_t* head = item.head;
  out_printf(f, "%04d/%02hu/%02hu %02hu:%02hu:%02hu %hu 3 0", 1900 + head[0], static_cast<unsigned short>(head[1]),
             static_cast<unsigned short>(head[2]), static_cast<unsigned short>(head[3]),
             static_cast<unsigned short>(head[4]), static_cast<unsigned short>(head[5]),
             static_cast<unsigned short>(head[6]));
  for (int i = 0; i < head[6]; ++i) {
    const std::uint8_t* e = item.entries + 3 * i;
    out_printf(f, " %hu %04x", static_cast<unsigned short>(e[0]), static_cast<unsigned>(e[1] << 8 | e[2]));
  }
  out_puts(f, "\n");
}

void TextOutput::acc_burst(const AccBurst& /*item*/) {
  if (create(acc_file, "ACC")) out_puts(acc_file.file, "DATE(UTC)\tX\tY\tZ\n");
}

void TextOutput::note(const Note& item) {
  if (item.scope == NoteScope::kDiveFile) {
    if (out_is_open(tdr_file.file)) out_printf(tdr_file.file, "%lx: %s\n", static_cast<unsigned long>(item.offset), item.text);
    return;
  }
  char line[200];
  std::snprintf(line, sizeof line, "@%08llX: %s", static_cast<unsigned long long>(item.offset), item.text);
  for (TextFile* f : {&tdr_file, &ctd_file, &acc_file, &gps_file}) {
    if (!out_is_open(f->file)) continue;
    out_puts(f->file, line);
    out_puts(f->file, "\n");
  }
}

void TextOutput::end_run(const RunEvents& /*events*/) {
  const std::pair<TextFile*, const char*> order[] = {
      {&tdr_file, "TDR"}, {&acc_file, "ACC"}, {&ctd_file, "CTD"}, {&gps_file, "GPS"}};
  for (const auto& [f, kind] : order) {
    if (!out_is_open(f->file) || out_close(f->file)) continue;
    f->failed = true;
    char message[1100];
    std::snprintf(message, sizeof message, "Can't write %s data file %s\n", kind, f->name);
    fail_(message);
  }
}

void TextOutput::files(std::vector<WrittenFile>& out) const {
  const std::pair<const TextFile*, const char*> kinds[] = {
      {&tdr_file, "tdr"}, {&ctd_file, "ctd"}, {&gps_file, "gps"}, {&acc_file, "accel"}};
  for (const auto& [f, kind] : kinds) {
    if (!f->started && !f->failed) continue;
    out.push_back(WrittenFile{f->name, kind, f->count, f->started ? f->file.bytes : 0, !f->failed});
  }
}

}  // namespace skelv
