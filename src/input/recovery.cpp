#include "input/recovery.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "accel/acc_burst.h"
#include "input/byte_source.h"
#include "records/codes.h"
#include "records/report.h"

namespace skelv {
namespace {

// Records that stand this close before the first byte of a damaged stretch may have been read
// from it: their effects on the rest of the deployment are undone.
constexpr std::uint64_t kSuspectWindow = 1024;

constexpr std::size_t kScanChunk = 1 << 16;
constexpr std::size_t kLookahead = 9;  // bytes of a record start checked: code, regime or mask, time

constexpr std::uint8_t kEarliestYear = 70;  // year byte of 1970
constexpr std::uint8_t kDaysInMonth[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

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
bool plausible_start(const DecoderState& st, const Run& run, const std::uint8_t* b, std::size_t left) {
  if (left < (b[0] == TDRCODE_INFO ? 4 : kLookahead)) return false;
  switch (b[0]) {
    case TDRCODE_START_NORMAL: return known_regime(b[1]) && plausible_time(b + 2);
    case TDRCODE_START_CTD: return plausible_ctd_mask(b[1]) && plausible_time(b + 2);
    case TDRCODE_INFO:
      return plausible_info_size(st, b[1]) &&
             plausible_info_version(st, run, b[1], static_cast<std::uint16_t>(b[2] << 8 | b[3]));
    default: return false;
  }
}

// The offset of the first plausible record start from `from` on; `size` when there is none.
std::uint64_t find_restart(const DecoderState& st, const Run& run, std::uint64_t from, std::uint64_t size) {
  std::uint8_t buffer[kScanChunk + kLookahead];
  for (std::uint64_t at = from; at < size; at += kScanChunk) {
    const std::size_t got = read_at(st.input.fd, at, buffer, sizeof buffer);
    const std::size_t span = std::min(got, kScanChunk);
    for (std::size_t i = 0; i < span; ++i) {
      if (buffer[i] < TDRCODE_INFO) continue;
      // Near the end of the image a record start is checked on the bytes that are left.
      if (plausible_start(st, run, buffer + i, got - i)) return at + i;
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
void undo_suspect_effects(DecoderState& st) {
  Recovery& r = st.recovery;
  if (suspect(r.dry_at, r.damage_at)) {
    st.haulout_time = r.haulout_before;
    st.tdr_interval = r.interval_before;
  }
  if (suspect(r.wetdry_at, r.damage_at)) st.wetdry = r.wetdry_before;
  if (suspect(r.burst_at, r.damage_at) && st.acc_pending_count == r.burst_pending_after) {
    st.acc_pending_count = r.burst_pending_before;
    st.acc_last_end = r.burst_last_end_before;
  }
  r.dry_at = r.wetdry_at = r.burst_at = kNowhere;
}

}  // namespace

bool note_damage(DecoderState& st, std::uint64_t first, const char* format, ...) {
  Recovery& r = st.recovery;
  if (!r.damaged) {
    r.damaged = true;
    r.damage_at = first;
    r.damage_seen_at = st.byte_offset;
    va_list args;
    va_start(args, format);
    std::vsnprintf(r.reason, sizeof r.reason, format, args);
    va_end(args);
  }
  if (!r.on) return false;
  source_halt(st);
  return true;
}

bool plausible_time(const std::uint8_t* t) {
  return t[0] >= kEarliestYear && t[1] >= 1 && t[1] <= 12 && t[2] >= 1 && t[2] <= kDaysInMonth[t[1]] &&
         t[3] <= 23 && t[4] <= 59 && t[5] <= 59 && t[6] <= 99;
}

bool known_regime(std::uint8_t regime) {
  return regime == 1 || regime == 2 || regime == 3 || (regime >= 5 && regime <= 8);
}

// Masks 6 and 7 name no sensor.
bool plausible_ctd_mask(std::uint8_t mask) { return mask <= 5 || mask >= 8; }

// Every information record of a deployment has the size of the first; one that holds every
// field is 24 bytes or more.
bool plausible_info_size(const DecoderState& st, std::uint8_t size) {
  return st.recovery.info_size < 0 ? size >= 24 : size == st.recovery.info_size;
}

// A tag keeps its version for the whole deployment.
bool plausible_info_version(const DecoderState& /*st*/, const Run& run, std::uint8_t size, std::uint16_t version) {
  return run.tag_version < 0 || size < 2 || version == run.tag_version;
}

void remember_dry_start(DecoderState& st, std::uint64_t at, double haulout_before, std::uint16_t interval_before) {
  st.recovery.dry_at = at;
  st.recovery.haulout_before = haulout_before;
  st.recovery.interval_before = interval_before;
}

void remember_wetdry(DecoderState& st, std::uint64_t at, std::uint8_t before) {
  st.recovery.wetdry_at = at;
  st.recovery.wetdry_before = before;
}

std::uint64_t input_size(const DecoderState& st) {
  struct stat s {};
  if (st.input.fd < 0 || ::fstat(st.input.fd, &s) != 0 || s.st_size < 0) return 0;
  return static_cast<std::uint64_t>(s.st_size);
}

int next_byte_at(const DecoderState& st, std::uint64_t offset) {
  std::uint8_t b = 0;
  return read_at(st.input.fd, offset, &b, 1) == 1 ? b : -1;
}

bool erased_from(const DecoderState& st, std::uint64_t from) {
  std::uint8_t buffer[kScanChunk];
  for (std::uint64_t at = from;; at += sizeof buffer) {
    const std::size_t got = read_at(st.input.fd, at, buffer, sizeof buffer);
    if (std::any_of(buffer, buffer + got, [](std::uint8_t b) { return b != TDRCODE_EOF; })) return false;
    if (got < sizeof buffer) return true;
  }
}

bool skip_damage(DecoderState& st, Run& run, std::uint8_t& code) {
  Recovery& r = st.recovery;
  undo_suspect_effects(st);
  // Whatever burst or profile was open ended in the damage.
  st.ctd_open = st.acc_open = false;

  const std::uint64_t size = input_size(st);
  const std::uint64_t first = std::min(r.damage_at, size == 0 ? 0 : size - 1);
  const std::uint64_t next = find_restart(st, run, std::max(first + 1, r.damage_seen_at), size);
  const std::uint64_t last = next > first ? next - 1 : first;
  const std::uint64_t bytes = last - first + 1;
  if (r.gap_count < kListedGaps) {
    Gap& g = r.gaps[r.gap_count];
    g.first = first;
    g.last = last;
    std::snprintf(g.reason, sizeof g.reason, "%s", r.reason);
  }
  ++r.gap_count;
  r.gap_bytes += bytes;

  // The note stands at the first byte of the gap, in the files and on the console alike.
  char text[160];
  std::snprintf(text, sizeof text, "Damaged: skipped to %08llX, %llu bytes: %s", static_cast<unsigned long long>(last),
                static_cast<unsigned long long>(bytes), r.reason);
  st.byte_offset = first;
  debug_note(st, text);
  char line[200];
  std::snprintf(line, sizeof line, "\n@%08llX: %s\n", static_cast<unsigned long long>(first), text);
  console_note(st, line);

  r.damaged = false;
  r.eof_code = false;
  if (next >= size || !source_seek(st, next) || !read_bytes(st, "recover", &code, 1)) {
    st.byte_offset = std::max<std::uint64_t>(size, first);
    st.end_of_input = true;
    return false;
  }
  return true;
}

}  // namespace skelv
