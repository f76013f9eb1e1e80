// Placeholder until CTD profiles land: CTD starts are refused; a CTD end outside a profile is passed over.
#include "input/byte_source.h"
#include "records/codes.h"
#include "records/handlers.h"
#include "records/report.h"

namespace skelv {

std::uint8_t handle_ctd_start(DecoderState& st, Run& run) {
  fail(st, run, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(TDRCODE_START_CTD),
       static_cast<unsigned long>(st.byte_offset));
  return TDRCODE_EOF;
}

std::uint8_t handle_ctd_end(DecoderState& st, Run& /*run*/) {
  std::uint8_t next = TDRCODE_END_CTD;
  read_bytes(st, "end_ctd", &next, 1);
  return next;
}

}  // namespace skelv
