// Wet/dry state (0xF7) and the accelerometer end met outside a burst (0xF9).
#include "input/byte_source.h"
#include "input/recovery.h"
#include "records/codes.h"
#include "records/handlers.h"

namespace skelv {

std::uint8_t handle_wetdry(DecoderState& st, Run& /*run*/) {
  std::uint8_t state = 0;
  if (!read_bytes(st, "wetdry", &state, 1)) return TDRCODE_WETDRY;
  if (st.recovery.on) remember_wetdry(st, st.byte_offset - 2, st.wetdry);
  st.wetdry = state;
  std::uint8_t next = TDRCODE_WETDRY;
  read_bytes(st, "wetdry completed", &next, 1);
  return next;
}

std::uint8_t handle_acc_end(DecoderState& st, Run& /*run*/) {
  st.acc_open = false;
  std::uint8_t next = TDRCODE_END_ACC;
  read_bytes(st, "end_acc", &next, 1);
  return next;
}

}  // namespace skelv
