// Accelerometer bursts: the samples of consecutive bursts collect in the pending block, which is
// written out with evenly spread times when a later burst starts a new block.
#pragma once
#include <cstdint>

#include "records/decoder.h"

namespace skelv {

// Decodes one burst whose 0xF8 has been consumed: a sample of three absolute axes, then samples
// of relative axes up to the code that ends the burst. The burst is taken to span `start` to `end`
// (seconds). Its samples join the pending block; a burst more than 10 s after the previous one,
// or one that finds more than 2000 samples pending, first writes the block out. Returns the byte
// after 0xF9 (clearing acc_open), or the other code that ended the burst (acc_open stays set);
// 0xFF at the end of the input. A burst that reaches 100 samples fails the run, sets acc_overflow,
// stops the input and returns 0xFF.
std::uint8_t decode_acc_burst(Decoder& d, double start, double end);

// Writes "@<byte_offset as 8 hex digits>: <text>" as one line into every open text file, in the
// order TDR, CTD, accelerometer, GPS, and hands the note to every output.
void debug_note(Decoder& d, const char* text);

}  // namespace skelv
