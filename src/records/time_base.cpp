#include "records/time_base.h"

#include <cmath>
#include <cstring>

#include "input/byte_source.h"

namespace skelv {
namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12, day 1..31).
std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  std::int64_t year;
  int month;
  int day;
};

Civil civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// First and last second of the years 0..9999.
constexpr std::int64_t kFirstSecond = -62167219200;
constexpr std::int64_t kLastSecond = 253402300799;
constexpr char kZeroTime[] = "0000/00/00 00:00:00";

void put2(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

std::int64_t civil_to_seconds(std::int64_t year, std::int64_t month, std::int64_t day,
                              std::int64_t hour, std::int64_t minute, std::int64_t second) {
  const std::int64_t m0 = month - 1;
  const std::int64_t y = year + floor_div(m0, 12);
  const std::int64_t m = m0 - floor_div(m0, 12) * 12 + 1;
  const std::int64_t days = days_from_civil(y, m, 1) + day - 1;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool read_time(ByteSource& in, double& out) {
  std::uint8_t b[7];
  if (!read_bytes(in, "read_time", b, 7)) return false;
  out = static_cast<double>(civil_to_seconds(1900 + b[0], b[1], b[2], b[3], b[4], b[5]));
  return true;
}

std::size_t format_seconds(std::int64_t seconds, char* out) {
  if (seconds < kFirstSecond || seconds > kLastSecond) {
    std::memcpy(out, kZeroTime, sizeof kZeroTime);
    return sizeof kZeroTime - 1;
  }
  const std::int64_t days = floor_div(seconds, 86400);
  const int sod = static_cast<int>(seconds - days * 86400);
  const Civil c = civil_from_days(days);
  const int year = static_cast<int>(c.year);
  out[0] = static_cast<char>('0' + year / 1000);
  out[1] = static_cast<char>('0' + year / 100 % 10);
  out[2] = static_cast<char>('0' + year / 10 % 10);
  out[3] = static_cast<char>('0' + year % 10);
  out[4] = '/';
  put2(out + 5, c.month);
  out[7] = '/';
  put2(out + 8, c.day);
  out[10] = ' ';
  put2(out + 11, sod / 3600);
  out[13] = ':';
  put2(out + 14, sod / 60 % 60);
  out[16] = ':';
  put2(out + 17, sod % 60);
  out[19] = '\0';
  return 19;
}

// Whole seconds and rounded milliseconds of a time; a time out of range gives a second that
// format_seconds prints as zeros.
static void split_time(double seconds, std::int64_t& whole, int& ms) {
  whole = kLastSecond + 1;
  ms = 0;
  if (std::isfinite(seconds) && seconds >= static_cast<double>(kFirstSecond) &&
      seconds < static_cast<double>(kLastSecond + 1)) {
    // Before 1970 the fraction is still counted forward from the whole second below.
    whole = static_cast<std::int64_t>(seconds);
    if (static_cast<double>(whole) > seconds) --whole;
    ms = static_cast<int>(1000.0 * (seconds - static_cast<double>(whole)) + 0.5);
    if (ms >= 1000) {
      ++whole;
      ms = 0;
    }
  }
  if (whole < kFirstSecond || whole > kLastSecond) ms = 0;
}

static void put_ms(char* out, int ms) {
  out[0] = '.';
  out[1] = static_cast<char>('0' + ms / 100);
  out[2] = static_cast<char>('0' + ms / 10 % 10);
  out[3] = static_cast<char>('0' + ms % 10);
}

char* format_time(double seconds, char* out, bool with_ms) {
  std::int64_t whole;
  int ms;
  split_time(seconds, whole, ms);
  const std::size_t n = format_seconds(whole, out);
  if (with_ms) {
    put_ms(out + n, ms);
    out[n + 4] = '\0';
  }
  return out;
}

// Moves "YYYY/MM/DD HH:MM:SS" on by one second within its day; false at midnight, when the
// date changes too (the text is then left for a full rewrite).
static bool next_second(char* t) {
  if (t[18] != '9') return ++t[18], true;
  t[18] = '0';
  if (t[17] != '5') return ++t[17], true;
  t[17] = '0';
  if (t[15] != '9') return ++t[15], true;
  t[15] = '0';
  if (t[14] != '5') return ++t[14], true;
  t[14] = '0';
  if (t[11] == '2' && t[12] == '3') return false;
  if (t[12] != '9') return ++t[12], true;
  t[12] = '0';
  ++t[11];
  return true;
}

char* put_seconds(TimeText& cache, std::int64_t seconds, char* out) {
  if (cache.day != INT64_MIN && seconds == cache.second + 1 && next_second(cache.text)) {
    cache.second = seconds;  // the common case of lines one second apart
  } else if (seconds != cache.second) {
    const std::int64_t day = floor_div(seconds, 86400);
    if (day == cache.day && seconds >= kFirstSecond && seconds <= kLastSecond) {
      // Same day: only the time of day changes.
      const int sod = static_cast<int>(seconds - day * 86400);
      put2(cache.text + 11, sod / 3600);
      put2(cache.text + 14, sod / 60 % 60);
      put2(cache.text + 17, sod % 60);
    } else {
      format_seconds(seconds, cache.text);
      cache.day = (seconds >= kFirstSecond && seconds <= kLastSecond) ? day : INT64_MIN;
    }
    cache.second = seconds;
  }
  std::memcpy(out, cache.text, 19);
  return out + 19;
}

char* put_time_ms(TimeText& cache, double seconds, char* out) {
  std::int64_t whole;
  int ms;
  split_time(seconds, whole, ms);
  put_ms(put_seconds(cache, whole, out), ms);
  return out + 23;
}

}  // namespace skelv
