#include "run/recovery.h"

#include <algorithm>
#include <cstdio>

#include "accel/acc_burst.h"
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

// The restart at the scan position is a dive or CTD start whose time is in step with the dive clock.
bool restart_in_step(const Decoder& d, ByteSource& in) {
  const std::uint8_t* b = nullptr;
  if (scan_window(in, kLookahead, b) < kLookahead) return false;
  if (b[0] != TDRCODE_START_NORMAL && b[0] != TDRCODE_START_CTD) return false;
  const std::uint8_t* t = b + 2;
  const double start = static_cast<double>(civil_to_seconds(1900 + t[0], t[1], t[2], t[3], t[4], t[5]));
  return d.deployment.time_base != 0.0 && plausible_time(t) && start_in_step(start, d.deployment.time_base);
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
  roll_back(d, r.damage_at, r.reason, r.eof_code);
  source_halt(in);
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
  try_restart(d, next, restart_in_step(d, in));
  scan_resume(in);
  return read_bytes(in, "recover", &code, 1);
}

}  // namespace skelv
