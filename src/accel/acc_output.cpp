#include "accel/acc_output.h"

#include <algorithm>

#include "input/number_text.h"
#include "output/emit.h"
#include "records/time_base.h"

namespace skelv {

void flush_acc(DecoderState& st, Run& run) {
  const int count = std::min(st.acc_pending_count, kAccPendingCapacity);
  if (count <= 0) return;
  // Sample i of the block sits i steps after the block's start; the last one a step before its end.
  const double step = (st.acc_last_end - st.acc_block_start) / count;
  double t = st.acc_block_start;
  for (int i = 0; i < count; ++i) {
    const AccSample& s = st.acc_pending[i];
    emit_acc_sample(st, run,
                    AccValues{t, s.x * st.acc_scale - st.acc_offset, s.y * st.acc_scale - st.acc_offset,
                              s.z * st.acc_scale - st.acc_offset, s, st.acc_pending_burst[i]});
    t += step;
  }
}

void write_acc_line(DecoderState& st, OutFile& file, double t, const AccSample& sample) {
  write_acc_values(st, file, t, sample.x * st.acc_scale - st.acc_offset, sample.y * st.acc_scale - st.acc_offset,
                   sample.z * st.acc_scale - st.acc_offset);
}

void write_acc_values(DecoderState& st, OutFile& file, double t, double x, double y, double z) {
  if (!out_is_open(file)) return;
  char* const line = out_reserve(file, kTimeTextSize + 3 * (kNumberRoom + 1) + 2);
  char* p = put_time_ms(st.acc_time_text, t, line);
  p = put_tab_fixed<4>(p, x);
  p = put_tab_fixed<4>(p, y);
  p = put_tab_fixed<4>(p, z);
  *p++ = '\n';
  out_commit(file, static_cast<std::size_t>(p - line));
  ++st.acc_count;
}

}  // namespace skelv
