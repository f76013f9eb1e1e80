#include "quicklook/line_parse.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "records/time_base.h"

namespace skelv::quicklook {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Fixed-width decimal field at `p`; false unless all `n` characters are digits.
bool digits(const char* p, int n, int& value) {
  value = 0;
  for (int i = 0; i < n; ++i) {
    if (!is_digit(p[i])) return false;
    value = value * 10 + (p[i] - '0');
  }
  return true;
}

bool valid_date_time(int month, int day, int hour, int minute, int second) {
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 &&
         second <= 60;
}

// A number filling the whole field; false for an empty field, trailing text, NaN or infinity.
bool field_number(std::string_view field, double& value) {
  const char* first = field.data();
  const char* last = first + field.size();
  if (first != last && *first == '+') return false;
  // Skelv's own numbers, "-ddd.dddd" with few digits, as the exact quotient of two exact doubles
  // (one rounding: the same value as from_chars); everything else goes to from_chars.
  const char* p = first + (first != last && *first == '-');
  std::uint64_t mantissa = 0;
  int count = 0, decimals = 0;
  const char* q = p;
  for (; q != last && is_digit(*q); ++q, ++count) mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
  if (count > 0 && q != last && *q == '.') {
    const char* d = ++q;
    for (; q != last && is_digit(*q); ++q, ++count) mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
    decimals = static_cast<int>(q - d);
  }
  if (count > 0 && count <= 15 && q == last && (decimals > 0 || q[-1] != '.')) {
    static constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    value = static_cast<double>(mantissa) / kPow10[decimals];
    if (*first == '-') value = -value;
    return true;
  }
  const auto [ptr, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && ptr == last && std::isfinite(value);
}

// Splits a tab-separated line into at most `max` fields; returns how many there are (which may
// exceed `max`: the fields beyond are counted, not stored).
int split_tabs(std::string_view line, std::string_view* fields, int max) {
  int n = 0;
  const char* start = line.data();
  const char* const end = start + line.size();
  for (const char* p = start;; ++p) {
    if (p == end || *p == '\t') {
      if (n < max) fields[n] = std::string_view(start, static_cast<std::size_t>(p - start));
      ++n;
      if (p == end) return n;
      start = p + 1;
    }
  }
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Unsigned decimal number at `s[pos]`, advancing `pos`; false when there is no digit or it
// exceeds 65535 (every GPS field is a byte or a 16-bit value).
bool gps_number(std::string_view s, std::size_t& pos, int& value) {
  const std::size_t begin = pos;
  value = 0;
  while (pos < s.size() && is_digit(s[pos]) && pos - begin < 5) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
  }
  return pos > begin && value <= 65535 && (pos == s.size() || !is_digit(s[pos]));
}

bool expect(std::string_view s, std::size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

constexpr std::string_view kIllegalStream = ": Illegal stream contents (0)";

}  // namespace

std::size_t parse_timestamp(std::string_view text, bool with_ms, double& t) {
  const std::size_t len = with_ms ? 23 : 19;
  if (text.size() < len) return 0;
  const char* p = text.data();
  int year, month, day, hour, minute, second, ms = 0;
  if (!digits(p, 4, year) || p[4] != '/' || !digits(p + 5, 2, month) || p[7] != '/' ||
      !digits(p + 8, 2, day) || p[10] != ' ' || !digits(p + 11, 2, hour) || p[13] != ':' ||
      !digits(p + 14, 2, minute) || p[16] != ':' || !digits(p + 17, 2, second)) {
    return 0;
  }
  if (with_ms && (p[19] != '.' || !digits(p + 20, 3, ms))) return 0;
  if (!valid_date_time(month, day, hour, minute, second)) return 0;
  t = static_cast<double>(civil_to_seconds(year, month, day, hour, minute, second)) + ms * 0.001;
  return len;
}

LineKind classify_line(FileKind kind, std::string_view line) {
  if (line.empty()) return LineKind::kUnparsed;
  const char c = line[0];
  // Sample lines start with the year; checked first, as nearly every line is one.
  if (line.size() > 4 && line[4] == '/' && is_digit(c)) return LineKind::kData;
  if (c == '@') return LineKind::kNote;
  if (starts_with(line, "DATE(UTC)")) return LineKind::kHeader;
  if (kind == FileKind::kTdr) {
    if (starts_with(line, "HAULOUT: ")) return LineKind::kHaulout;
    if (starts_with(line, "***Unknown TDR regime ")) return LineKind::kHeader;
    std::size_t n = 0;
    while (n < line.size() && is_hex(line[n])) ++n;
    if (n > 0 && line.substr(n) == kIllegalStream) return LineKind::kIllegalStream;
  }
  return LineKind::kUnparsed;
}

bool parse_note(std::string_view line, std::uint64_t& offset, std::string_view& text) {
  if (line.size() < 11 || line[0] != '@' || line[9] != ':' || line[10] != ' ') return false;
  std::uint64_t v = 0;
  for (int i = 1; i <= 8; ++i) {
    const char c = line[static_cast<std::size_t>(i)];
    if (!is_hex(c)) return false;
    v = v * 16 + static_cast<std::uint64_t>(is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  offset = v;
  text = line.substr(11);
  return true;
}

TdrColumns tdr_columns_from_header(std::string_view line) {
  TdrColumns cols;
  if (!starts_with(line, "DATE(UTC)")) return cols;  // an unknown regime: depth only
  constexpr int kMax = 16;
  std::string_view f[kMax];
  const int n = split_tabs(line, f, kMax);
  cols.fields = n;
  for (int i = 1; i < n && i < kMax; ++i) {
    if (f[i] == "TEMP(C)") cols.temp = i;
    if (f[i] == "WETDRY" || f[i] == "DRYNESS") cols.wetdry = i;
  }
  return cols;
}

bool parse_tdr_line(std::string_view line, const TdrColumns& columns, TdrLine& out) {
  constexpr int kMax = 16;
  std::string_view f[kMax];
  if (parse_timestamp(line, true, out.t) != 23) return false;
  const int n = split_tabs(line, f, kMax);
  if (n < 2 || f[0].size() != 23 || !field_number(f[1], out.depth_m)) return false;
  out.has_temp = false;
  out.has_wetdry = false;
  if (n != columns.fields) return true;
  if (columns.temp > 0 && columns.temp < kMax) {
    out.has_temp = field_number(f[columns.temp], out.temp_c);
  }
  if (columns.wetdry > 0 && columns.wetdry < kMax) {
    out.has_wetdry = field_number(f[columns.wetdry], out.wetdry);
  }
  return true;
}

bool parse_haulout_line(std::string_view line, double& start, double& end) {
  constexpr std::string_view kPrefix = "HAULOUT: ";
  if (line.size() != kPrefix.size() + 39 || !starts_with(line, kPrefix)) return false;
  std::string_view rest = line.substr(kPrefix.size());
  return parse_timestamp(rest, false, start) == 19 && rest[19] == ' ' &&
         parse_timestamp(rest.substr(20), false, end) == 19;
}

bool parse_ctd_line(std::string_view line, CtdLine& out) {
  constexpr int kMax = 12;
  std::string_view f[kMax];
  if (parse_timestamp(line, false, out.t) != 19) return false;
  const int n = split_tabs(line, f, kMax);
  double absolute, conductivity;
  return n >= 7 && n <= 11 && f[0].size() == 19 && field_number(f[1], out.pressure) &&
         field_number(f[2], absolute) && field_number(f[3], out.surface) &&
         field_number(f[4], out.temp_c) && field_number(f[5], conductivity) &&
         field_number(f[6], out.salinity);
}

bool parse_acc_line(std::string_view line, AccLine& out) {
  std::string_view f[5];
  if (parse_timestamp(line, true, out.t) != 23) return false;
  return split_tabs(line, f, 5) == 4 && f[0].size() == 23 && field_number(f[1], out.g[0]) &&
         field_number(f[2], out.g[1]) && field_number(f[3], out.g[2]);
}

bool parse_gps_line(std::string_view line, GpsLine& out) {
  std::size_t pos = 0;
  int year, month, day, hour, minute, second, n, three, zero;
  if (!gps_number(line, pos, year) || !expect(line, pos, '/') || !gps_number(line, pos, month) ||
      !expect(line, pos, '/') || !gps_number(line, pos, day) || !expect(line, pos, ' ') ||
      !gps_number(line, pos, hour) || !expect(line, pos, ':') || !gps_number(line, pos, minute) ||
      !expect(line, pos, ':') || !gps_number(line, pos, second) || !expect(line, pos, ' ') ||
      !gps_number(line, pos, n) || !expect(line, pos, ' ') || !gps_number(line, pos, three) ||
      !expect(line, pos, ' ') || !gps_number(line, pos, zero) || three != 3 || zero != 0) {
    return false;
  }
  for (int i = 0; i < n; ++i) {
    int value;
    if (!expect(line, pos, ' ') || !gps_number(line, pos, value) || !expect(line, pos, ' ') ||
        line.size() - pos < 4) {
      return false;
    }
    for (int k = 0; k < 4; ++k) {
      if (!is_hex(line[pos++])) return false;
    }
  }
  if (pos != line.size()) return false;
  out.entries = n;
  out.time_valid = year >= 1970 && valid_date_time(month, day, hour, minute, second);
  out.t = out.time_valid
              ? static_cast<double>(civil_to_seconds(year, month, day, hour, minute, second))
              : 0.0;
  return true;
}

}  // namespace skelv::quicklook
