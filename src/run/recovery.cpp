#include "run/recovery.h"

#include <algorithm>
#include <cstdio>

#include "accel/acc_burst.h"
#include "input/byte_source.h"
#include "records/codes.h"
#include "records/time_base.h"

namespace skelv {
namespace {


constexpr std::size_t kLookahead = 9;  // bytes of a record start checked: code, regime or mask, time

// A record start at b[0], with `left` bytes of it at hand, that a -recover run restarts at.
bool plausible_start(const Decoder& d, const std::uint8_t* b, std::size_t left) {
  if (left < (b[0] == TDRCODE_INFO ? 4 : kLookahead)) return false;
  switch (b[0]) {
    case TDRCODE_START_NORMAL: return known_regime(b[1]) && plausible_time(b + 2);
    case TDRCODE_START_CTD: return plausible_ctd_mask(b[1]) && plausible_time(b + 2);
    case TDRCODE_INFO:
      return plausible_info_size(d.damage, b[1]) &&
             plausible_info_version(d.deployment.tag_version, b[1], static_cast<std::uint16_t>(b[2] << 8 | b[3]));
    default: return false;
  }
}

// Moves the scan to the first plausible record start; false when the input ends first. The last
// wet/dry record (state 0 or 1) in the bytes passed over goes into `wetdry`: the skipped stretch
// ends in the valid rest of the damaged stream, whose latest wet/dry state still holds.
bool find_restart(const Decoder& d, ByteSource& in, int& wetdry) {
  for (;;) {
    const std::uint8_t* b = nullptr;
    const std::size_t got = scan_window(in, kInputBufferSize / 2, b);
    if (got == 0) return false;
    // A start is judged on its first kLookahead bytes; near the end on the bytes that are left.
    const std::size_t span = got > kLookahead ? got - kLookahead + 1 : got;
    for (std::size_t i = 0; i < span; ++i) {
      if (b[i] >= TDRCODE_INFO && plausible_start(d, b + i, got - i)) {
        scan_skip(in, i);
        return true;
      }
      if (b[i] == TDRCODE_WETDRY && i + 1 < got && b[i + 1] <= 1) wetdry = b[i + 1];
    }
    if (got <= kLookahead) {
      scan_skip(in, got);
      return false;
    }
    scan_skip(in, span);
  }
}

// The dive or CTD start at b[0] (kLookahead bytes at hand) is in step with the dive clock `clock`.
bool start_in_step_with(const std::uint8_t* b, double clock) {
  if (b[0] != TDRCODE_START_NORMAL && b[0] != TDRCODE_START_CTD) return false;
  const std::uint8_t* t = b + 2;
  const double start = static_cast<double>(civil_to_seconds(1900 + t[0], t[1], t[2], t[3], t[4], t[5]));
  return clock != 0.0 && plausible_time(t) && start_in_step(start, clock);
}

// The restart at the scan position is a dive or CTD start whose time is in step with the dive clock.
bool restart_in_step(const Decoder& d, ByteSource& in) {
  const std::uint8_t* b = nullptr;
  return scan_window(in, kLookahead, b) >= kLookahead && start_in_step_with(b, d.deployment.time_base);
}

constexpr std::uint64_t kEatenSpan = 32 * 1024;  // bytes before the damage looked at again, at most

// A stream that went on through bytes that were not its own (another image's after a splice,
// its own after a misread step) decodes the records in them as samples until the damage shows.
// The first dive or CTD start in step with the dive clock, among the bytes since the oldest
// checkpoint held, that no record was decoded at is where the data go on: the scan stands
// there and the damage is taken to begin there. Otherwise the scan stands where it stood and
// the damage where it was found. Only a seekable input is looked at again.
std::uint64_t eaten_start(Decoder& d, std::uint64_t damage_at) {
  Journal& j = *d.journal;
  ByteSource& in = d.input;
  if (j.trial || !in.seekable || j.checkpoints.empty()) return damage_at;
  std::uint64_t from = std::max(j.checkpoints.front().offset + 1, j.eaten_floor);
  if (damage_at > kEatenSpan) from = std::max(from, damage_at - kEatenSpan);
  j.eaten_floor = std::max(j.eaten_floor, damage_at);
  const std::uint64_t resume = in.scan_offset;
  if (from >= damage_at || !source_rescan(in, from)) return damage_at;
  const std::uint8_t* b = nullptr;
  const std::size_t got = scan_window(in, static_cast<std::size_t>(damage_at - from) + kLookahead, b);
  std::size_t c = 0;  // the latest checkpoint at or before the byte looked at
  for (std::size_t i = 0; i + kLookahead <= got && from + i < damage_at; ++i) {
    if (b[i] != TDRCODE_START_NORMAL && b[i] != TDRCODE_START_CTD) continue;
    const std::uint64_t at = from + i;
    while (c + 1 < j.checkpoints.size() && j.checkpoints[c + 1].offset <= at) ++c;
    if (j.checkpoints[c].offset == at || !plausible_start(d, b + i, got - i) ||
        !start_in_step_with(b + i, j.checkpoints[c].deployment.time_base)) {
      continue;
    }
    scan_skip(in, i);
    return at;
  }
  source_rescan(in, resume);
  return damage_at;
}

// A burst that the code at the stretch's first byte ended: the damage cut it short, and its samples,
// spread over the burst's whole span by their count, would stand at times they were not taken at.
// The restart goes on without them; should it not hold, the decoding goes back to the stretch's
// start, where the burst is as it was (as a plain run writes it when nothing follows).
void drop_cut_burst(Decoder& d) {
  AccState& acc = d.acc;
  CutBurst& cut = acc.acc_cut;
  if (cut.samples <= 0 || cut.at != d.journal->stretch_first || acc.acc_pending_count < cut.samples) return;
  acc.acc_pending_count -= cut.samples;
  acc.acc_last_end = cut.end_before;
  cut.samples = 0;
  // A block the burst began holds nothing: the next burst begins one of its own.
  if (acc.acc_pending_count == 0) acc.acc_pending_count = -1;
}

}  // namespace

bool scan_erased(ByteSource& in) {
  for (;;) {
    const std::uint8_t* b = nullptr;
    const std::size_t got = scan_window(in, kInputBufferSize / 2, b);
    if (got == 0) return true;
    const std::size_t erased = static_cast<std::size_t>(std::find_if(b, b + got, [](std::uint8_t x) {
                                                          return x != TDRCODE_EOF;
                                                        }) - b);
    scan_skip(in, erased);
    if (erased < got) return false;
  }
}

std::uint64_t scan_rest(ByteSource& in) {
  std::uint64_t bytes = 0;
  for (;;) {
    const std::uint8_t* b = nullptr;
    const std::size_t got = scan_window(in, kInputBufferSize / 2, b);
    if (got == 0) return bytes;
    scan_skip(in, got);
    bytes += got;
  }
}

bool skip_damage(Decoder& d, std::uint8_t& code) {
  DamageState& r = d.damage;
  ByteSource& in = d.input;
  // What was decoded from the damage, and shortly before it, is taken back.
  source_halt(in);
  roll_back(d, eaten_start(d, r.damage_at), r.reason, r.eof_code);
  int& wetdry = d.journal->skipped_wetdry;
  const bool found = find_restart(d, in, wetdry);
  if (wetdry >= 0) d.deployment.wetdry = static_cast<std::uint8_t>(wetdry);
  const std::uint64_t next = in.scan_offset;  // the restart, or the end of the input
  r.damaged = false;
  r.eof_code = false;
  if (!found) {
    const std::uint64_t first = d.journal->stretch_first;
    end_stretch(d, next > first ? next - 1 : first);
    in.byte_offset = std::max(next, first);
    in.end_of_input = true;
    return false;
  }
  drop_cut_burst(d);
  try_restart(d, next, restart_in_step(d, in));
  scan_resume(in);
  return read_bytes(in, "recover", &code, 1);
}

}  // namespace skelv
