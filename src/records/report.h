// Reporting: the failure text of a run and the console notes of the decoders.
#pragma once
#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// Replaces the run's failure text with the formatted message and marks the run failed.
void fail(DecoderState& st, Run& run, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Writes a short note to the console (the only console output of the decoders).
void console_note(DecoderState& st, const char* text);

}  // namespace skelv
