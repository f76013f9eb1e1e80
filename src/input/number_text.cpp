#include "input/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace skelv {
namespace {

constexpr double kPow10[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};

// Largest scaled magnitude written here; beyond it printf writes the digits.
constexpr double kFastLimit = 1e15;

// "00" to "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* put_digits(char* out, std::uint64_t v) {
  char tmp[20];
  char* p = tmp + sizeof tmp;
  while (v >= 100) {
    const std::uint64_t pair = v % 100;
    v /= 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * pair, 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * v, 2);
  } else {
    *--p = static_cast<char>('0' + v);
  }
  while (p < tmp + sizeof tmp) *out++ = *p++;
  return out;
}

// The digits of r / 10^D, a point and the D digits of r % 10^D.
template <int D>
char* put_scaled(char* out, std::uint64_t r) {
  constexpr std::uint64_t kDivisor = [] {
    std::uint64_t d = 1;
    for (int i = 0; i < D; ++i) d *= 10;
    return d;
  }();
  out = put_digits(out, r / kDivisor);
  if constexpr (D > 0) {
    *out++ = '.';
    std::uint64_t f = r % kDivisor;
    for (int i = D - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + f % 10);
      f /= 10;
    }
    out += D;
  }
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
  if (!(scaled < kFastLimit)) return out + std::snprintf(out, kNumberRoom, "%.*f", decimals, value);
  // The product is rounded, but only a product that lands exactly on a half can round to the
  // wrong side: any other fraction differs from one half by at least one unit in the last place,
  // more than the product's error. On a half, the exact error of the product decides, and an
  // exact tie goes to the even neighbour as printf's does.
  std::uint64_t r = static_cast<std::uint64_t>(scaled);  // the whole part: scaled is not negative
  const double fraction = scaled - static_cast<double>(r);
  if (fraction > 0.5) {
    ++r;
  } else if (fraction == 0.5) {
    const double error = std::fma(magnitude, kPow10[decimals], -scaled);
    if (error > 0 || (error == 0 && (r & 1) != 0)) ++r;
  }
  if (std::signbit(value)) *out++ = '-';
  switch (decimals) {
    case 0: return put_scaled<0>(out, r);
    case 1: return put_scaled<1>(out, r);
    case 2: return put_scaled<2>(out, r);
    case 3: return put_scaled<3>(out, r);
    case 4: return put_scaled<4>(out, r);
    case 5: return put_scaled<5>(out, r);
    default: return put_scaled<6>(out, r);
  }
}

}  // namespace skelv
