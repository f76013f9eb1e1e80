#include "output/text/text_output.h"

#include <algorithm>
#include <cstdio>

#include "records/report.h"
#include "records/time_base.h"

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

// Closes an output file; a write that failed on the way fails the run.
void close_output(DecoderState& st, Run& run, OutFile& file, const char* kind, const char* name) {
  if (!out_is_open(file)) return;
  if (!out_close(file)) fail(st, run, "Can't write %s data file %s\n", kind, name);
}

}  // namespace

void TextOutput::dive_start(const DiveStart& item) {
  if (st_.tdr_started) return;
  if (out_open(st_.tdr_file, run_.tdr_name)) {
    st_.tdr_started = true;
    write_tdr_header(st_.tdr_file, item.regime, item.photo_channels);
  } else {
    fail(st_, run_, "Can't create TDR data file %s\n", run_.tdr_name);
  }
}

void TextOutput::haulout(const Haulout& item) {
  if (!out_is_open(st_.tdr_file)) return;
  char from[kTimeTextSize];
  char to[kTimeTextSize];
  out_printf(st_.tdr_file, "HAULOUT: %s %s\n", format_time(item.start, from, false),
             format_time(item.end, to, false));
}

void TextOutput::ctd_cast(const CtdCast& item) {
  if (st_.ctd_started) return;
  if (out_open(st_.ctd_file, run_.ctd_name)) {
    // The file's header names the columns of the profile that created it.
    out_puts(st_.ctd_file, kCtdHeader);
    if (item.columns.count > 0) out_puts(st_.ctd_file, item.columns.header_text);
    out_puts(st_.ctd_file, "\n");
    st_.ctd_started = true;
  } else {
    fail(st_, run_, "Can't create CTD data file %s\n", run_.ctd_name);
  }
}

void TextOutput::gps(const GpsSnapshot& item) {
  if (!st_.gps_started) {
    if (out_open(st_.gps_file, run_.gps_name)) {
      st_.gps_started = true;
    } else {
      fail(st_, run_, "Can't create GPS data file %s\n", run_.gps_name);
    }
  }
  if (!out_is_open(st_.gps_file)) return;
  OutFile& f = st_.gps_file;
  const std::uint8_t* head = item.head;
  out_printf(f, "%04d/%02hu/%02hu %02hu:%02hu:%02hu %hu 3 0", 1900 + head[0],
             static_cast<unsigned short>(head[1]), static_cast<unsigned short>(head[2]),
             static_cast<unsigned short>(head[3]), static_cast<unsigned short>(head[4]),
             static_cast<unsigned short>(head[5]), static_cast<unsigned short>(head[6]));
  for (int i = 0; i < head[6]; ++i) {
    const std::uint8_t* e = item.entries + 3 * i;
    out_printf(f, " %hu %04x", static_cast<unsigned short>(e[0]), static_cast<unsigned>(e[1] << 8 | e[2]));
  }
  out_puts(f, "\n");
}

void TextOutput::acc_burst(const AccBurst& /*item*/) {
  if (st_.acc_started) return;
  if (out_open(st_.acc_file, run_.acc_name)) {
    out_puts(st_.acc_file, "DATE(UTC)\tX\tY\tZ\n");
    st_.acc_started = true;
  } else {
    fail(st_, run_, "Can't create ACC data file %s\n", run_.acc_name);
  }
}

void write_text_note(DecoderState& st, const Note& item) {
  if (item.scope == NoteScope::kDiveFile) {
    if (out_is_open(st.tdr_file)) {
      out_printf(st.tdr_file, "%lx: %s\n", static_cast<unsigned long>(item.offset), item.text);
    }
    return;
  }
  char line[200];
  std::snprintf(line, sizeof line, "@%08llX: %s", static_cast<unsigned long long>(item.offset), item.text);
  for (OutFile* file : {&st.tdr_file, &st.ctd_file, &st.acc_file, &st.gps_file}) {
    if (!out_is_open(*file)) continue;
    out_puts(*file, line);
    out_puts(*file, "\n");
  }
}

void TextOutput::end_run(bool /*ok*/) {
  close_output(st_, run_, st_.tdr_file, "TDR", run_.tdr_name);
  close_output(st_, run_, st_.acc_file, "ACC", run_.acc_name);
  close_output(st_, run_, st_.ctd_file, "CTD", run_.ctd_name);
  close_output(st_, run_, st_.gps_file, "GPS", run_.gps_name);
}

}  // namespace skelv
