#include "accel/acc_burst.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "accel/acc_output.h"
#include "dive/codec.h"
#include "input/byte_source.h"
#include "input/recovery.h"
#include "output/emit.h"
#include "records/codes.h"
#include "records/report.h"

namespace skelv {
namespace {

constexpr double kBlockGap = 10.0;  // seconds from one burst's end to the next one's start within a block
constexpr int kWarnAbove = 52;      // every sample of a burst beyond this many is noted in the files

// Hands the pending block to the outputs and starts an empty one at `start`.
void start_block(DecoderState& st, Run& run, double start) {
  flush_acc(st, run);
  st.acc_pending_count = 0;
  st.acc_block_start = start;
}

// Appends a burst's samples to the pending block. Bursts nested in a burst append one after the
// other without a block boundary in between, so a block that can't take the whole burst is
// written out first and the burst starts the next block.
void append(DecoderState& st, Run& run, const AccSample* samples, int n, double start, std::uint32_t burst) {
  if (st.acc_pending_count < 0 || st.acc_pending_count + n > kAccPendingCapacity) start_block(st, run, start);
  std::copy_n(samples, n, st.acc_pending.begin() + st.acc_pending_count);
  std::fill_n(st.acc_pending_burst.begin() + st.acc_pending_count, n, burst);
  st.acc_pending_count += n;
}

// One axis of a sample. A burst nested in this one clears acc_open when it ends while this
// burst is still open: set it again so that this burst's own 0xF9 still ends it.
std::uint8_t read_axis(DecoderState& st, Run& run, std::uint16_t& value) {
  st.acc_open = true;
  return read_rel(st, value, run, false);
}

// A burst of 100 samples ends the run: its samples join the block that the driver writes out at
// shutdown, and no further byte is read, so every stream holding the burst ends as at end of data.
std::uint8_t end_run_on_overflow(DecoderState& st, Run& run, const AccSample* burst, double start,
                                 double end, std::uint32_t number) {
  debug_note(st, "ACC OVERFLOW: FATAL");
  append(st, run, burst, kAccBurstCapacity, start, number);
  st.acc_last_end = end;
  fail(st, run, "ACC OVERFLOW at byte %lu\n", static_cast<unsigned long>(st.byte_offset));
  st.acc_overflow = true;
  source_halt(st);
  return TDRCODE_EOF;
}

// Joins a burst's samples to the pending block; with -recover remembers how, so that a damaged
// stretch close behind it takes them out again.
void join_block(DecoderState& st, Run& run, const AccSample* burst, int n, double start, double end,
                std::uint64_t at, std::uint32_t number) {
  Recovery& r = st.recovery;
  const int pending_before = st.acc_pending_count;
  const double last_end_before = st.acc_last_end;
  append(st, run, burst, n, start, number);
  st.acc_last_end = end;
  if (r.on) {
    r.burst_at = at;
    // A block written out before the burst joined leaves nothing of the earlier bursts to keep.
    r.burst_pending_before = st.acc_pending_count == pending_before + n ? pending_before : 0;
    r.burst_pending_after = st.acc_pending_count;
    r.burst_last_end_before = last_end_before;
  }
}

std::uint8_t decode_burst(DecoderState& st, Run& run, double start, double end);


}  // namespace

void debug_note(DecoderState& st, const char* text) {
  emit_note(st, Note{st.byte_offset, text, NoteScope::kEveryFile});
}

std::uint8_t decode_acc_burst(DecoderState& st, Run& run, double start, double end) {
  ++st.acc_streams;
  const std::uint8_t code = decode_burst(st, run, start, end);
  --st.acc_streams;
  return code;
}

namespace {

std::uint8_t decode_burst(DecoderState& st, Run& run, double start, double end) {
  const std::uint64_t at = st.byte_offset - 1;
  if (st.acc_pending_count > kAccBlockLimit || start - st.acc_last_end > kBlockGap) start_block(st, run, start);
  const std::uint32_t number = ++st.acc_bursts;
  emit_acc_burst(st, run, AccBurst{st.byte_offset, number, start, end});

  // The burst's samples live in this call: a burst nested in it must not overwrite them.
  std::array<AccSample, kAccBurstCapacity> burst;
  AccSample sample;  // axes that the end of the input leaves unread stay 0
  read_unint(st, sample.x);
  read_unint(st, sample.y);
  read_unint(st, sample.z);
  burst[0] = sample;
  int n = 1;

  std::uint8_t code = 0;
  for (;;) {
    code = read_axis(st, run, sample.x);
    if (code != 0) break;
    // Only x can end the burst: a code met in place of y or z is consumed and the axis keeps its value.
    read_axis(st, run, sample.y);
    read_axis(st, run, sample.z);
    burst[n++] = sample;
    if (n > kWarnAbove) debug_note(st, "ACC OVERFLOW: WARNING");
    if (n >= kAccBurstCapacity) {
      // With -recover the burst is damage: its samples are dropped.
      if (note_damage(st, at, "accelerometer burst of %d samples", n)) return TDRCODE_EOF;
      return end_run_on_overflow(st, run, burst.data(), start, end, number);
    }
  }

  join_block(st, run, burst.data(), n, start, end, at, number);
  if (code == TDRCODE_END_ACC) {
    read_bytes(st, "end_acc", &code, 1);
    // A burst nested in another one leaves the outer burst open before its next byte is examined.
    st.acc_open = st.acc_streams > 1;
  }
  return code;
}

}  // namespace

}  // namespace skelv
