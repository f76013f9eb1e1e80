// The decoding of one run: the parts every record handler and stream decoder works on. The run
// owns it; the byte source, the outputs and the run's events are the run's too and are reached
// through references.
#pragma once
#include <cstdint>
#include <functional>

#include "accel/acc_sample.h"
#include "ctd/ctd_state.h"
#include "input/byte_source.h"
#include "records/damage.h"
#include "records/deployment.h"
#include "records/events.h"
#include "records/items.h"
#include "records/journal.h"

namespace skelv {

// Console notes written by decoders ("@... GPS F2!", "Stop"); standard output unless replaced.
using ConsoleFn = std::function<void(const char*)>;
void console_to_stdout(const char* text);

inline constexpr int kMaxNesting = 64;  // deepest nested dispatch; the driver's call is level 1

struct Decoder {
  Decoder(ByteSource& in, OutputList& out, RunEvents& ev) : input(in), outputs(out), events(ev) {}

  ByteSource& input;
  OutputList& outputs;  // where decoded items go
  RunEvents& events;
  Deployment deployment;
  CtdState ctd;
  AccState acc;
  DamageState damage;
  Evidence evidence;  // what the data have shown so far, for the checks of decoded values
  int nesting_depth = 0;  // dispatch_record calls in progress
  std::uint64_t records = 0;  // dispatch_record calls so far
  // -recover: the depth of a start record taken for another deployment's (it contradicted steady
  // starts) while it ends inside a stream of this one; 0: none.
  int foreign_depth = 0;
  ConsoleFn console = console_to_stdout;
  // CTD lines the text output has written: the console's one "Stop" comes at a fixed count.
  const std::uint32_t* ctd_lines = nullptr;
  Journal* journal = nullptr;  // -recover: checkpoints and held items
};

// A point where a -recover run can take the decoding back to: a record's code byte at `offset`
// (`record`), or the first byte of a sample in a long stream.
inline void checkpoint(Decoder& d, std::uint64_t offset, bool record) {
  if (d.journal != nullptr) take_checkpoint(d, offset, record);
}

// Records a failure of the run at the current offset with the formatted message (ending with
// "\n") and hands it to every output.
void fail(Decoder& d, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes a short note to the console (the only console output of the decoders).
void console_note(Decoder& d, const char* text);

}  // namespace skelv
