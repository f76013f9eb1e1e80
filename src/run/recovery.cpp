#include "run/recovery.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "accel/acc_burst.h"
#include "records/codes.h"

namespace skelv {
namespace {

// Records that stand this close before the first byte of a damaged stretch may have been read
// from it: their effects on the rest of the deployment are undone.
constexpr std::uint64_t kSuspectWindow = 1024;

constexpr std::size_t kScanChunk = 1 << 16;
constexpr std::size_t kLookahead = 9;  // bytes of a record start checked: code, regime or mask, time

// Reads up to `count` bytes at `offset` without moving the decoder's input; the count read.
std::size_t read_at(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

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

// The offset of the first plausible record start from `from` on; `size` when there is none.
std::uint64_t find_restart(const Decoder& d, std::uint64_t from, std::uint64_t size) {
  std::uint8_t buffer[kScanChunk + kLookahead];
  for (std::uint64_t at = from; at < size; at += kScanChunk) {
    const std::size_t got = read_at(d.input.fd, at, buffer, sizeof buffer);
    const std::size_t span = std::min(got, kScanChunk);
    for (std::size_t i = 0; i < span; ++i) {
      if (buffer[i] < TDRCODE_INFO) continue;
      // Near the end of the image a record start is checked on the bytes that are left.
      if (plausible_start(d, buffer + i, got - i)) return at + i;
    }
    if (got < sizeof buffer) break;
  }
  return size;
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

std::uint64_t input_size(const ByteSource& in) {
  struct stat s {};
  if (in.fd < 0 || ::fstat(in.fd, &s) != 0 || s.st_size < 0) return 0;
  return static_cast<std::uint64_t>(s.st_size);
}

bool erased_from(const ByteSource& in, std::uint64_t from) {
  std::uint8_t buffer[kScanChunk];
  for (std::uint64_t at = from;; at += sizeof buffer) {
    const std::size_t got = read_at(in.fd, at, buffer, sizeof buffer);
    if (std::any_of(buffer, buffer + got, [](std::uint8_t b) { return b != TDRCODE_EOF; })) return false;
    if (got < sizeof buffer) return true;
  }
}

bool skip_damage(Decoder& d, std::uint8_t& code) {
  DamageState& r = d.damage;
  ByteSource& in = d.input;
  undo_suspect_effects(d);
  // Whatever burst or profile was open ended in the damage.
  d.ctd.ctd_open = d.acc.acc_open = false;

  const std::uint64_t size = input_size(in);
  const std::uint64_t first = std::min(r.damage_at, size == 0 ? 0 : size - 1);
  const std::uint64_t next = find_restart(d, std::max(first + 1, r.damage_seen_at), size);
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
  if (next >= size || !source_seek(in, next) || !read_bytes(in, "recover", &code, 1)) {
    in.byte_offset = std::max<std::uint64_t>(size, first);
    in.end_of_input = true;
    return false;
  }
  return true;
}

}  // namespace skelv
