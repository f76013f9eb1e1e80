// The record dispatcher: decodes the record that a code byte introduces.
#pragma once
#include <cstdint>

#include "records/decoder.h"

namespace skelv {

// `code` has been consumed. Decodes its whole record (with the stream a start record opens) and
// returns the code byte that follows, already consumed. An unknown code, or a record nested
// deeper than kMaxNesting, fails the run and returns 0xFF without reading.
std::uint8_t dispatch_record(Decoder& d, std::uint8_t code);

}  // namespace skelv
