#include "records/dispatcher.h"

#include "records/codes.h"
#include "records/damage.h"
#include "records/handlers.h"

namespace skelv {
namespace {

std::uint8_t dispatch_one(Decoder& d, std::uint8_t code) {
  switch (code) {
    case TDRCODE_GPS: return handle_gps(d);
    case TDRCODE_INFO: return handle_info(d);
    case TDRCODE_WETDRY: return handle_wetdry(d);
    case TDRCODE_ACC: return handle_acc_start(d);
    case TDRCODE_END_ACC: return handle_acc_end(d);
    case TDRCODE_START_NORMAL: return handle_dive_start(d);
    case TDRCODE_START_CTD: return handle_ctd_start(d);
    case TDRCODE_END_CTD: return handle_ctd_end(d);
    case TDRCODE_START_DRY: return handle_dry_start(d);
    case TDRCODE_EOF:
      // Bytes after the end-of-data code are never looked at (the driver checks, at the end of
      // the run, whether they hold anything but erased memory).
      d.input.end_of_input = true;
      d.damage.eof_code = true;
      return TDRCODE_EOF;
    default:
      // 0x00..0xF1, 0xF3..0xF5 and 0xFA have no record of their own.
      if (note_damage(d, d.input.byte_offset - 1, "unknown code %hx", static_cast<unsigned short>(code))) {
        return TDRCODE_EOF;
      }
      fail(d, "Unknown code %hx at byte %lu\n", static_cast<unsigned short>(code),
           static_cast<unsigned long>(d.input.byte_offset));
      return TDRCODE_EOF;
  }
}

}  // namespace

std::uint8_t dispatch_record(Decoder& d, std::uint8_t code) {
  if (d.nesting_depth >= kMaxNesting) {
    // Every later read fails as at the end of the input, so every open stream closes, also one
    // whose channel result is not examined, and no later failure replaces this one.
    if (!note_damage(d, d.input.byte_offset - 1, "records nested too deeply")) {
      fail(d, "Records nested too deeply at byte %lu\n", static_cast<unsigned long>(d.input.byte_offset));
      source_halt(d.input);
    }
    return TDRCODE_EOF;
  }
  // A byte that opens no record is no evidence that a restart found its way.
  checkpoint(d, d.input.byte_offset - 1, code >= TDRCODE_GPS && (code < 0xF3 || code > 0xF5) && code != TDRCODE_ABS);
  ++d.nesting_depth;
  ++d.records;
  const std::uint8_t next = dispatch_one(d, code);
  --d.nesting_depth;
  if (foreign_record_ended(d)) return TDRCODE_EOF;
  return next;
}

}  // namespace skelv
