#include "dive/codec.h"

#include <cstdio>

#include "input/byte_source.h"
#include "records/codes.h"
#include "records/dispatcher.h"
#include "records/report.h"

namespace skelv {

bool read_unint(DecoderState& st, std::uint16_t& value) {
  std::uint8_t b[2];
  if (!read_bytes(st, "read_unint", b, 2)) return false;
  value = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  return true;
}

namespace {

// Skips a code that has no meaning here: the byte after it is the next candidate.
bool skip(DecoderState& st, const char* label, std::uint8_t& x) { return read_bytes(st, label, &x, 1); }

}  // namespace

std::uint8_t read_rel_general(DecoderState& st, std::uint16_t& value, Run& run, bool force_abs) {
  std::uint8_t x = 0;
  if (!read_bytes(st, "read_rel", &x, 1)) return TDRCODE_EOF;
  while (x > STEP_DOWN_MAX && x != TDRCODE_ABS) {
    switch (x) {
      case TDRCODE_IGNORE:
        if (!skip(st, "ignore", x)) return TDRCODE_EOF;
        break;
      case 0xF3:
      case 0xF4:
      case 0xF5:
        if (!skip(st, "unknown", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_END_ACC:
        if (st.acc_open) return x;
        if (!skip(st, "end_acc", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_END_CTD:
        if (st.ctd_open) return x;
        if (!skip(st, "end_ctd", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_START_NORMAL:
      case TDRCODE_START_DRY:
      case TDRCODE_EOF:
        return x;
      case TDRCODE_GPS: {
        char note[40];
        std::snprintf(note, sizeof note, "@%08lX GPS F2!", static_cast<unsigned long>(st.byte_offset));
        console_note(st, note);
        [[fallthrough]];
      }
      default:  // 0xF2, 0xF6, 0xF7, 0xF8, 0xFC: a whole record stands inside the stream
        x = dispatch_record(st, run, x);
        if (st.end_of_input) return TDRCODE_EOF;
        break;
    }
  }
  if (force_abs) {
    std::uint8_t low = 0;
    if (!read_bytes(st, "force_abs", &low, 1)) return TDRCODE_EOF;
    value = static_cast<std::uint16_t>(x << 8 | low);
    return 0;
  }
  if (x == TDRCODE_ABS) return read_unint(st, value) ? 0 : TDRCODE_EOF;
  if (x <= STEP_UP_MAX) {
    value = static_cast<std::uint16_t>(value + x);
  } else {
    value = static_cast<std::uint16_t>(value - (x - STEP_UP_MAX));
  }
  return 0;
}

}  // namespace skelv
