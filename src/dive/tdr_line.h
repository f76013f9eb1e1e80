// One line of the TDR output file.
#pragma once
#include "dive/tdr_stream.h"
#include "input/decoder_state.h"
#include "input/out_file.h"

namespace skelv {

// Writes `sample` as a tab-separated line stamped with time_base (milliseconds shown): depth in
// metres, then the columns that `flags` selects; counts it in tdr_count. A closed file writes
// and counts nothing.
void write_tdr_line(DecoderState& st, OutFile& file, const TdrSample& sample, unsigned flags);

}  // namespace skelv
