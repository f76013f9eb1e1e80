#include "output/text/text_lines.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "output/text/number_text.h"
#include "records/codes.h"

namespace skelv {
namespace {

// Room for the widest line: the date and at most twelve numbers with their tabs.
constexpr std::size_t kLineRoom = kTimeTextSize + 12 * (kNumberRoom + 1) + 2;

constexpr std::size_t kStampLength = 19;  // "YYYY/MM/DD HH:MM:SS"

// Stamps a CTD sample with its whole second; a time less than 5 ms before a whole second counts
// as that second. Times that aren't finite or lie outside the years 0..9999 print as zeros.
void format_ctd_time(TimeText& cache, double t, char* out) {
  const double shifted = t + 0.005;
  std::int64_t whole = std::numeric_limits<std::int64_t>::max();
  // Only a double well inside the 64-bit range is converted; the rest prints as zeros.
  if (std::isfinite(shifted) && std::fabs(shifted) < 1e15) whole = static_cast<std::int64_t>(std::floor(shifted));
  *put_seconds(cache, whole, out) = '\0';
}

}  // namespace

void write_tdr_line(TextFile& f, double time, const TdrSample& sample, unsigned flags, int photo_channels,
                    std::uint8_t wetdry) {
  if (!out_is_open(f.file)) return;
  char* const line = out_reserve(f.file, kLineRoom);
  char* p = put_time_ms(f.time_text, time, line);
  p = put_tab_fixed<3>(p, sample.depth_m);
  if (flags & TDR_TEMP) p = put_tab_fixed<2>(p, sample.temp_raw * 0.05 - 273.15);
  if (flags & TDR_PHOTO) {
    for (int i = 0; i < photo_channels; ++i) {
      *p++ = '\t';
      p = put_uint_width(p, sample.photo[i], 5);
    }
  }
  if (flags & TDR_ODO) p = put_tab_fixed<2>(p, sample.odo_raw * 0.12);
  if (flags & TDR_MAG) {
    for (std::uint16_t axis : sample.mag) p = put_tab_fixed<1>(p, static_cast<std::int16_t>(axis) * 0.1);
    *p++ = '\t';
    p = put_int(p, sample.mag_temp);
  }
  if (flags & (TDR_WETDRY | TDR_WETDRY_STREAM)) {
    *p++ = '\t';
    p = put_uint(p, wetdry);
  }
  *p++ = '\n';
  out_commit(f.file, static_cast<std::size_t>(p - line));
  ++f.count;
}

void write_ctd_line(TextFile& f, double time, const CtdValues& l) {
  if (!out_is_open(f.file)) return;
  char stamp[kTimeTextSize];
  format_ctd_time(f.time_text, time, stamp);
  char* const out = out_reserve(f.file, kLineRoom);
  std::memcpy(out, stamp, kStampLength);
  char* p = out + kStampLength;
  p = put_tab_fixed<2>(p, l.rel_pressure);
  p = put_tab_fixed<2>(p, l.abs_pressure);
  p = put_tab_fixed<2>(p, l.surface_pressure);
  p = put_tab_fixed<3>(p, l.temperature);
  p = put_tab_fixed<4>(p, l.conductivity);
  p = put_tab_fixed<4>(p, l.salinity);
  for (std::size_t i = 0; i < l.aux_count; ++i) p = put_tab_fixed<4>(p, l.aux[i]);
  *p++ = '\n';
  out_commit(f.file, static_cast<std::size_t>(p - out));
  ++f.count;
}

void write_acc_line(TextFile& f, double time, double x, double y, double z) {
  if (!out_is_open(f.file)) return;
  char* const line = out_reserve(f.file, kLineRoom);
  char* p = put_time_ms(f.time_text, time, line);
  p = put_tab_fixed<4>(p, x);
  p = put_tab_fixed<4>(p, y);
  p = put_tab_fixed<4>(p, z);
  *p++ = '\n';
  out_commit(f.file, static_cast<std::size_t>(p - line));
  ++f.count;
}

}  // namespace skelv
