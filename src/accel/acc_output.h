// Accelerometer output: the pending block of bursts written with evenly spread times.
#pragma once
#include "accel/acc_sample.h"
#include "input/decoder_state.h"

namespace skelv {

// Writes every pending sample into `file`; leaves the block as it is.
void flush_acc(DecoderState& st, OutFile& file);

// Writes one sample stamped `t` (seconds) in g; a closed file writes and counts nothing.
void write_acc_line(DecoderState& st, OutFile& file, double t, const AccSample& sample);

}  // namespace skelv
