// What the damage benchmark measures on one conversion: the data lines per file, the progress
// points of the console, where the run ended; and how much of an undamaged run's output after a
// damaged stretch another run reproduces.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "runs/skelv_run.h"

namespace skelv::damage {

using Bytes = std::vector<std::uint8_t>;
constexpr int kFiles = 4;  // TDR, CTD, GPS, accelerometer lines

struct Output {
  runs::SkelvRun run;
  std::array<std::vector<std::string>, kFiles> lines;  // data lines only: no header, notes or haul-outs
  // Progress points: the byte offset and the line counts of the four files at that offset.
  std::vector<std::pair<std::uint64_t, std::array<std::uint64_t, kFiles>>> progress;
  std::uint64_t byte_count = 0;
};

using Multiset = std::unordered_map<std::string, int>;

// Converts `image`, written as <dir>/d.bin, plainly or with -recover.
Output convert(const std::string& skelv, const std::string& dir, const Bytes& image, bool recover);
Multiset multiset(const Output& o);

// The seconds ("YYYY/MM/DD hh:mm:ss") at which an undamaged run wrote a TDR line.
std::unordered_set<std::string> tdr_seconds(const Output& ref);
// The date and time text of the first dive start from `from` on (a known regime and a valid
// date, at a second the undamaged run wrote a TDR line at: bytes inside a stream that merely
// look like a dive start, with a date of their own, are not one); "9999" when there is none.
std::string next_dive_time(const Bytes& image, std::uint64_t from, const std::unordered_set<std::string>& seconds);
// Where that dive start lies; the image's size when there is none.
std::uint64_t next_dive_offset(const Bytes& image, std::uint64_t from, const std::unordered_set<std::string>& seconds);
// Lines of `ref` stamped at or after `time` that `run` reproduces; adds the lines counted to `after`.
std::uint64_t kept_from_time(const Output& ref, const std::string& time, const Output& run, std::uint64_t& after);
// Lines of `ref` written from the first progress point 4 KiB past `damage_end` on that `run`
// reproduces; adds the lines counted to `after`.
std::uint64_t kept_after(const Output& ref, std::uint64_t damage_end, const Output& run, std::uint64_t& after);
// Lines of `run` that none of `refs` has.
std::uint64_t spurious(const Output& run, const std::vector<const Multiset*>& refs);
// Lines of `plain` that one of `refs` has (lines a plain run got right, before the damage and
// wherever it decoded on) that `run` does not write; adds the lines looked at to `valid`.
std::uint64_t dropped(const Output& plain, const std::vector<const Multiset*>& refs, const Output& run,
                      std::uint64_t& valid);
// The run read the whole image, or stopped at an end-of-data code followed by erased memory only.
bool ends_properly(const Output& run, const Bytes& image);
// The run saw no damage: it exited with 0 and "Completed." after reading to the end (as
// ends_properly), wrote nothing on its standard error and no line about bad data (an illegal
// stream, an unknown code, a damage note).
bool saw_no_damage(const Output& run, const Bytes& image);

}  // namespace skelv::damage
