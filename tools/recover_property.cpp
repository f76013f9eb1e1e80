// The -recover property: on every image that a plain run decodes to its end without damage,
// -recover writes exactly the plain run's lines in every output and may only add damage notes.
// For each seed it generates a valid image, checks that the plain run decodes it cleanly, runs
// -recover and compares every line of every output file; prints what differs per seed and a
// summary, and exits with 1 when any image was not valid or was changed by -recover.
//
//   skelv-recover-property SKELV WORKDIR [--seeds N | --seeds FIRST-LAST] [--kind range|realistic|mixed]
//                          [--size BYTES] [--end seed|erased|data|code|none] [--dives] [--netcdf] [--report] [--quiet]
//
// SKELV_PROPERTY_SEEDS in the environment, when set, replaces the count of --seeds. "mixed"
// (the default) makes every fourth seed a realistic image and the others whole-range ones.
// --dives, --netcdf and --report pass those switches to both runs and compare their files too.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runs/skelv_run.h"
#include "valid/valid_image.h"

namespace {

using namespace skelv;

struct Options {
  std::string skelv, dir;
  unsigned long long first = 0, last = 149;
  bool mixed = true;
  valid::ImageOptions image;
  std::vector<std::string> switches, suffixes = runs::text_suffixes();
  bool quiet = false;
};

struct Totals {
  unsigned long long images = 0, invalid = 0, changed = 0, lines = 0, lost = 0, added = 0, reordered = 0;
  unsigned long long by_kind[2] = {}, changed_by_kind[2] = {};
};

int usage() {
  std::fprintf(stderr,
               "usage: skelv-recover-property SKELV WORKDIR [--seeds N | --seeds FIRST-LAST] "
               "[--kind range|realistic|mixed] [--size BYTES] [--end seed|erased|data|code|none] [--dives] [--netcdf] "
               "[--report] [--quiet]\n");
  return 2;
}

bool parse(int argc, char** argv, Options& o) {
  if (argc < 3) return false;
  o.skelv = argv[1];
  o.dir = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seeds" && has_value) {
      const std::string v = argv[++i];
      const std::size_t dash = v.find('-');
      o.first = dash == std::string::npos ? 0 : std::strtoull(v.c_str(), nullptr, 10);
      o.last = dash == std::string::npos ? std::strtoull(v.c_str(), nullptr, 10) - 1
                                         : std::strtoull(v.c_str() + dash + 1, nullptr, 10);
    } else if (arg == "--kind" && has_value) {
      const std::string v = argv[++i];
      o.mixed = v == "mixed";
      if (!o.mixed && !valid::parse_kind(v, o.image.kind)) return false;
    } else if (arg == "--size" && has_value) {
      o.image.size = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--end" && has_value) {
      if (!valid::parse_ending(argv[++i], o.image.ending)) return false;
    } else if (arg == "--dives") {
      o.switches.push_back("-dives");
      o.suffixes.push_back("_dives.txt");
    } else if (arg == "--netcdf") {
      o.switches.push_back("-netcdf");
      for (const char* s : {"_ctd.nc", "_dives.nc", "_accel.nc", "_gps.nc"}) o.suffixes.push_back(s);
    } else if (arg == "--report") {
      o.switches.push_back("-report");
      o.suffixes.push_back("_report.json");
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else {
      return false;
    }
  }
  if (const char* n = std::getenv("SKELV_PROPERTY_SEEDS"); n != nullptr && *n != '\0') {
    o.last = o.first + std::strtoull(n, nullptr, 10) - 1;
  }
  return o.last >= o.first;
}

double percent(unsigned long long part, unsigned long long whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) return usage();
  ::mkdir(o.dir.c_str(), 0755);
  const std::string image_path = o.dir + "/valid.bin";
  std::vector<std::string> recover_switches = o.switches;
  recover_switches.push_back("-recover");
  Totals t;
  for (unsigned long long seed = o.first; seed <= o.last; ++seed) {
    valid::ImageOptions io = o.image;
    if (o.mixed) io.kind = seed % 4 == 3 ? valid::ImageKind::kRealistic : valid::ImageKind::kRange;
    const valid::ValidImage image = valid::make_valid_image(seed, io);
    runs::write_image(image_path, image.bytes);
    const runs::SkelvRun plain = runs::run_skelv(o.skelv, image_path, o.switches, o.suffixes);
    ++t.images;
    ++t.by_kind[static_cast<int>(io.kind)];
    const std::string problem = runs::clean_run_problem(image.expected, plain);
    if (!problem.empty()) {
      ++t.invalid;
      std::printf("seed %llu (%s, %zu bytes): NOT VALID: %s\n", seed, valid::kind_name(io.kind), image.bytes.size(),
                  problem.c_str());
      continue;
    }
    const runs::SkelvRun recovered = runs::run_skelv(o.skelv, image_path, recover_switches, o.suffixes);
    std::string report;
    bool changed = false;
    for (const runs::FileDiff& d : runs::compare_runs(plain, recovered)) {
      t.lines += d.lines;
      t.lost += d.lost;
      t.added += d.added;
      if (d.same()) continue;
      changed = true;
      t.reordered += d.reordered ? 1 : 0;
      char text[160];
      std::snprintf(text, sizeof text, " %s: %llu of %llu lines lost, %llu changed or added%s;", d.suffix.c_str(),
                    static_cast<unsigned long long>(d.lost), static_cast<unsigned long long>(d.lines),
                    static_cast<unsigned long long>(d.added), d.reordered ? ", order changed" : "");
      report += text;
    }
    if (!changed) continue;
    ++t.changed;
    ++t.changed_by_kind[static_cast<int>(io.kind)];
    if (!o.quiet) {
      std::printf("seed %llu (%s, %zu bytes, exit %d/%d):%s\n", seed, valid::kind_name(io.kind), image.bytes.size(),
                  plain.status, recovered.status, report.c_str());
    }
  }
  std::printf(
      "-recover property, seeds %llu to %llu: %llu images (%llu range, %llu realistic), %llu not valid; "
      "%llu changed by -recover (%llu range, %llu realistic); of %llu lines %llu lost (%.2f %%), "
      "%llu changed or added, %llu files reordered\n",
      o.first, o.last, t.images, t.by_kind[0], t.by_kind[1], t.invalid, t.changed, t.changed_by_kind[0],
      t.changed_by_kind[1], t.lines, t.lost, percent(t.lost, t.lines), t.added, t.reordered);
  return t.invalid == 0 && t.changed == 0 ? 0 : 1;
}
