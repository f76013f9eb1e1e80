// Wet/dry state (0xF7) and the accelerometer end met outside a burst (0xF9).
#include "records/codes.h"
#include "records/handlers.h"

namespace skelv {

std::uint8_t handle_wetdry(Decoder& d) {
  ByteSource& in = d.input;
  std::uint8_t state = 0;
  if (!read_bytes(in, "wetdry", &state, 1)) return TDRCODE_WETDRY;
  d.deployment.wetdry = state;
  std::uint8_t next = TDRCODE_WETDRY;
  read_bytes(in, "wetdry completed", &next, 1);
  return next;
}

std::uint8_t handle_acc_end(Decoder& d) {
  d.acc.acc_open = false;
  std::uint8_t next = TDRCODE_END_ACC;
  read_bytes(d.input, "end_acc", &next, 1);
  return next;
}

}  // namespace skelv
