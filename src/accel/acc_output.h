// The pending block of bursts handed on with evenly spread times.
#pragma once
#include "records/decoder.h"

namespace skelv {

// Hands every pending sample, in g with its time, to the outputs; leaves the block as it is.
// Sample i of a block of N sits i/N of the way from the block's start to its last burst's end.
void flush_acc(Decoder& d);

}  // namespace skelv
