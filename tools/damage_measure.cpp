#include "damage_measure.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace skelv::damage {
namespace {

constexpr std::uint64_t kMargin = 4096;

// Counts of the lines written before the first progress point at or past `at`; the whole
// output when there is none.
std::array<std::uint64_t, kFiles> lines_before(const Output& ref, std::uint64_t at) {
  for (const auto& [offset, counts] : ref.progress) {
    if (offset >= at) return counts;
  }
  std::array<std::uint64_t, kFiles> all{};
  for (int k = 0; k < kFiles; ++k) all[k] = ref.lines[k].size();
  return all;
}

bool take(Multiset& have, const std::string& line) {
  auto it = have.find(line);
  if (it == have.end() || it->second == 0) return false;
  --it->second;
  return true;
}

}  // namespace

Output convert(const std::string& skelv, const std::string& dir, const Bytes& image, bool recover) {
  const std::string input = dir + "/d.bin";
  runs::write_image(input, image);
  Output out;
  out.run = runs::run_skelv(skelv, input, recover ? std::vector<std::string>{"-recover"} : std::vector<std::string>{},
                            runs::text_suffixes());
  for (int k = 0; k < kFiles; ++k) {
    for (const std::string& line : out.run.files[static_cast<std::size_t>(k)].lines) {
      if (runs::is_data_line(line)) out.lines[k].push_back(line);
    }
  }
  // Progress lines: "\r%8lX %7lu => TDR %9lu | CTD %8lu | GPS %8lu | ACC %9lu".
  std::istringstream parts(out.run.console);
  std::string piece;
  while (std::getline(parts, piece, '\r')) {
    unsigned long long at = 0, kib = 0, c[4] = {};
    if (std::sscanf(piece.c_str(), "%llX %llu => TDR %llu | CTD %llu | GPS %llu | ACC %llu", &at, &kib, &c[0], &c[1],
                    &c[2], &c[3]) == 6) {
      out.progress.push_back({at, {c[0], c[1], c[2], c[3]}});
    }
  }
  const long long bytes = runs::reported_bytes(out.run.console);
  out.byte_count = bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes);
  return out;
}

Multiset multiset(const Output& o) {
  Multiset m;
  for (const auto& file : o.lines) {
    for (const std::string& l : file) ++m[l];
  }
  return m;
}

std::unordered_set<std::string> tdr_seconds(const Output& ref) {
  std::unordered_set<std::string> seconds;
  for (const std::string& line : ref.lines[0]) seconds.insert(line.substr(0, 19));
  return seconds;
}

namespace {

// The dive start next_dive_time takes, at `b`: a known regime and a valid date.
bool looks_like_dive_start(const std::uint8_t* b) {
  const bool known = b[1] == 1 || b[1] == 2 || b[1] == 3 || (b[1] >= 5 && b[1] <= 8);
  return b[0] == 0xFB && known && b[3] >= 1 && b[3] <= 12 && b[4] >= 1 && b[4] <= 31 && b[5] <= 23 && b[6] <= 59 &&
         b[7] <= 59;
}

std::string stamp_of(const std::uint8_t* b) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", 1900 + b[2], b[3], b[4], b[5], b[6], b[7]);
  return text;
}

}  // namespace

std::uint64_t next_dive_offset(const Bytes& image, std::uint64_t from, const std::unordered_set<std::string>& seconds) {
  for (std::uint64_t i = from; i + 9 < image.size(); ++i) {
    const std::uint8_t* b = image.data() + i;
    if (looks_like_dive_start(b) && seconds.count(stamp_of(b)) != 0) return i;
  }
  return image.size();
}

std::string next_dive_time(const Bytes& image, std::uint64_t from, const std::unordered_set<std::string>& seconds) {
  const std::uint64_t at = next_dive_offset(image, from, seconds);
  return at < image.size() ? stamp_of(image.data() + at) : "9999";
}

std::uint64_t kept_from_time(const Output& ref, const std::string& time, const Output& run, std::uint64_t& after) {
  Multiset have = multiset(run);
  std::uint64_t kept = 0;
  for (const auto& file : ref.lines) {
    for (const std::string& line : file) {
      if (line.compare(0, time.size(), time) < 0) continue;
      ++after;
      if (take(have, line)) ++kept;
    }
  }
  return kept;
}

std::uint64_t kept_after(const Output& ref, std::uint64_t damage_end, const Output& run, std::uint64_t& after) {
  const auto from = lines_before(ref, damage_end + kMargin);
  Multiset have = multiset(run);
  std::uint64_t kept = 0;
  for (int k = 0; k < kFiles; ++k) {
    for (std::size_t i = from[k]; i < ref.lines[k].size(); ++i) {
      ++after;
      if (take(have, ref.lines[k][i])) ++kept;
    }
  }
  return kept;
}

std::uint64_t spurious(const Output& run, const std::vector<const Multiset*>& refs) {
  std::uint64_t n = 0;
  for (const auto& file : run.lines) {
    for (const std::string& l : file) {
      if (std::none_of(refs.begin(), refs.end(), [&](const Multiset* m) { return m->count(l) != 0; })) ++n;
    }
  }
  return n;
}

std::uint64_t dropped(const Output& plain, const std::vector<const Multiset*>& refs, const Output& run,
                      std::uint64_t& valid) {
  Multiset have = multiset(run);
  std::uint64_t n = 0;
  for (const auto& file : plain.lines) {
    for (const std::string& l : file) {
      if (std::none_of(refs.begin(), refs.end(), [&](const Multiset* m) { return m->count(l) != 0; })) continue;
      ++valid;
      if (!take(have, l)) ++n;
    }
  }
  return n;
}

bool ends_properly(const Output& run, const Bytes& image) {
  if (run.byte_count >= image.size()) return true;
  if (run.byte_count == 0 || image[run.byte_count - 1] != 0xFF) return false;
  return std::all_of(image.begin() + static_cast<std::ptrdiff_t>(run.byte_count), image.end(),
                     [](std::uint8_t b) { return b == 0xFF; });
}

bool saw_no_damage(const Output& run, const Bytes& image) {
  if (run.run.status != 0 || !run.run.errors.empty() || !ends_properly(run, image)) return false;
  if (run.run.console.find("\nCompleted.\n") == std::string::npos) return false;
  for (const runs::OutputFile& file : run.run.files) {
    for (const std::string& line : file.lines) {
      const bool known = runs::is_data_line(line) || line.rfind("DATE(", 0) == 0 || line.rfind("HAULOUT", 0) == 0;
      if (!known) return false;
    }
  }
  return true;
}

}  // namespace skelv::damage
