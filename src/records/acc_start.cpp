// Accelerometer start (0xF8): a burst dated from the dive clock.
#include "accel/acc_burst.h"
#include "records/handlers.h"

namespace skelv {

std::uint8_t handle_acc_start(Decoder& d) {
  d.acc.acc_open = true;
  // A burst spans one dive sampling interval, but at least one second, ending now.
  const Deployment& dep = d.deployment;
  const double span = dep.tdr_interval < 100 ? 1.0 : dep.tdr_interval * 0.01;
  return decode_acc_burst(d, dep.time_base - span, dep.time_base);
}

}  // namespace skelv
