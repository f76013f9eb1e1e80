// Number text for the output lines: the same characters as printf's "%.Nf", "%u" and "%d",
// without its cost. Each writer puts its text at `out` and returns the end of it; `out` needs
// kNumberRoom bytes (a double far out of range falls back to printf and may be long).
#pragma once
#include <cstdint>

namespace skelv {

inline constexpr int kNumberRoom = 400;

// As "%.<decimals>f" (decimals 0..6): correctly rounded, "-" kept for negative values that round
// to zero, "inf"/"nan" as printf writes them.
char* put_fixed(char* out, double value, int decimals);

// As "%u" and "%d".
char* put_uint(char* out, std::uint64_t value);
char* put_int(char* out, std::int64_t value);

// A tab, then the value as "%.<decimals>f".
inline char* put_tab_fixed(char* out, double value, int decimals) {
  *out++ = '\t';
  return put_fixed(out, value, decimals);
}

// As "%<width>u": right-aligned in `width` characters (longer numbers are not cut).
char* put_uint_width(char* out, std::uint64_t value, int width);

}  // namespace skelv
