// The tag's 7-byte time and the date-time text that starts every output line.
#pragma once
#include <cstddef>
#include <cstdint>

#include "input/byte_source.h"

namespace skelv {

// The date and time text of the last whole second a file's lines were stamped with.
struct TimeText {
  std::int64_t second = INT64_MIN;
  std::int64_t day = INT64_MIN;  // days since 1970 of `second`
  char text[20] = {};
};

inline constexpr std::size_t kTimeTextSize = 32;  // room for "YYYY/MM/DD HH:MM:SS.mmm"

// Seconds since 1970-01-01 00:00:00 UTC of a proleptic Gregorian date and time; fields out of
// range carry into the next larger field (month 0 is December of the year before).
std::int64_t civil_to_seconds(std::int64_t year, std::int64_t month, std::int64_t day,
                              std::int64_t hour, std::int64_t minute, std::int64_t second);

// Reads 7 bytes (year - 1900, month, day, hour, minute, second, unused) into `out`.
// False when the input ended; `out` is then untouched.
bool read_time(ByteSource& in, double& out);

// Whole seconds as "YYYY/MM/DD HH:MM:SS" into `out` (at least 20 bytes). A year outside 0..9999
// gives "0000/00/00 00:00:00". Returns the text's length (19).
std::size_t format_seconds(std::int64_t seconds, char* out);

// `seconds` as date and time, with ".mmm" when `with_ms` (milliseconds rounded half up, carried
// into the seconds). A time that is not finite or lies outside the years 0..9999 prints as zeros.
char* format_time(double seconds, char* out, bool with_ms);

// The same text with milliseconds, without its NUL, for files whose lines mostly share their
// second: the date and time of the last second written are kept in `cache`. Returns the end.
char* put_time_ms(TimeText& cache, double seconds, char* out);

// format_seconds through `cache`, without the NUL. Returns the end.
char* put_seconds(TimeText& cache, std::int64_t seconds, char* out);

}  // namespace skelv
