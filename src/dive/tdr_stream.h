// The dive sample stream that follows a dive start (and, in regime 1, a dry start).
#pragma once
#include <cstdint>

#include "app/run.h"
#include "dive/tdr_sample.h"
#include "input/decoder_state.h"

namespace skelv {

// Decodes the samples of one stream with the channels of `flags` (TDR_* bits), writing one TDR
// line per sample stamped from time_base, which advances by `interval` seconds per sample and
// ends at the closing line's time. Returns the code that ended the stream, already consumed, or
// 0xFF when the input ended. Flags 0 write the illegal-stream line, read nothing, return 0xFF.
std::uint8_t decode_tdr_stream(DecoderState& st, Run& run, unsigned flags, double interval);

}  // namespace skelv
