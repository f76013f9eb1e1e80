// Damaged images, at the level of the run: what lies after the damage that stopped a plain run,
// and how a -recover run skips ahead to the next plausible record start and decodes on. The
// rest of the image is scanned forward through the halted byte source, so a pipe or a FIFO is
// searched like a file.
#pragma once
#include <cstdint>

#include "records/decoder.h"

namespace skelv {

struct Recovery {
  std::uint64_t undecoded = 0;  // bytes after the damage that stopped a plain run
};

// Halted source: scans past erased memory (0xFF) from the scan position. True when the input
// ends there; otherwise the scan stands at the first other byte.
bool scan_erased(ByteSource& in);
// Halted source: the bytes from the scan position to the end of the input (read through).
std::uint64_t scan_rest(ByteSource& in);

// After the record loop stopped on damage in a -recover run: undoes the suspect effects, finds
// the next plausible record start from where decoding stopped, records the skipped stretch in
// the run's events, writes the gap note to the console and into every open output, and resumes
// the input there with its code byte read into `code`. False when no record start is left: the
// run then ends at the end of the image.
bool skip_damage(Decoder& d, std::uint8_t& code);

}  // namespace skelv
