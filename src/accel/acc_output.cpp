#include "accel/acc_output.h"

#include <algorithm>
#include <cstdio>

#include "records/time_base.h"

namespace skelv {

void flush_acc(DecoderState& st, OutFile& file) {
  const int count = std::min(st.acc_pending_count, kAccPendingCapacity);
  if (count <= 0) return;
  // Sample i of the block sits i steps after the block's start; the last one a step before its end.
  const double step = (st.acc_last_end - st.acc_block_start) / count;
  double t = st.acc_block_start;
  for (int i = 0; i < count; ++i) {
    write_acc_line(st, file, t, st.acc_pending[i]);
    t += step;
  }
}

void write_acc_line(DecoderState& st, OutFile& file, double t, const AccSample& sample) {
  if (!out_is_open(file)) return;
  char when[kTimeTextSize];
  format_time(t, when, true);
  const double x = sample.x * st.acc_scale - st.acc_offset;
  const double y = sample.y * st.acc_scale - st.acc_offset;
  const double z = sample.z * st.acc_scale - st.acc_offset;
  // A line from the image's calibration is at most about 60 characters.
  constexpr std::size_t kRoom = 128;
  char* line = out_reserve(file, kRoom);
  const int n = std::snprintf(line, kRoom, "%s\t%.4f\t%.4f\t%.4f\n", when, x, y, z);
  if (n > 0 && static_cast<std::size_t>(n) < kRoom) {
    out_commit(file, static_cast<std::size_t>(n));
  } else if (n > 0) {
    out_printf(file, "%s\t%.4f\t%.4f\t%.4f\n", when, x, y, z);
  }
  ++st.acc_count;
}

}  // namespace skelv
