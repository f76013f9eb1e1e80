#include "records/damage.h"

#include <cstdarg>
#include <cstdio>

#include "input/byte_source.h"
#include "records/decoder.h"

namespace skelv {
namespace {

constexpr std::uint8_t kEarliestYear = 70;  // year byte of 1970
constexpr std::uint8_t kDaysInMonth[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

bool note_damage(Decoder& d, std::uint64_t first, const char* format, ...) {
  DamageState& r = d.damage;
  if (!r.damaged) {
    r.damaged = true;
    r.damage_at = first;
    r.damage_seen_at = d.input.byte_offset;
    va_list args;
    va_start(args, format);
    std::vsnprintf(r.reason, sizeof r.reason, format, args);
    va_end(args);
  }
  if (!r.on) return false;
  source_halt(d.input);
  return true;
}

void note_suspect(Decoder& d, std::uint64_t first, const char* reason) {
  add_suspect(d.events, first, reason);
  emit(d.outputs, &Output::suspect, SuspectRecord{first, reason});
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
bool plausible_info_size(const DamageState& damage, std::uint8_t size) {
  return damage.info_size < 0 ? size >= 24 : size == damage.info_size;
}

// A tag keeps its version for the whole deployment.
bool plausible_info_version(std::int32_t tag_version, std::uint8_t size, std::uint16_t version) {
  return tag_version < 0 || size < 2 || version == tag_version;
}

bool plausible_gps_time(const std::uint8_t* h) {
  return h[1] >= 1 && h[1] <= 12 && h[2] >= 1 && h[2] <= 31 && h[3] <= 23 && h[4] <= 59 && h[5] <= 59;
}

bool start_in_step(double start, double clock) {
  constexpr double kEarlier = 60.0;
  constexpr double kLater = 30.0 * 86400.0;
  return clock == 0.0 || (start >= clock - kEarlier && start <= clock + kLater);
}

}  // namespace skelv
