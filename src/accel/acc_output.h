// Accelerometer output: the pending block of bursts written with evenly spread times.
#pragma once
#include "accel/acc_sample.h"
#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// Hands every pending sample, in g with its time, to the outputs; leaves the block as it is.
void flush_acc(DecoderState& st, Run& run);

// Writes one sample stamped `t` (seconds) in g; a closed file writes and counts nothing.
void write_acc_line(DecoderState& st, OutFile& file, double t, const AccSample& sample);

// Writes one line of X, Y, Z in g stamped `t`; a closed file writes and counts nothing.
void write_acc_values(DecoderState& st, OutFile& file, double t, double x, double y, double z);

}  // namespace skelv
