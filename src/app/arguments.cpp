#include "app/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace skelv {
namespace {

// A plain number filling the whole argument.
bool parse_number(const char* arg, double& value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(arg, &end);
  if (end == arg || *end != '\0' || errno != 0 || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// A number of `arg` within [lo, hi) (`hi_closed`: [lo, hi]; `lo_open`: above lo) into `out`.
bool parse_in(const char* arg, double lo, double hi, bool lo_open, bool hi_closed, double& out) {
  double v = 0;
  if (!parse_number(arg, v) || v < lo || (lo_open && v == lo) || v > hi || (!hi_closed && v == hi)) return false;
  out = v;
  return true;
}

}  // namespace

bool is_option(const char* arg, const char* name) {
  if (arg[0] == '-' && arg[1] == '-') ++arg;
  return arg[0] == '-' && std::strcmp(arg + 1, name) == 0;
}

bool parse_threshold(const char* arg, double& metres) { return parse_in(arg, 0, 10000, false, false, metres); }

int parse_dive_option(int argc, const char* const* argv, int i, analysis::DiveSettings& s) {
  const char* const arg = argv[i];
  if (arg[0] != '-') return 0;
  const char* const value = i + 1 < argc ? argv[i + 1] : nullptr;
  analysis::ZocSettings& z = s.zoc;
  bool ok = false;
  if (is_option(arg, "dive-threshold")) {
    ok = value != nullptr && parse_threshold(value, s.threshold_m);
  } else if (is_option(arg, "dive-min-duration")) {
    ok = value != nullptr && parse_in(value, 0, 1e6, false, false, s.min_duration_s);
  } else if (is_option(arg, "zoc")) {
    if (value != nullptr && std::strcmp(value, "auto") == 0) {
      z.mode = analysis::ZocMode::kAuto;
      ok = true;
    } else if (value != nullptr && parse_in(value, -10000, 10000, true, false, z.offset_m)) {
      z.mode = analysis::ZocMode::kFixed;
      ok = true;
    }
  } else if (is_option(arg, "zoc-median")) {
    double n = 0;
    ok = value != nullptr && parse_in(value, 1, analysis::kMaxZocMedian, false, true, n) && n == std::floor(n) &&
         static_cast<int>(n) % 2 == 1;
    if (ok) z.median_samples = static_cast<int>(n);
  } else if (is_option(arg, "zoc-window")) {
    ok = value != nullptr && parse_in(value, 0, analysis::kMaxZocWindowHours, true, true, z.window_h);
  } else if (is_option(arg, "zoc-quantile")) {
    ok = value != nullptr && parse_in(value, 0, 100, false, true, z.quantile_pct);
  } else if (is_option(arg, "zoc-band")) {
    ok = value != nullptr && parse_in(value, 0, analysis::kMaxZocBand, true, true, z.band_m);
  } else {
    return 0;
  }
  return ok ? 2 : -1;
}

}  // namespace skelv
