#include "analysis/dive_tsv.h"

#include <cstdio>
#include <cstring>

namespace skelv::analysis {
namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Decimal digits of `v`. Returns the end.
char* put_uint(char* p, std::uint64_t v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// `v` (0 <= v < 10^width) with leading zeros to `width` digits.
char* put_padded(char* p, std::int64_t v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + width;
}

// A whole count of 10^-`decimals` units as a decimal number, sign included.
char* put_fixed(char* p, std::int64_t units, int decimals) {
  const std::uint64_t scale = decimals == 3 ? 1000 : 100;
  const std::uint64_t mag = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  if (units < 0) *p++ = '-';
  p = put_uint(p, mag / scale);
  *p++ = '.';
  return put_padded(p, static_cast<std::int64_t>(mag % scale), decimals);
}

char* put_rate(char* p, double rate) {
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%.3f", rate);
  for (int i = 0; i < n && i < static_cast<int>(sizeof text) - 1; ++i) *p++ = text[i];
  return p;
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
  if (year < 0 || year > 9999) {
    std::memcpy(out, "0000-00-00 00:00:00.000", 24);
    return 23;
  }
  char* p = put_padded(out, year, 4);
  *p++ = '-';
  p = put_padded(p, month, 2);
  *p++ = '-';
  p = put_padded(p, day, 2);
  *p++ = ' ';
  p = put_padded(p, sod / 3600, 2);
  *p++ = ':';
  p = put_padded(p, sod / 60 % 60, 2);
  *p++ = ':';
  p = put_padded(p, sod % 60, 2);
  *p++ = '.';
  p = put_padded(p, ms - secs * 1000, 3);
  *p = '\0';
  return 23;
}

std::size_t format_dive_line(const Dive& dive, char* out) {
  // At most 20 + 3 x 23 + 7 x 21 + 2 x 15 + 17 characters: well within kDiveLineRoom.
  char* p = put_uint(out, dive.number);
  *p++ = '\t';
  p += format_utc_ms(dive.start_ms, p);
  *p++ = '\t';
  p += format_utc_ms(dive.end_ms, p);
  *p++ = '\t';
  p = put_fixed(p, dive.end_ms - dive.start_ms, 3);
  *p++ = '\t';
  p = put_fixed(p, dive.max_depth_mm, 3);
  *p++ = '\t';
  p += format_utc_ms(dive.max_depth_ms, p);
  *p++ = '\t';
  if (dive.has_descent_time) p = put_fixed(p, dive.descent_ms, 3);
  *p++ = '\t';
  if (dive.has_descent) p = put_rate(p, dive.descent_rate);
  *p++ = '\t';
  if (dive.has_bottom) p = put_fixed(p, dive.bottom_ms, 3);
  *p++ = '\t';
  if (dive.has_ascent_time) p = put_fixed(p, dive.ascent_ms, 3);
  *p++ = '\t';
  if (dive.has_ascent) p = put_rate(p, dive.ascent_rate);
  *p++ = '\t';
  if (dive.has_temp) p = put_fixed(p, dive.bottom_temp_centi, 2);
  *p++ = '\t';
  if (dive.has_surface) p = put_fixed(p, dive.surface_ms, 3);
  *p++ = '\t';
  *p++ = dive.start_cut ? '1' : '0';
  *p++ = '\t';
  *p++ = dive.end_cut ? '1' : '0';
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

}  // namespace skelv::analysis
