#include "dive/codec.h"

#include <cstdio>

#include "records/dispatcher.h"

namespace skelv {

bool read_unint(ByteSource& in, std::uint16_t& value) {
  std::uint8_t b[2];
  if (!read_bytes(in, "read_unint", b, 2)) return false;
  value = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  return true;
}

namespace {

// Skips a code that has no meaning here: the byte after it is the next candidate.
bool skip(ByteSource& in, const char* label, std::uint8_t& x) { return read_bytes(in, label, &x, 1); }

}  // namespace

std::uint8_t read_rel_general(Decoder& d, std::uint16_t& value, bool force_abs) {
  ByteSource& in = d.input;
  std::uint8_t x = 0;
  if (!read_bytes(in, "read_rel", &x, 1)) return TDRCODE_EOF;
  while (x > STEP_DOWN_MAX && x != TDRCODE_ABS) {
    switch (x) {
      case TDRCODE_IGNORE:
        if (!skip(in, "ignore", x)) return TDRCODE_EOF;
        break;
      case 0xF3:
      case 0xF4:
      case 0xF5:
        if (!skip(in, "unknown", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_END_ACC:
        if (d.acc.acc_open) return x;
        if (!skip(in, "end_acc", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_END_CTD:
        if (d.ctd.ctd_open) return x;
        if (!skip(in, "end_ctd", x)) return TDRCODE_EOF;
        break;
      case TDRCODE_START_NORMAL:
      case TDRCODE_START_DRY:
      case TDRCODE_EOF:
        return x;
      case TDRCODE_GPS: {
        char note[40];
        std::snprintf(note, sizeof note, "@%08lX GPS F2!", static_cast<unsigned long>(in.byte_offset));
        console_note(d, note);
        [[fallthrough]];
      }
      default:  // 0xF2, 0xF6, 0xF7, 0xF8, 0xFC: a whole record stands inside the stream
        x = dispatch_record(d, x);
        if (in.end_of_input) return TDRCODE_EOF;
        break;
    }
  }
  if (force_abs) {
    std::uint8_t low = 0;
    if (!read_bytes(in, "force_abs", &low, 1)) return TDRCODE_EOF;
    value = static_cast<std::uint16_t>(x << 8 | low);
    return 0;
  }
  if (x == TDRCODE_ABS) return read_unint(in, value) ? 0 : TDRCODE_EOF;
  if (x <= STEP_UP_MAX) {
    value = static_cast<std::uint16_t>(value + x);
  } else {
    value = static_cast<std::uint16_t>(value - (x - STEP_UP_MAX));
  }
  return 0;
}

}  // namespace skelv
