// Accelerometer start (0xF8): a burst dated from the dive clock.
#include "accel/acc_burst.h"
#include "records/handlers.h"

namespace skelv {

std::uint8_t handle_acc_start(DecoderState& st, Run& run) {
  st.acc_open = true;
  // A burst spans one dive sampling interval, but at least one second, ending now.
  const double span = st.tdr_interval < 100 ? 1.0 : st.tdr_interval * 0.01;
  return decode_acc_burst(st, run, st.time_base - span, st.time_base);
}

}  // namespace skelv
