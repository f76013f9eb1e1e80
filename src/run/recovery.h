// Damaged images, at the level of the run: what lies after the damage that stopped a plain run,
// and how a -recover run skips ahead to the next plausible record start and decodes on.
#pragma once
#include <cstdint>

#include "records/decoder.h"

namespace skelv {

struct Recovery {
  std::uint64_t undecoded = 0;  // bytes after the damage that stopped a plain run
};

// True when every byte of the input from `from` on is 0xFF (erased memory) or there is none.
bool erased_from(const ByteSource& in, std::uint64_t from);
std::uint64_t input_size(const ByteSource& in);

// After the record loop stopped on damage in a -recover run: undoes the suspect effects, finds
// the next plausible record start, records the skipped stretch in the run's events, writes the
// gap note to the console and into every open output, and positions the input there with its
// code byte read into `code`. False when no record start is left: the run then ends at the end
// of the image.
bool skip_damage(Decoder& d, std::uint8_t& code);

}  // namespace skelv
