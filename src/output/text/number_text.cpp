#include "output/text/number_text.h"

#include <cstdio>

namespace skelv {
namespace number_text_detail {

char* put_digits(char* out, std::uint64_t v) {
  int n = 1;
  for (std::uint64_t bound = 10; n < 20 && v >= bound; bound *= 10) ++n;
  char* p = out + n;
  while (v >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10) {
    std::memcpy(p - 2, kDigitPairs + 2 * v, 2);
  } else {
    p[-1] = static_cast<char>('0' + v);
  }
  return out + n;
}

char* put_fixed_slow(char* out, double value, int decimals) {
  return out + std::snprintf(out, kNumberRoom, "%.*f", decimals, value);
}

}  // namespace number_text_detail

char* put_fixed(char* out, double value, int decimals) {
  switch (decimals) {
    case 0: return put_fixed<0>(out, value);
    case 1: return put_fixed<1>(out, value);
    case 2: return put_fixed<2>(out, value);
    case 3: return put_fixed<3>(out, value);
    case 4: return put_fixed<4>(out, value);
    case 5: return put_fixed<5>(out, value);
    default: return put_fixed<6>(out, value);
  }
}

char* put_int(char* out, std::int64_t value) {
  if (value < 0) {
    *out++ = '-';
    return put_uint(out, 0 - static_cast<std::uint64_t>(value));
  }
  return put_uint(out, static_cast<std::uint64_t>(value));
}

char* put_uint_width(char* out, std::uint64_t value, int width) {
  char tmp[20];
  char* end = put_uint(tmp, value);
  int n = static_cast<int>(end - tmp);
  for (int i = n; i < width; ++i) *out++ = ' ';
  std::memcpy(out, tmp, static_cast<std::size_t>(n));
  return out + n;
}

}  // namespace skelv
