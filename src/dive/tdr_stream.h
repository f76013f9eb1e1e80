// The dive sample stream that follows a dive start (and, in regime 1, a dry start).
#pragma once
#include <cstdint>

#include "dive/tdr_sample.h"
#include "records/decoder.h"

namespace skelv {

// Decodes the samples of one stream with the channels of `flags` (TDR_* bits), handing each
// sample, stamped from time_base, to the outputs; time_base advances by `interval` seconds per
// sample and ends at the closing sample's time. Returns the code that ended the stream, already
// consumed, or 0xFF when the input ended. Flags 0 note an illegal stream, read nothing, return 0xFF.
std::uint8_t decode_tdr_stream(Decoder& d, unsigned flags, double interval);

// Hands one sample, stamped with time_base and the deployment as it stands, to the outputs.
void emit_sample(Decoder& d, const TdrSample& r, unsigned flags);

}  // namespace skelv
