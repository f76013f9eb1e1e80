#include "accel/acc_output.h"

#include <algorithm>

namespace skelv {

void flush_acc(Decoder& d) {
  const AccState& acc = d.acc;
  const Deployment& dep = d.deployment;
  const int count = std::min(acc.acc_pending_count, kAccPendingCapacity);
  if (count <= 0) return;
  // Sample i of the block sits i steps after the block's start; the last one a step before its end.
  const double step = (acc.acc_last_end - acc.acc_block_start) / count;
  double t = acc.acc_block_start;
  for (int i = 0; i < count; ++i) {
    const AccSample& s = acc.acc_pending[i];
    emit(d.outputs, &Output::acc_sample,
         AccValues{t, s.x * dep.acc_scale - dep.acc_offset, s.y * dep.acc_scale - dep.acc_offset,
                   s.z * dep.acc_scale - dep.acc_offset, s, acc.acc_pending_burst[i]});
    t += step;
  }
}

}  // namespace skelv
