// Damage benchmark: damages generated tag images in controlled, seeded ways, converts the
// undamaged and the damaged image with Skelv (plain and -recover), and reports per kind of
// damage how many of the undamaged run's lines that lie wholly after the damaged stretch each
// run reproduces exactly, and how many lines the -recover run writes that no undamaged run has.
// Images come in groups (one per generator), each damaged with the same seeded kinds and
// reported in a table of its own, after the undamaged check: the lines that -recover changes on
// the images before damage.
//
//   skelv-damage-bench SKELV WORKDIR IMAGES_PER_KIND SEED [--group NAME] IMAGE... [--group NAME IMAGE...]
//
// A line lies wholly after the damage when it belongs to a dive that starts after the damaged
// stretch: the generated images are in time order, so these are the lines stamped at or after the
// time of the first dive start past the stretch (one the undamaged run wrote a line at: bytes in
// a stream can look like a dive start). A second, looser measure takes every line the
// undamaged run wrote after the first progress point (a multiple of 1024 bytes) at least 4 KiB
// past the stretch, which includes the rest of a dive cut by the damage. Of the images with more
// spurious lines than damaged bytes, those that both runs read as undamaged are counted apart.
// The last two columns: the lines of the plain run that an undamaged run has (what it got right,
// before the damage and wherever it decoded on past it), and how many of them -recover does not
// write: what its roll-backs and skipped stretches cost in lines a plain run keeps.
// With DAMAGE_BENCH_VERBOSE set, one line per image goes to stderr and the images that lost lines
// or have more spurious lines than damaged bytes are kept in WORKDIR.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "damage_measure.h"
#include "runs/skelv_run.h"

namespace {

using namespace skelv::damage;

constexpr int kDamageKinds = 6;
constexpr int kSplice = 4;  // two images spliced
const char* const kKindNames[kDamageKinds] = {"1..512 random bytes", "one flipped bit",
                                              "one random byte",     "stray 0xFF",
                                              "two images spliced",  "erased 0xFF fill at the end"};

struct Group {
  std::string name;
  std::vector<Bytes> bases;
  std::vector<Output> refs;
  std::vector<Multiset> sets;
  std::vector<std::unordered_set<std::string>> seconds;  // of each undamaged run's TDR lines
};

struct Tally {
  std::uint64_t images = 0, after = 0, plain_kept = 0, recover_kept = 0, spurious = 0, max_spurious = 0;
  std::uint64_t loose_after = 0, loose_plain_kept = 0, loose_recover_kept = 0, plain_spurious = 0;
  std::uint64_t early_ends = 0, over_stretch = 0, plain_ended_early = 0;
  std::uint64_t over_unseen = 0;  // of over_stretch: damage that neither run saw
  // Splices: their bytes before the next dive start, and the images with more spurious lines.
  std::uint64_t before_dive = 0, over_before_dive = 0;
  std::uint64_t plain_valid = 0, recover_dropped = 0;  // the plain run's right lines; of them, not in -recover's
};

// One damaged image: what it is, the undamaged image whose lines it is measured on, and the
// damaged stretch in that image's coordinates.
struct Damaged {
  Bytes image;
  std::size_t ref = 0;
  std::vector<std::size_t> known;  // undamaged images whose lines are not spurious
  std::uint64_t damage_end = 0, stretch = 1;
  // A splice: the spliced-in bytes before the next dive start, from which on the kept share
  // expects lines: the rest of what the cut fell in (a stream's samples without the stream's
  // start, which no reader can place) and whatever else stands before that dive.
  std::uint64_t before_dive = 0;
};

Damaged damage(int kind, const Group& g, std::mt19937_64& rng) {
  auto pick = [&](std::uint64_t lo, std::uint64_t hi) {
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
  };
  const std::size_t a = static_cast<std::size_t>(pick(0, g.bases.size() - 1));
  const Bytes& base = g.bases[a];
  Damaged d{base, a, {a}, 0, 1};
  const std::uint64_t at = pick(base.size() / 20, base.size() * 9 / 10);
  switch (kind) {
    case 0:
      d.stretch = pick(1, 512);
      for (std::uint64_t i = 0; i < d.stretch && at + i < d.image.size(); ++i)
        d.image[at + i] = static_cast<std::uint8_t>(rng());
      d.damage_end = at + d.stretch;
      break;
    case 1:
      d.image[at] ^= static_cast<std::uint8_t>(1u << pick(0, 7));
      d.damage_end = at + 1;
      break;
    case 2:
      d.image[at] = static_cast<std::uint8_t>(d.image[at] + pick(1, 255));
      d.damage_end = at + 1;
      break;
    case 3:
      d.image[at] = 0xFF;
      d.damage_end = at + 1;
      break;
    case kSplice: {
      std::size_t b = a;
      while (g.bases.size() > 1 && b == a) b = static_cast<std::size_t>(pick(0, g.bases.size() - 1));
      const Bytes& other = g.bases[b];
      const std::uint64_t cut = pick(other.size() / 20, other.size() * 9 / 10);
      d.image.resize(at);
      d.image.insert(d.image.end(), other.begin() + static_cast<std::ptrdiff_t>(cut), other.end());
      d.ref = b;
      d.known.push_back(b);
      d.damage_end = cut;
      d.stretch = 512;  // the tail of the cut record and the head of the spliced one
      d.before_dive = next_dive_offset(other, cut, g.seconds[b]) - cut;
      break;
    }
    default:
      std::fill(d.image.begin() + static_cast<std::ptrdiff_t>(at), d.image.end(), std::uint8_t{0xFF});
      d.damage_end = d.image.size();
      d.stretch = d.image.size() - at;
      break;
  }
  return d;
}

void measure(const std::string& skelv, const std::string& dir, const Group& g, int kind, std::mt19937_64& rng, Tally& t,
             bool verbose) {
  const Damaged d = damage(kind, g, rng);
  const Output& ref = g.refs[d.ref];
  std::vector<const Multiset*> known;
  for (std::size_t i : d.known) known.push_back(&g.sets[i]);
  const Output plain = convert(skelv, dir, d.image, false);
  const Output recover = convert(skelv, dir, d.image, true);
  ++t.images;
  std::uint64_t ignored = 0;
  t.loose_plain_kept += kept_after(ref, d.damage_end, plain, ignored);
  t.loose_recover_kept += kept_after(ref, d.damage_end, recover, t.loose_after);
  const std::string from = next_dive_time(g.bases[d.ref], d.damage_end, g.seconds[d.ref]);
  t.plain_kept += kept_from_time(ref, from, plain, ignored);
  const std::uint64_t after_before = t.after;
  const std::uint64_t kept = kept_from_time(ref, from, recover, t.after);
  t.recover_kept += kept;
  const std::uint64_t s = spurious(recover, known);
  t.spurious += s;
  t.plain_spurious += spurious(plain, known);
  const std::uint64_t valid_before = t.plain_valid;
  const std::uint64_t gone = dropped(plain, known, recover, t.plain_valid);
  t.recover_dropped += gone;
  t.max_spurious = std::max(t.max_spurious, s);
  if (s > d.stretch) {
    ++t.over_stretch;
    // Damage that left an image which reads as undamaged: -recover writes what a plain run does,
    // as on every undamaged image.
    if (saw_no_damage(plain, d.image) && saw_no_damage(recover, d.image)) ++t.over_unseen;
  }
  t.before_dive += d.before_dive;
  if (kind == kSplice && s > d.before_dive) ++t.over_before_dive;
  if (!ends_properly(recover, d.image)) ++t.early_ends;
  if (!ends_properly(plain, d.image)) ++t.plain_ended_early;
  if (verbose && (kept + 100 < t.after - after_before || s > d.stretch)) {
    // Kept for a closer look: the damaged image that lost lines after the damage, or that has
    // more spurious lines than damaged bytes.
    const char* what = kept + 100 < t.after - after_before ? "/lost_" : "/spurious_";
    skelv::runs::write_image(dir + what + std::to_string(kind) + "_" + std::to_string(t.images) + ".bin", d.image);
  }
  if (verbose) {
    std::fprintf(stderr,
                 "%s kind %d base %zu end %llu: status %d/%d, bytes %llu/%llu of %zu, -recover kept %llu of %llu "
                 "lines after, spurious %llu (bytes before the next dive %llu), plain's right lines left out %llu of %llu\n",
                 g.name.c_str(), kind, d.ref, static_cast<unsigned long long>(d.damage_end), plain.run.status,
                 recover.run.status, static_cast<unsigned long long>(plain.byte_count),
                 static_cast<unsigned long long>(recover.byte_count), d.image.size(),
                 static_cast<unsigned long long>(kept), static_cast<unsigned long long>(t.after - after_before),
                 static_cast<unsigned long long>(s), static_cast<unsigned long long>(d.before_dive),
                 static_cast<unsigned long long>(gone),
                 static_cast<unsigned long long>(t.plain_valid - valid_before));
  }
}

const char* pct(std::uint64_t kept, std::uint64_t of, char* out) {
  if (of == 0) {
    std::snprintf(out, 32, "n/a");
  } else {
    std::snprintf(out, 32, "%.2f %%", 100.0 * static_cast<double>(kept) / static_cast<double>(of));
  }
  return out;
}

void print_table(const std::array<Tally, kDamageKinds>& tally) {
  std::printf(
      "| damage | images | lines after | plain kept | -recover kept | lines 4 KiB after | plain kept | -recover kept | "
      "plain ended early | -recover ended early | plain spurious lines | -recover spurious lines (max per image) | "
      "images with more spurious lines than damaged bytes | of them, read by both runs as undamaged | "
      "plain run's right lines | of them, not in -recover's |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (int kind = 0; kind < kDamageKinds; ++kind) {
    const Tally& t = tally[kind];
    char a[32], b[32], c[32], e[32];
    std::printf("| %s | %llu | %llu | %s | %s | %llu | %s | %s | %llu | %llu | %llu | %llu (%llu) | %llu | %llu "
                "| %llu | %llu |\n",
                kKindNames[kind], static_cast<unsigned long long>(t.images), static_cast<unsigned long long>(t.after),
                pct(t.plain_kept, t.after, a), pct(t.recover_kept, t.after, b),
                static_cast<unsigned long long>(t.loose_after), pct(t.loose_plain_kept, t.loose_after, c),
                pct(t.loose_recover_kept, t.loose_after, e), static_cast<unsigned long long>(t.plain_ended_early),
                static_cast<unsigned long long>(t.early_ends), static_cast<unsigned long long>(t.plain_spurious),
                static_cast<unsigned long long>(t.spurious), static_cast<unsigned long long>(t.max_spurious),
                static_cast<unsigned long long>(t.over_stretch), static_cast<unsigned long long>(t.over_unseen),
                static_cast<unsigned long long>(t.plain_valid), static_cast<unsigned long long>(t.recover_dropped));
  }
}

// The undamaged check: plain and -recover runs of every image of the group before damage.
void check_undamaged(const std::string& skelv, const std::string& dir, const Group& g) {
  unsigned long long changed = 0, lines = 0, lost = 0, added = 0;
  for (std::size_t i = 0; i < g.bases.size(); ++i) {
    const Output recover = convert(skelv, dir, g.bases[i], true);
    bool same = true;
    for (const skelv::runs::FileDiff& d : skelv::runs::compare_runs(g.refs[i].run, recover.run)) {
      lines += d.lines;
      lost += d.lost;
      added += d.added;
      same = same && d.same();
    }
    changed += same ? 0 : 1;
  }
  std::printf(
      "Undamaged images, plain against -recover: %llu of %zu images changed; of %llu lines %llu lost, "
      "%llu changed or added\n\n",
      changed, g.bases.size(), lines, lost, added);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: skelv-damage-bench SKELV WORKDIR IMAGES_PER_KIND SEED [--group NAME] IMAGE... "
                 "[--group NAME IMAGE...]\n");
    return 2;
  }
  const std::string skelv = argv[1];
  const std::string dir = argv[2];
  const int per_kind = std::atoi(argv[3]);
  const unsigned long long seed = std::strtoull(argv[4], nullptr, 10);
  const bool verbose = std::getenv("DAMAGE_BENCH_VERBOSE") != nullptr;  // one line per image on stderr
  // DAMAGE_BENCH_KIND=K converts only the images of kind K (0 to 5), damaged as in a whole run.
  const char* only = std::getenv("DAMAGE_BENCH_KIND");
  const int only_kind = only != nullptr ? std::atoi(only) : -1;
  std::vector<Group> groups;
  for (int i = 5; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--group" && i + 1 < argc) {
      groups.push_back(Group{argv[++i], {}, {}, {}, {}});
      continue;
    }
    if (groups.empty()) groups.push_back(Group{"images", {}, {}, {}, {}});
    Group& g = groups.back();
    g.bases.push_back(skelv::runs::read_image(arg));
    g.refs.push_back(convert(skelv, dir, g.bases.back(), false));
    g.sets.push_back(multiset(g.refs.back()));
    g.seconds.push_back(tdr_seconds(g.refs.back()));
  }
  for (const Group& g : groups) {
    if (g.bases.empty()) continue;
    std::size_t bytes = 0;
    for (const Bytes& b : g.bases) bytes += b.size();
    std::printf("## %s: %zu images, %zu bytes\n\n", g.name.c_str(), g.bases.size(), bytes);
    check_undamaged(skelv, dir, g);
    // Every group meets the same sequence of damage.
    std::mt19937_64 rng(seed);
    std::array<Tally, kDamageKinds> tally{};
    for (int n = 0; n < per_kind; ++n) {
      for (int kind = 0; kind < kDamageKinds; ++kind) {
        if (only_kind >= 0 && kind != only_kind) {
          damage(kind, g, rng);  // the same damage follows as in a whole run
          continue;
        }
        measure(skelv, dir, g, kind, rng, tally[kind], verbose);
      }
    }
    print_table(tally);
    const Tally& splices = tally[kSplice];
    if (splices.images > 0) {
      std::printf("\nSplices, the damaged stretch taken as the spliced-in bytes before the next dive start "
                  "(%llu bytes per image on average): %llu images with more -recover spurious lines than it\n\n",
                  static_cast<unsigned long long>(splices.before_dive / splices.images),
                  static_cast<unsigned long long>(splices.over_before_dive));
    } else {
      std::printf("\n");
    }
  }
  return 0;
}
