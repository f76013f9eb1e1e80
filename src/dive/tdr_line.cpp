#include "dive/tdr_line.h"

#include <algorithm>

#include "dive/dive_hook.h"
#include "input/number_text.h"
#include "records/codes.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Room for the widest line: the date and at most twelve numbers with their tabs.
constexpr std::size_t kLineRoom = kTimeTextSize + 12 * (kNumberRoom + 1) + 2;

}  // namespace

void write_tdr_line(DecoderState& st, OutFile& file, const TdrSample& sample, unsigned flags) {
  if (!out_is_open(file)) return;
  char* const line = out_reserve(file, kLineRoom);
  char* p = put_time_ms(st.tdr_time_text, st.time_base, line);
  p = put_tab_fixed<3>(p, sample.depth_m);
  if (flags & TDR_TEMP) p = put_tab_fixed<2>(p, sample.temp_raw * 0.05 - 273.15);
  if (flags & TDR_PHOTO) {
    const int n = std::min<int>(st.photo_channels, kMaxPhotoChannels);
    for (int i = 0; i < n; ++i) {
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
    p = put_uint(p, st.wetdry);
  }
  *p++ = '\n';
  out_commit(file, static_cast<std::size_t>(p - line));
  ++st.tdr_count;
  dive_hook_sample(st, sample, flags);
}

}  // namespace skelv
