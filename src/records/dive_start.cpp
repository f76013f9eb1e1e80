// Placeholder until dive streams land: dive and dry starts are refused.
#include "records/codes.h"
#include "records/handlers.h"
#include "records/report.h"

namespace skelv {

std::uint8_t handle_dive_start(DecoderState& st, Run& run) {
  fail(st, run, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(TDRCODE_START_NORMAL),
       static_cast<unsigned long>(st.byte_offset));
  return TDRCODE_EOF;
}

std::uint8_t handle_dry_start(DecoderState& st, Run& run) {
  fail(st, run, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(TDRCODE_START_DRY),
       static_cast<unsigned long>(st.byte_offset));
  return TDRCODE_EOF;
}

}  // namespace skelv
