// The decoding driver: one run over one input image.
#pragma once
#include <cstdint>

#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// Decodes run.input_name from `offset` (negative: 0) into the output files named in `run`,
// writing the scan dump first when `scan` is set. Fills the counts and byte_count of `run` and
// returns true for a successful run; false with run.failure_text set otherwise.
bool decode_file(DecoderState& st, Run& run, ProgressFn progress, std::int64_t offset, bool scan);

}  // namespace skelv
