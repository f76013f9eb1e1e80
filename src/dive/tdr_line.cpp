#include "dive/tdr_line.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "records/codes.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Longer than the widest line: 23 date characters and twelve columns of at most 9 characters.
constexpr std::size_t kLineRoom = 256;

// Appends to the line at `p`, never past `end` (which keeps room for the line end).
__attribute__((format(printf, 3, 4))) char* put(char* p, const char* end, const char* format, ...) {
  const std::size_t room = static_cast<std::size_t>(end - p);
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(p, room, format, args);
  va_end(args);
  if (n < 0) return p;
  return p + std::min(static_cast<std::size_t>(n), room - 1);
}

}  // namespace

void write_tdr_line(DecoderState& st, OutFile& file, const TdrSample& sample, unsigned flags) {
  if (!out_is_open(file)) return;
  char stamp[kTimeTextSize];
  char* const line = out_reserve(file, kLineRoom);
  const char* const end = line + kLineRoom - 1;
  char* p = put(line, end, "%s\t%.3f", format_time(st.time_base, stamp, true), sample.depth_m);
  if (flags & TDR_TEMP) p = put(p, end, "\t%.2f", sample.temp_raw * 0.05 - 273.15);
  if (flags & TDR_PHOTO) {
    const int n = std::min<int>(st.photo_channels, kMaxPhotoChannels);
    for (int i = 0; i < n; ++i) p = put(p, end, "\t%5u", static_cast<unsigned>(sample.photo[i]));
  }
  if (flags & TDR_ODO) p = put(p, end, "\t%.2f", sample.odo_raw * 0.12);
  if (flags & TDR_MAG) {
    for (std::uint16_t axis : sample.mag) p = put(p, end, "\t%.1f", static_cast<std::int16_t>(axis) * 0.1);
    p = put(p, end, "\t%hd", static_cast<short>(sample.mag_temp));
  }
  if (flags & (TDR_WETDRY | TDR_WETDRY_STREAM)) p = put(p, end, "\t%hu", static_cast<unsigned short>(st.wetdry));
  *p++ = '\n';
  out_commit(file, static_cast<std::size_t>(p - line));
  ++st.tdr_count;
}

}  // namespace skelv
