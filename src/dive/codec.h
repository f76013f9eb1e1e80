// Channel values of the packed sample streams (dive, CTD, accelerometer).
#pragma once
#include <cstdint>

#include "input/byte_source.h"
#include "records/codes.h"
#include "records/decoder.h"

namespace skelv {

// Reads one absolute two-byte value (most significant first). False at the end of the input,
// with `value` untouched.
bool read_unint(ByteSource& in, std::uint16_t& value);

// Reads the next value of one channel into `value` (a step, an escaped or a forced-absolute
// value). Records met on the way are decoded in place (GPS, information, wet/dry, burst and
// profile starts) or skipped (filler, unused codes, 0xF9/0xFD with no burst/profile open).
// Returns 0 when a value was read; otherwise the code that ends the stream (0xFB, 0xFE, 0xFF,
// 0xF9 in a burst, 0xFD in a profile), already consumed, or 0xFF when the input ended.
std::uint8_t read_rel_general(Decoder& d, std::uint16_t& value, bool force_abs);

inline std::uint8_t read_rel(Decoder& d, std::uint16_t& value, bool force_abs) {
  // Most values are one-byte steps already in the read buffer: take them here, exactly as
  // a one-byte read would (offset, progress), and leave every other case to the general path.
  ByteSource& in = d.input;
  if (!force_abs && in.pos < in.fill) {
    const std::uint8_t x = in.buffer[in.pos];
    if (x <= STEP_DOWN_MAX) {
      ++in.pos;
      if ((++in.byte_offset & 1023u) == 0) report_progress(in);
      value = static_cast<std::uint16_t>(x <= STEP_UP_MAX ? value + x : value - (x - STEP_UP_MAX));
      return 0;
    }
  }
  return read_rel_general(d, value, force_abs);
}

}  // namespace skelv
