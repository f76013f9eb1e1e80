// Damaged images: where decoding stops making sense, and how a -recover run skips ahead to the
// next plausible record start and decodes on.
#pragma once
#include <cstdint>

#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// A record that made no sense at `first` (the offset of its code byte). The first damage of a
// run is kept. With -recover every later read fails, so every open stream closes as at the end
// of the input, and the driver skips ahead; returns true then. A plain run only remembers the
// damage for its closing word on standard error and returns false.
bool note_damage(DecoderState& st, std::uint64_t first, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Plausibility of records in a -recover run, on their raw bytes.
bool plausible_time(const std::uint8_t* t);  // the 7-byte time of a dive or CTD start
bool known_regime(std::uint8_t regime);
bool plausible_ctd_mask(std::uint8_t mask);
// An information record of `size` block bytes whose block starts with `version_hi`, `version_lo`
// (ignored when the block is too short to hold a version).
bool plausible_info_size(const DecoderState& st, std::uint8_t size);
bool plausible_info_version(const DecoderState& st, const Run& run, std::uint8_t size, std::uint16_t version);

// Effects of records that a damaged stretch close behind them may have made garbage: remembered
// here when they happen, undone by skip_damage.
void remember_dry_start(DecoderState& st, std::uint64_t at, double haulout_before, std::uint16_t interval_before);
void remember_wetdry(DecoderState& st, std::uint64_t at, std::uint8_t before);

// True when every byte of the input from `from` on is 0xFF (erased memory) or there is none.
bool erased_from(const DecoderState& st, std::uint64_t from);
std::uint64_t input_size(const DecoderState& st);
// The byte of the input at `offset`, without reading it; -1 past the end.
int next_byte_at(const DecoderState& st, std::uint64_t offset);

// After the record loop stopped on damage in a -recover run: undoes the suspect effects, finds
// the next plausible record start, writes the gap note to the console and into every open
// output file, and positions the input there with its code byte read into `code`. False when
// no record start is left: the run then ends at the end of the image.
bool skip_damage(DecoderState& st, Run& run, std::uint8_t& code);

}  // namespace skelv
