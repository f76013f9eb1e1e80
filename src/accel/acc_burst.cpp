#include "accel/acc_burst.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "accel/acc_output.h"
#include "dive/codec.h"
#include "records/codes.h"
#include "records/journal.h"

namespace skelv {
namespace {

constexpr double kBlockGap = 10.0;  // seconds from one burst's end to the next one's start within a block
constexpr int kWarnAbove = 52;      // every sample of a burst beyond this many is noted in the files

// Hands the pending block to the outputs and starts an empty one at `start`.
void start_block(Decoder& d, double start) {
  flush_acc(d);
  if (d.journal != nullptr) keep_block(*d.journal, d.acc);
  ++d.acc.acc_blocks;
  d.acc.acc_pending_count = 0;
  d.acc.acc_block_start = start;
  d.acc.acc_cut.samples = 0;
}

// Appends a burst's samples to the pending block. Bursts nested in a burst append one after the
// other without a block boundary in between, so a block that can't take the whole burst is
// written out first and the burst starts the next block.
void append(Decoder& d, const AccSample* samples, int n, double start, std::uint32_t burst) {
  AccState& acc = d.acc;
  if (acc.acc_pending_count < 0 || acc.acc_pending_count + n > kAccPendingCapacity) start_block(d, start);
  std::copy_n(samples, n, acc.acc_pending.begin() + acc.acc_pending_count);
  std::fill_n(acc.acc_pending_burst.begin() + acc.acc_pending_count, n, burst);
  acc.acc_pending_count += n;
}

// One axis of a sample. A burst nested in this one clears acc_open when it ends while this
// burst is still open: set it again so that this burst's own 0xF9 still ends it.
std::uint8_t read_axis(Decoder& d, std::uint16_t& value) {
  d.acc.acc_open = true;
  return read_rel(d, value, false);
}

// A burst of 100 samples ends the run: its samples join the block that the driver writes out at
// shutdown, and no further byte is read, so every stream holding the burst ends as at end of data.
std::uint8_t end_run_on_overflow(Decoder& d, const AccSample* burst, double start, double end,
                                 std::uint32_t number) {
  debug_note(d, "ACC OVERFLOW: FATAL");
  append(d, burst, kAccBurstCapacity, start, number);
  d.acc.acc_last_end = end;
  fail(d, "ACC OVERFLOW at byte %lu\n", static_cast<unsigned long>(d.input.byte_offset));
  d.acc.acc_overflow = true;
  source_halt(d.input);
  return TDRCODE_EOF;
}

std::uint8_t decode_burst(Decoder& d, double start, double end);


}  // namespace

void debug_note(Decoder& d, const char* text) {
  ++d.events.notes;
  emit(d.outputs, &Output::note, Note{d.input.byte_offset, text, NoteScope::kEveryFile});
}

std::uint8_t decode_acc_burst(Decoder& d, double start, double end) {
  ++d.acc.acc_streams;
  const std::uint8_t code = decode_burst(d, start, end);
  --d.acc.acc_streams;
  return code;
}

namespace {

std::uint8_t decode_burst(Decoder& d, double start, double end) {
  ByteSource& in = d.input;
  AccState& acc = d.acc;
  const std::uint64_t at = in.byte_offset - 1;
  if (acc.acc_pending_count > kAccBlockLimit || start - acc.acc_last_end > kBlockGap) start_block(d, start);
  const std::uint32_t number = ++acc.acc_bursts;
  emit(d.outputs, &Output::acc_burst, AccBurst{in.byte_offset, number, start, end});

  // The burst's samples live in this call: a burst nested in it must not overwrite them.
  std::array<AccSample, kAccBurstCapacity> burst;
  AccSample sample;  // axes that the end of the input leaves unread stay 0
  read_unint(in, sample.x);
  read_unint(in, sample.y);
  read_unint(in, sample.z);
  burst[0] = sample;
  int n = 1;

  std::uint8_t code = 0;
  for (;;) {
    code = read_axis(d, sample.x);
    if (code != 0) break;
    // Only x can end the burst: a code met in place of y or z is consumed and the axis keeps its value.
    read_axis(d, sample.y);
    read_axis(d, sample.z);
    burst[n++] = sample;
    if (n > kWarnAbove) debug_note(d, "ACC OVERFLOW: WARNING");
    if (n >= kAccBurstCapacity) {
      // With -recover the burst is damage: its samples are dropped.
      if (note_damage(d, at, "accelerometer burst of %d samples", n)) return TDRCODE_EOF;
      return end_run_on_overflow(d, burst.data(), start, end, number);
    }
  }

  // Values no accelerometer reads: with -recover the burst is damage.
  if (!acc_in_range(d, at, burst.data(), n)) return TDRCODE_EOF;
  const double end_before = acc.acc_last_end;
  append(d, burst.data(), n, start, number);
  acc.acc_last_end = end;
  if (code == TDRCODE_END_ACC) {
    acc.acc_cut.samples = 0;
    read_bytes(in, "end_acc", &code, 1);
    // A burst nested in another one leaves the outer burst open before its next byte is examined.
    acc.acc_open = acc.acc_streams > 1;
  } else {
    acc.acc_cut = CutBurst{in.byte_offset - 1, n, end_before};
  }
  return code;
}

}  // namespace

}  // namespace skelv
