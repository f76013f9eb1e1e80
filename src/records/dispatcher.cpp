#include "records/dispatcher.h"

#include "input/byte_source.h"
#include "input/recovery.h"
#include "records/codes.h"
#include "records/handlers.h"
#include "records/report.h"

namespace skelv {
namespace {

std::uint8_t dispatch_one(DecoderState& st, Run& run, std::uint8_t code) {
  switch (code) {
    case TDRCODE_GPS: return handle_gps(st, run);
    case TDRCODE_INFO: return handle_info(st, run);
    case TDRCODE_WETDRY: return handle_wetdry(st, run);
    case TDRCODE_ACC: return handle_acc_start(st, run);
    case TDRCODE_END_ACC: return handle_acc_end(st, run);
    case TDRCODE_START_NORMAL: return handle_dive_start(st, run);
    case TDRCODE_START_CTD: return handle_ctd_start(st, run);
    case TDRCODE_END_CTD: return handle_ctd_end(st, run);
    case TDRCODE_START_DRY: return handle_dry_start(st, run);
    case TDRCODE_EOF:
      // Bytes after the end-of-data code are never looked at (the driver checks, at the end of
      // the run, whether they hold anything but erased memory).
      st.end_of_input = true;
      st.recovery.eof_code = true;
      return TDRCODE_EOF;
    default:
      // 0x00..0xF1, 0xF3..0xF5 and 0xFA have no record of their own.
      if (note_damage(st, st.byte_offset - 1, "unknown code %hx", static_cast<unsigned short>(code))) {
        return TDRCODE_EOF;
      }
      fail(st, run, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(code),
           static_cast<unsigned long>(st.byte_offset));
      return TDRCODE_EOF;
  }
}

}  // namespace

std::uint8_t dispatch_record(DecoderState& st, Run& run, std::uint8_t code) {
  if (st.nesting_depth >= kMaxNesting) {
    // Every later read fails as at the end of the input, so every open stream closes, also one
    // whose channel result is not examined, and no later failure replaces this one.
    if (!note_damage(st, st.byte_offset - 1, "records nested too deeply")) {
      fail(st, run, "Records nested too deeply at byte %lu\n", static_cast<unsigned long>(st.byte_offset));
      source_halt(st);
    }
    return TDRCODE_EOF;
  }
  ++st.nesting_depth;
  const std::uint8_t next = dispatch_one(st, run, code);
  --st.nesting_depth;
  return next;
}

}  // namespace skelv
