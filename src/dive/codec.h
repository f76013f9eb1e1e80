// Channel values of the packed sample streams (dive, CTD, accelerometer).
#pragma once
#include <cstdint>

#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// Reads one absolute two-byte value (most significant first). False at the end of the input,
// with `value` untouched.
bool read_unint(DecoderState& st, std::uint16_t& value);

// Reads the next value of one channel into `value` (a step, an escaped or a forced-absolute
// value). Records met on the way are decoded in place (GPS, information, wet/dry, burst and
// profile starts) or skipped (filler, unused codes, 0xF9/0xFD with no burst/profile open).
// Returns 0 when a value was read; otherwise the code that ends the stream (0xFB, 0xFE, 0xFF,
// 0xF9 in a burst, 0xFD in a profile), already consumed, or 0xFF when the input ended.
std::uint8_t read_rel(DecoderState& st, std::uint16_t& value, Run& run, bool force_abs);

}  // namespace skelv
