// Placeholder until accelerometer bursts land: a burst start is refused.
#include "records/codes.h"
#include "records/handlers.h"
#include "records/report.h"

namespace skelv {

std::uint8_t handle_acc_start(DecoderState& st, Run& run) {
  fail(st, run, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(TDRCODE_ACC),
       static_cast<unsigned long>(st.byte_offset));
  return TDRCODE_EOF;
}

}  // namespace skelv
