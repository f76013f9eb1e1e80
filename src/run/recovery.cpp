#include "run/recovery.h"

#include <algorithm>
#include <cstdio>

#include "accel/acc_burst.h"
#include "records/codes.h"

namespace skelv {
namespace {

// Records that stand this close before the first byte of a damaged stretch may have been read
// from it: their effects on the rest of the deployment are undone.
constexpr std::uint64_t kSuspectWindow = 1024;

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

// Moves the scan to the first plausible record start; false when the input ends first.
bool find_restart(const Decoder& d, ByteSource& in) {
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
    }
    if (got <= kLookahead) {
      scan_skip(in, got);
      return false;
    }
    scan_skip(in, span);
  }
}

bool suspect(std::uint64_t at, std::uint64_t damage_at) {
  return at != kNowhere && at <= damage_at && damage_at - at <= kSuspectWindow;
}

// Undoes the effects of records read shortly before the damage: the haul-out of a dry start,
// a wet/dry state and a burst that joined the pending block. Information records are checked
// before they take effect instead.
void undo_suspect_effects(Decoder& d) {
  DamageState& r = d.damage;
  if (suspect(r.dry_at, r.damage_at)) {
    d.deployment.haulout_time = r.haulout_before;
    d.deployment.tdr_interval = r.interval_before;
  }
  if (suspect(r.wetdry_at, r.damage_at)) d.deployment.wetdry = r.wetdry_before;
  if (suspect(r.burst_at, r.damage_at) && d.acc.acc_pending_count == r.burst_pending_after) {
    d.acc.acc_pending_count = r.burst_pending_before;
    d.acc.acc_last_end = r.burst_last_end_before;
  }
  r.dry_at = r.wetdry_at = r.burst_at = kNowhere;
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
  undo_suspect_effects(d);
  // Whatever burst or profile was open ended in the damage.
  d.ctd.ctd_open = d.acc.acc_open = false;

  source_halt(in);
  const bool found = find_restart(d, in);
  const std::uint64_t first = r.damage_at;
  const std::uint64_t next = in.scan_offset;  // the restart, or the end of the input
  const std::uint64_t last = next > first ? next - 1 : first;
  const std::uint64_t bytes = last - first + 1;
  add_damage(d.events, first, last, r.reason);

  // The note stands at the first byte of the gap, in the files and on the console alike.
  char text[160];
  std::snprintf(text, sizeof text, "Damaged: skipped to %08llX, %llu bytes: %s", static_cast<unsigned long long>(last),
                static_cast<unsigned long long>(bytes), r.reason);
  in.byte_offset = first;
  debug_note(d, text);
  char line[200];
  std::snprintf(line, sizeof line, "\n@%08llX: %s\n", static_cast<unsigned long long>(first), text);
  console_note(d, line);

  r.damaged = false;
  r.eof_code = false;
  if (!found) {
    in.byte_offset = std::max(next, first);
    in.end_of_input = true;
    return false;
  }
  scan_resume(in);
  return read_bytes(in, "recover", &code, 1);
}

}  // namespace skelv
