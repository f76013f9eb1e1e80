// The run's record of what happened, in order with input offsets: every failure, every damaged
// stretch skipped, every record that looked damaged, and the count of notes written into the
// files. The console summary, the exit status, the JSON report and the NetCDF files' result
// are all read from it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skelv {

enum class EventKind : std::uint8_t {
  kFailure,  // the run failed here: decoding, reading, creating, writing or closing a file
  kDamage,   // a damaged stretch skipped by -recover, from `offset` to `last`
  kSuspect,  // a record that looked damaged, decoded all the same
};

struct Event {
  EventKind kind = EventKind::kFailure;
  std::uint64_t offset = 0;  // where it happened; a damaged stretch's first byte
  std::uint64_t last = 0;    // a damaged stretch's last byte
  std::string text;          // a failure's message (ending with "\n"), or why the bytes were damage
  std::uint64_t repeats = 1; // the same failure met again at later records
};

// Events kept one by one; beyond them only the counts grow.
inline constexpr std::size_t kMaxEvents = 10000;

struct RunEvents {
  std::vector<Event> list;
  std::uint64_t failures = 0;       // failures met, repeats included
  std::uint64_t damaged = 0;        // damaged stretches skipped
  std::uint64_t damaged_bytes = 0;  // their bytes
  std::uint64_t suspects = 0;       // records that looked damaged
  std::uint64_t first_suspect = 0;  // offset of the first of them
  std::uint64_t notes = 0;          // diagnostic notes written into the files
  std::string last_failure;         // the latest failure's message: the console's "Failure:" line

  bool failed() const { return failures != 0; }
};

// How a run went: a failure of its own outweighs damage in its input.
enum class RunResult : std::uint8_t { kCompleted, kFailed, kDamaged };
RunResult result_of(const RunEvents& events);
const char* result_name(RunResult result);  // "completed", "failed", "damaged"


// Adds a failure; the same message as an earlier failure counts as a repeat of it.
void add_failure(RunEvents& events, std::uint64_t offset, const char* text);
void add_damage(RunEvents& events, std::uint64_t first, std::uint64_t last, const char* reason);
void add_suspect(RunEvents& events, std::uint64_t offset, const char* reason);

// Where the account of damaged stretches stood, so that stretches added since can be taken back
// (their bytes are read again).
struct DamageMark {
  std::size_t events = 0;
  std::uint64_t damaged = 0;
  std::uint64_t damaged_bytes = 0;
};
DamageMark damage_mark(const RunEvents& events);
// Takes back the damaged stretches added since `mark`; other events stay.
void take_back_damage(RunEvents& events, const DamageMark& mark);

}  // namespace skelv
