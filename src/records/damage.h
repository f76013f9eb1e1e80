// Damage met while decoding: a record that makes no sense where it stands. A plain run notes the
// first damage; with -recover every later read fails, so every open stream closes as at the end
// of the input, and the run skips ahead to the next plausible record start.
#pragma once
#include <cstdint>

namespace skelv {

inline constexpr std::uint64_t kNowhere = UINT64_MAX;  // an offset not reached
inline constexpr std::size_t kReasonSize = 64;

struct DamageState {
  bool on = false;                   // -recover
  bool damaged = false;              // damage met since the input was last positioned
  std::uint64_t damage_at = 0;       // offset of the record code that made no sense
  std::uint64_t damage_seen_at = 0;  // byte_offset when it was found: decoding goes on past it
  char reason[kReasonSize] = {};
  bool eof_code = false;             // the record loop met the end-of-data code
  int info_size = -1;                // block size of the first information record; -1: none yet
  // The latest records whose effects a damaged stretch close behind them undoes.
  std::uint64_t dry_at = kNowhere;
  double haulout_before = 0.0;
  std::uint16_t interval_before = 0;
  std::uint64_t wetdry_at = kNowhere;
  std::uint8_t wetdry_before = 0;
  std::uint64_t burst_at = kNowhere;
  int burst_pending_before = 0;  // pending samples before the burst joined them
  int burst_pending_after = 0;
  double burst_last_end_before = 0.0;
};

struct Decoder;

// A record that made no sense at `first` (the offset of its code byte). The first damage since
// the input was last positioned is kept. With -recover every later read fails and true is
// returned; a plain run only remembers the damage and returns false.
bool note_damage(Decoder& d, std::uint64_t first, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A record at `first` that looks damaged on its own bytes: with -recover it is damage (as
// note_damage, true); a plain run decodes it all the same (false).
bool looks_damaged(Decoder& d, std::uint64_t first, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A plain run's record at `first` whose decoded values look damaged: counted among the run's
// suspect records and handed to the outputs.
void note_suspect(Decoder& d, std::uint64_t first, const char* reason);

// Plausibility of records, on their raw bytes.
bool plausible_time(const std::uint8_t* t);  // the 7-byte time of a dive or CTD start
bool known_regime(std::uint8_t regime);
bool plausible_ctd_mask(std::uint8_t mask);
// An information record of `size` block bytes whose block starts with the tag version `version`
// (ignored when the block is too short to hold one).
bool plausible_info_size(const DamageState& damage, std::uint8_t size);
bool plausible_info_version(std::int32_t tag_version, std::uint8_t size, std::uint16_t version);

// Effects of records that a damaged stretch close behind them may have made garbage: remembered
// here when they happen, undone when the run skips the damage.
void remember_dry_start(DamageState& damage, std::uint64_t at, double haulout_before, std::uint16_t interval_before);
void remember_wetdry(DamageState& damage, std::uint64_t at, std::uint8_t before);

}  // namespace skelv
