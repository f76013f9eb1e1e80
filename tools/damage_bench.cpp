// Damage benchmark: damages generated tag images in controlled, seeded ways, converts the
// undamaged and the damaged image with Skelv (plain and -recover), and reports per kind of
// damage how many of the undamaged run's lines that lie wholly after the damaged stretch each
// run reproduces exactly, and how many lines the -recover run writes that no undamaged run has.
//
//   skelv-damage-bench SKELV WORKDIR IMAGES_PER_KIND SEED BASE_IMAGE...
//
// A line lies wholly after the damage when it belongs to a dive that starts after the damaged
// stretch: the generated images are in time order, so these are the lines stamped at or after the
// time of the first dive start past the stretch. A second, looser measure takes every line the
// undamaged run wrote after the first progress point (a multiple of 1024 bytes) at least 4 KiB
// past the stretch, which includes the rest of a dive cut by the damage.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kKinds = 4;  // TDR, CTD, GPS, accelerometer lines
const char* const kSuffix[kKinds] = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};
constexpr std::uint64_t kMargin = 4096;

struct Output {
  std::array<std::vector<std::string>, kKinds> lines;  // counted lines only: no header, notes or haul-outs
  std::vector<std::pair<std::uint64_t, std::array<std::uint64_t, kKinds>>> progress;
  std::uint64_t byte_count = 0;
  int status = -1;
};

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bool counted(const std::string& line) {
  return !line.empty() && line[0] != '@' && line.rfind("HAULOUT", 0) != 0 && line.rfind("***", 0) != 0 &&
         line.find(": Illegal") == std::string::npos;
}

// Converts `image` (named <dir>/d.bin) with the given switch and reads back files and console.
Output convert(const std::string& skelv, const std::string& dir, const Bytes& image, bool recover) {
  const std::string input = dir + "/d.bin";
  write_bytes(input, image);
  for (const char* s : kSuffix) std::remove((dir + "/d" + s).c_str());
  const std::string console = dir + "/console.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {skelv, input};
  if (recover) args.push_back("-recover");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Output out;
  pid_t pid = 0;
  if (posix_spawn(&pid, skelv.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(2);
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (int k = 0; k < kKinds; ++k) {
    std::ifstream in(dir + "/d" + kSuffix[k]);
    std::string line;
    while (std::getline(in, line)) {
      if (counted(line) && line.rfind("DATE(", 0) != 0) out.lines[k].push_back(line);
    }
  }
  // Progress lines: "\r%8lX %7lu => TDR %9lu | CTD %8lu | GPS %8lu | ACC %9lu".
  std::ifstream in(console);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream parts(text);
  std::string piece;
  while (std::getline(parts, piece, '\r')) {
    unsigned long long at = 0, kib = 0, c[4] = {};
    if (std::sscanf(piece.c_str(), "%llX %llu => TDR %llu | CTD %llu | GPS %llu | ACC %llu", &at, &kib, &c[0], &c[1],
                    &c[2], &c[3]) == 6) {
      out.progress.push_back({at, {c[0], c[1], c[2], c[3]}});
    }
  }
  const std::size_t input_at = text.find("\nInput: ");
  if (input_at != std::string::npos) out.byte_count = std::strtoull(text.c_str() + input_at + 8, nullptr, 10);
  return out;
}

// Counts of the lines written before the first progress point at or past `at`; the whole
// output when there is none.
std::array<std::uint64_t, kKinds> lines_before(const Output& ref, std::uint64_t at) {
  for (const auto& [offset, counts] : ref.progress) {
    if (offset >= at) return counts;
  }
  std::array<std::uint64_t, kKinds> all{};
  for (int k = 0; k < kKinds; ++k) all[k] = ref.lines[k].size();
  return all;
}

using Multiset = std::unordered_map<std::string, int>;

Multiset multiset(const Output& o) {
  Multiset m;
  for (const auto& kind : o.lines) {
    for (const std::string& l : kind) ++m[l];
  }
  return m;
}

struct Tally {
  std::uint64_t images = 0, after = 0, plain_kept = 0, recover_kept = 0, spurious = 0, max_spurious = 0;
  std::uint64_t loose_after = 0, loose_plain_kept = 0, loose_recover_kept = 0, plain_spurious = 0;
  std::uint64_t early_ends = 0, over_stretch = 0, plain_ended_early = 0;
};

// The date and time text of the first dive start from `from` on: regime 1 or 7, a valid date.
std::string next_dive_time(const Bytes& image, std::uint64_t from) {
  for (std::uint64_t i = from; i + 9 < image.size(); ++i) {
    const std::uint8_t* b = image.data() + i;
    if (b[0] != 0xFB || (b[1] != 1 && b[1] != 7) || b[3] < 1 || b[3] > 12 || b[4] < 1 || b[4] > 31 || b[5] > 23 ||
        b[6] > 59 || b[7] > 59) {
      continue;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", 1900 + b[2], b[3], b[4], b[5], b[6], b[7]);
    return text;
  }
  return "9999";
}

// Lines of `ref` stamped at or after `time` that `run` reproduces; adds the lines after to `after`.
std::uint64_t kept_from_time(const Output& ref, const std::string& time, const Output& run, std::uint64_t& after) {
  Multiset have = multiset(run);
  std::uint64_t kept = 0;
  for (const auto& kind : ref.lines) {
    for (const std::string& line : kind) {
      if (line.compare(0, time.size(), time) < 0) continue;
      ++after;
      auto it = have.find(line);
      if (it != have.end() && it->second > 0) {
        --it->second;
        ++kept;
      }
    }
  }
  return kept;
}

// Lines of `ref` after `damage_end` that `run` reproduces; adds the lines after to `after`.
std::uint64_t kept_after(const Output& ref, std::uint64_t damage_end, const Output& run, std::uint64_t& after) {
  const auto from = lines_before(ref, damage_end + kMargin);
  Multiset have = multiset(run);
  std::uint64_t kept = 0;
  for (int k = 0; k < kKinds; ++k) {
    for (std::size_t i = from[k]; i < ref.lines[k].size(); ++i) {
      ++after;
      auto it = have.find(ref.lines[k][i]);
      if (it != have.end() && it->second > 0) {
        --it->second;
        ++kept;
      }
    }
  }
  return kept;
}

std::uint64_t spurious(const Output& run, const std::vector<const Multiset*>& refs) {
  std::uint64_t n = 0;
  for (const auto& kind : run.lines) {
    for (const std::string& l : kind) {
      if (std::none_of(refs.begin(), refs.end(), [&](const Multiset* m) { return m->count(l) != 0; })) ++n;
    }
  }
  return n;
}

bool ends_properly(const Output& run, const Bytes& image) {
  if (run.byte_count >= image.size()) return true;
  // Only at an end-of-data code followed by erased memory.
  if (run.byte_count == 0 || image[run.byte_count - 1] != 0xFF) return false;
  return std::all_of(image.begin() + static_cast<std::ptrdiff_t>(run.byte_count), image.end(),
                     [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: skelv-damage-bench SKELV WORKDIR IMAGES_PER_KIND SEED BASE_IMAGE...\n");
    return 2;
  }
  const std::string skelv = argv[1];
  const std::string dir = argv[2];
  const int per_kind = std::atoi(argv[3]);
  const bool verbose = std::getenv("DAMAGE_BENCH_VERBOSE") != nullptr;  // one line per image on stderr
  std::mt19937_64 rng(std::strtoull(argv[4], nullptr, 10));
  std::vector<Bytes> bases;
  std::vector<Output> refs;
  std::vector<Multiset> ref_sets;
  for (int i = 5; i < argc; ++i) {
    bases.push_back(read_bytes(argv[i]));
    refs.push_back(convert(skelv, dir, bases.back(), false));
    ref_sets.push_back(multiset(refs.back()));
  }
  const char* const kKindNames[] = {"1..512 random bytes", "one flipped bit", "stray 0xFF", "two images spliced",
                                    "erased 0xFF fill at the end"};
  std::array<Tally, 5> tally{};
  auto pick = [&](std::uint64_t lo, std::uint64_t hi) { return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng); };
  for (int n = 0; n < per_kind; ++n) {
    for (int kind = 0; kind < 5; ++kind) {
      const std::size_t a = static_cast<std::size_t>(pick(0, bases.size() - 1));
      const Bytes& base = bases[a];
      Bytes image = base;
      const Output* ref = &refs[a];
      std::vector<const Multiset*> known = {&ref_sets[a]};
      std::uint64_t damage_end = 0;  // in the coordinates of `ref`
      const Bytes* ref_image = &base;
      std::uint64_t stretch = 1;
      const std::uint64_t at = pick(base.size() / 20, base.size() * 9 / 10);
      switch (kind) {
        case 0: {
          stretch = pick(1, 512);
          for (std::uint64_t i = 0; i < stretch; ++i) image[at + i] = static_cast<std::uint8_t>(rng());
          damage_end = at + stretch;
          break;
        }
        case 1: image[at] ^= static_cast<std::uint8_t>(1u << pick(0, 7)); damage_end = at + 1; break;
        case 2: image[at] = 0xFF; damage_end = at + 1; break;
        case 3: {
          std::size_t b = a;
          while (bases.size() > 1 && b == a) b = static_cast<std::size_t>(pick(0, bases.size() - 1));
          const Bytes& other = bases[b];
          const std::uint64_t cut = pick(other.size() / 20, other.size() * 9 / 10);
          image.resize(at);
          image.insert(image.end(), other.begin() + static_cast<std::ptrdiff_t>(cut), other.end());
          ref = &refs[b];
          ref_image = &other;
          known.push_back(&ref_sets[b]);
          damage_end = cut;
          stretch = 512;  // the tail of the cut record and the head of the spliced one
          break;
        }
        default:
          std::fill(image.begin() + static_cast<std::ptrdiff_t>(at), image.end(), std::uint8_t{0xFF});
          damage_end = image.size();
          stretch = image.size() - at;
          break;
      }
      const Output plain = convert(skelv, dir, image, false);
      const Output recover = convert(skelv, dir, image, true);
      Tally& t = tally[kind];
      ++t.images;
      std::uint64_t after = 0;
      t.loose_plain_kept += kept_after(*ref, damage_end, plain, after);
      t.loose_recover_kept += kept_after(*ref, damage_end, recover, t.loose_after);
      const std::string from = next_dive_time(*ref_image, damage_end);
      t.plain_kept += kept_from_time(*ref, from, plain, after);
      t.recover_kept += kept_from_time(*ref, from, recover, t.after);
      const std::uint64_t s = spurious(recover, known);
      t.spurious += s;
      t.plain_spurious += spurious(plain, known);
      t.max_spurious = std::max(t.max_spurious, s);
      if (s > stretch) ++t.over_stretch;
      if (!ends_properly(recover, image)) ++t.early_ends;
      if (!ends_properly(plain, image)) ++t.plain_ended_early;
      if (verbose) {
        std::fprintf(stderr, "kind %d base %zu at %llu end %llu: status %d/%d, bytes %llu/%llu of %zu, spurious %llu\n",
                     kind, a, static_cast<unsigned long long>(at), static_cast<unsigned long long>(damage_end),
                     plain.status, recover.status, static_cast<unsigned long long>(plain.byte_count),
                     static_cast<unsigned long long>(recover.byte_count), image.size(), static_cast<unsigned long long>(s));
      }
    }
  }
  std::printf("| damage | images | lines after | plain kept | -recover kept | lines 4 KiB after | plain kept | -recover kept | plain ended early | -recover ended early | plain spurious lines | -recover spurious lines (max per image) | images with more spurious lines than damaged bytes |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (int kind = 0; kind < 5; ++kind) {
    const Tally& t = tally[kind];
    auto pct = [&](std::uint64_t kept, std::uint64_t of) {
      static char text[8][32];
      static int slot = 0;
      char* out = text[slot++ % 8];
      if (of == 0) {
        std::snprintf(out, 32, "n/a");
      } else {
        std::snprintf(out, 32, "%.2f %%", 100.0 * static_cast<double>(kept) / static_cast<double>(of));
      }
      return out;
    };
    std::printf("| %s | %llu | %llu | %s | %s | %llu | %s | %s | %llu | %llu | %llu | %llu (%llu) | %llu |\n", kKindNames[kind],
                static_cast<unsigned long long>(t.images), static_cast<unsigned long long>(t.after),
                pct(t.plain_kept, t.after), pct(t.recover_kept, t.after), static_cast<unsigned long long>(t.loose_after),
                pct(t.loose_plain_kept, t.loose_after), pct(t.loose_recover_kept, t.loose_after),
                static_cast<unsigned long long>(t.plain_ended_early),
                static_cast<unsigned long long>(t.early_ends), static_cast<unsigned long long>(t.plain_spurious),
                static_cast<unsigned long long>(t.spurious),
                static_cast<unsigned long long>(t.max_spurious), static_cast<unsigned long long>(t.over_stretch));
  }
  return 0;
}
