#include "input/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace skelv {
namespace {

constexpr double kPow10[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};
constexpr std::uint64_t kUPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// Largest scaled magnitude on the fast path: the product value * 10^decimals is then within
// 2^-13 of the exact one, far inside the margin kept around halfway points.
constexpr double kFastLimit = 1e12;
constexpr double kHalfMargin = 1e-3;

char* put_digits(char* out, std::uint64_t v) {
  char tmp[20];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *out++ = tmp[--n];
  return out;
}

}  // namespace

char* put_uint(char* out, std::uint64_t value) { return put_digits(out, value); }

char* put_int(char* out, std::int64_t value) {
  if (value < 0) {
    *out++ = '-';
    return put_digits(out, 0 - static_cast<std::uint64_t>(value));
  }
  return put_digits(out, static_cast<std::uint64_t>(value));
}

char* put_uint_width(char* out, std::uint64_t value, int width) {
  char tmp[20];
  char* end = put_digits(tmp, value);
  int n = static_cast<int>(end - tmp);
  for (int i = n; i < width; ++i) *out++ = ' ';
  std::memcpy(out, tmp, static_cast<std::size_t>(n));
  return out + n;
}

char* put_fixed(char* out, double value, int decimals) {
  const double magnitude = std::fabs(value);
  const double scaled = magnitude * kPow10[decimals];
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (!(scaled < kFastLimit) || std::fabs(fraction - 0.5) < kHalfMargin) {
    // Out of range, not finite, or too close to a halfway point to round from the product.
    return out + std::snprintf(out, kNumberRoom, "%.*f", decimals, value);
  }
  std::uint64_t r = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  if (std::signbit(value)) *out++ = '-';
  out = put_digits(out, r / kUPow10[decimals]);
  if (decimals > 0) {
    *out++ = '.';
    std::uint64_t f = r % kUPow10[decimals];
    for (int i = decimals - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + f % 10);
      f /= 10;
    }
    out += decimals;
  }
  return out;
}

}  // namespace skelv
