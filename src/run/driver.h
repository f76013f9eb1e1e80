// The decoding driver: one run over one input image.
#pragma once
#include <cstdint>
#include <memory>

#include "output/text/text_output.h"
#include "records/decoder.h"
#include "records/events.h"
#include "run/recovery.h"
#include "run/run.h"

namespace skelv {

// Everything one run owns: the byte source, the run's events, its outputs (the text files first,
// then whatever the caller adds before decode_file), the decoding and what -recover keeps.
struct RunState {
  explicit RunState(Run& r);
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  Run& run;
  ByteSource input;
  RunEvents events;
  OutputList outputs;
  OutputList decoder_outputs;  // the outputs themselves, or with -recover the text and what holds items back for the rest
  OutputList held_outputs;     // -recover: the outputs whose items are held
  TextOutput text;
  Decoder decoder;
  Recovery recovery;
  std::unique_ptr<Journal> journal;  // -recover
};

// Decodes run.input_name from `offset` (negative: 0) into the outputs of `s`, writing the scan
// dump first when `scan` is set. Fills the counts, byte_count, tag_version, regime and
// failure_text of the run and returns true for a successful run.
bool decode_file(RunState& s, ProgressFn progress, std::int64_t offset, bool scan);

}  // namespace skelv
