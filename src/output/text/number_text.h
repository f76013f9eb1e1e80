// Number text for the output lines: the same characters as printf's "%.Nf", "%u" and "%d",
// without its cost. Each writer puts its text at `out` and returns the end of it; `out` needs
// kNumberRoom bytes (a double far out of range falls back to printf and may be long).
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

namespace skelv {

inline constexpr int kNumberRoom = 400;

namespace number_text_detail {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Largest scaled magnitude written here; beyond it printf writes the digits.
inline constexpr double kFastLimit = 1e15;

inline char* put_pair(char* out, unsigned v) {
  std::memcpy(out, kDigitPairs + 2 * v, 2);
  return out + 2;
}

char* put_digits(char* out, std::uint64_t v);

// put_digits with the one- and two-digit numbers, most of the integer parts of a line, inline.
inline char* put_short_digits(char* out, std::uint64_t v) {
  if (v < 10) {
    *out = static_cast<char>('0' + v);
    return out + 1;
  }
  if (v < 100) return put_pair(out, static_cast<unsigned>(v));
  return put_digits(out, v);
}
char* put_fixed_slow(char* out, double value, int decimals);

constexpr std::uint64_t pow10(int d) { return d == 0 ? 1 : 10 * pow10(d - 1); }
template <int D>
inline constexpr std::uint64_t kDivisor = pow10(D);
template <int D>
inline constexpr double kScale = static_cast<double>(pow10(D));

// The D fraction digits of f (below 10^D).
template <int D>
inline char* put_fraction(char* out, unsigned f) {
  if constexpr (D == 1) {
    *out++ = static_cast<char>('0' + f);
  } else if constexpr (D == 2) {
    out = put_pair(out, f);
  } else if constexpr (D == 3) {
    out = put_pair(out, f / 10);
    *out++ = static_cast<char>('0' + f % 10);
  } else if constexpr (D == 4) {
    out = put_pair(out, f / 100);
    out = put_pair(out, f % 100);
  } else {
    for (int i = D - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + f % 10);
      f /= 10;
    }
    out += D;
  }
  return out;
}

}  // namespace number_text_detail

// As "%.<D>f" (D 0..6): correctly rounded, "-" kept for negative values that round to zero,
// "inf"/"nan" as printf writes them.
template <int D>
inline char* put_fixed(char* out, double value) {
  using namespace number_text_detail;
  const double magnitude = std::fabs(value);
  const double scaled = magnitude * kScale<D>;
  if (!(scaled < kFastLimit)) return put_fixed_slow(out, value, D);
  // The product is rounded, but only a product that lands exactly on a half can round to the
  // wrong side: any other fraction differs from one half by at least one unit in the last place,
  // more than the product's error. On a half, the exact error of the product decides, and an
  // exact tie goes to the even neighbour as printf's does.
  std::uint64_t r = static_cast<std::uint64_t>(scaled);  // the whole part: scaled is not negative
  const double fraction = scaled - static_cast<double>(r);
  if (fraction > 0.5) {
    ++r;
  } else if (fraction == 0.5) {
    const double error = std::fma(magnitude, kScale<D>, -scaled);
    if (error > 0 || (error == 0 && (r & 1) != 0)) ++r;
  }
  if (std::signbit(value)) *out++ = '-';
  if constexpr (D == 0) {
    return put_short_digits(out, r);
  } else {
    out = put_short_digits(out, r / kDivisor<D>);
    *out++ = '.';
    return put_fraction<D>(out, static_cast<unsigned>(r % kDivisor<D>));
  }
}

// The same with the number of decimals chosen at run time (0..6).
char* put_fixed(char* out, double value, int decimals);

// A tab, then the value as "%.<D>f".
template <int D>
inline char* put_tab_fixed(char* out, double value) {
  *out++ = '\t';
  return put_fixed<D>(out, value);
}

// As "%u" and "%d".
inline char* put_uint(char* out, std::uint64_t value) { return number_text_detail::put_digits(out, value); }
char* put_int(char* out, std::int64_t value);

// As "%<width>u": right-aligned in `width` characters (longer numbers are not cut).
char* put_uint_width(char* out, std::uint64_t value, int width);

}  // namespace skelv
