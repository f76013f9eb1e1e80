#include "analysis/dive_tsv.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace skelv::analysis {
namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A whole count of 10^-`decimals` units as a decimal number, sign included.
int put_fixed(char* out, std::size_t room, std::int64_t units, int decimals) {
  const std::int64_t scale = decimals == 3 ? 1000 : 100;
  const std::uint64_t mag = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  return std::snprintf(out, room, "%s%" PRIu64 ".%0*" PRIu64, units < 0 ? "-" : "", mag / scale, decimals,
                       mag % scale);
}

}  // namespace

std::size_t format_utc_ms(std::int64_t ms, char* out) {
  const std::int64_t secs = floor_div(ms, 1000);
  const std::int64_t days = floor_div(secs, 86400);
  const std::int64_t sod = secs - days * 86400;
  // Civil date of a day count (proleptic Gregorian, eras of 400 years).
  const std::int64_t z = days + 719468;
  const std::int64_t era = floor_div(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  const int n = std::snprintf(out, 24, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64
                              ":%02" PRId64 ".%03" PRId64,
                              year, month, day, sod / 3600, sod / 60 % 60, sod % 60, ms - secs * 1000);
  return n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), 23);
}

std::size_t format_dive_line(const Dive& dive, char* out) {
  std::size_t n = 0;
  auto room = [&] { return kDiveLineRoom - n; };
  auto add = [&](int written) {
    if (written > 0) n = std::min(n + static_cast<std::size_t>(written), kDiveLineRoom - 1);
  };
  auto tab = [&] { add(std::snprintf(out + n, room(), "\t")); };
  add(std::snprintf(out + n, room(), "%" PRIu64, dive.number));
  tab();
  n += format_utc_ms(dive.start_ms, out + n);
  tab();
  n += format_utc_ms(dive.end_ms, out + n);
  tab();
  add(put_fixed(out + n, room(), dive.end_ms - dive.start_ms, 3));
  tab();
  add(put_fixed(out + n, room(), dive.max_depth_mm, 3));
  tab();
  n += format_utc_ms(dive.max_depth_ms, out + n);
  tab();
  if (dive.has_bottom) add(put_fixed(out + n, room(), dive.bottom_ms, 3));
  tab();
  if (dive.has_descent) add(std::snprintf(out + n, room(), "%.3f", dive.descent_rate));
  tab();
  if (dive.has_ascent) add(std::snprintf(out + n, room(), "%.3f", dive.ascent_rate));
  tab();
  if (dive.has_temp) add(put_fixed(out + n, room(), dive.bottom_temp_centi, 2));
  tab();
  if (dive.has_surface) add(put_fixed(out + n, room(), dive.surface_ms, 3));
  add(std::snprintf(out + n, room(), "\t%d\n", dive.cut ? 1 : 0));
  return n;
}

}  // namespace skelv::analysis

namespace skelv::analysis {
namespace {

bool tsv_create(DiveTsvFile& out) {
  if (out.file != nullptr) return true;
  if (out.failed || out.path == nullptr) return false;
  out.file = std::fopen(out.path, "w");
  if (out.file == nullptr || std::fputs(kDiveHeader, out.file) < 0) out.failed = true;
  return !out.failed;
}

}  // namespace

void tsv_sink(void* context, const Dive& dive) {
  auto& out = *static_cast<DiveTsvFile*>(context);
  if (!tsv_create(out)) return;
  char line[kDiveLineRoom];
  const std::size_t n = format_dive_line(dive, line);
  if (std::fwrite(line, 1, n, out.file) != n) out.failed = true;
  ++out.rows;
}

bool tsv_close(DiveTsvFile& out) {
  tsv_create(out);
  if (out.file != nullptr && std::fclose(out.file) != 0) out.failed = true;
  out.file = nullptr;
  return !out.failed;
}

}  // namespace skelv::analysis
