// The fast number text against printf itself: edge values, then values as the line writers make
// them. The default run checks a sample; the build labelled `exhaustive` checks millions per format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "output/text/number_text.h"

namespace skelv {
namespace {

#if defined(SKELV_EXHAUSTIVE)
constexpr long kValuesPerFormat = 6'000'000;
#else
constexpr long kValuesPerFormat = 20'000;
#endif

TEST(NumberText, FixedMatchesPrintf) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const double edges[] = {0.0, -0.0, 0.5, -0.5, 0.125, 0.375, 1.005, 2.675, -2.675, 0.0005, 0.00049999,
                          -0.001, -0.0049, 1e-300, 999999.99995, 1e11, 1e12, 1e13, 1e300, -1e300, inf, -inf,
                          std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::denorm_min(), 65535 * 0.1 + 255 * 0.001, -273.15,
                          -14.0, 4095.9999, 0.05 * 5463 - 273.15};
  constexpr long kEdges = sizeof edges / sizeof edges[0];
  std::mt19937_64 rng(20261206);
  std::uniform_int_distribution<int> raw(0, 65535), byte(0, 255);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int d = 0; d <= 6; ++d) {
    long mismatches = 0;
    for (long i = 0; i < kEdges + kValuesPerFormat; ++i) {
      double v = 0;
      switch (i < kEdges ? -1 : i % 8) {
        case -1: v = edges[i]; break;
        case 0: v = raw(rng) * 0.1 + byte(rng) * 0.001; break;             // depth, mm correction
        case 1: v = raw(rng) * 0.05 - 273.15; break;                       // dive temperature
        case 2: v = static_cast<std::int16_t>(raw(rng)) * 0.1; break;     // magnetometer
        case 3: v = (raw(rng) - 600.0) / 30.0 - (raw(rng) - 600.0) / 30.0; break;  // pressures
        case 4: v = raw(rng) * (1.0 / (1 + raw(rng))) - byte(rng); break;  // accelerometer
        case 5: v = (raw(rng) * 2 + 1) / std::pow(10.0, d) / 2.0; break;  // halfway in decimal
        case 6: v = (raw(rng) - 8000.0) / 1000.0 * (unit(rng) < 0.5 ? -1 : 1); break;
        default: v = std::ldexp(unit(rng) - 0.5, byte(rng) / 4 - 20); break;
      }
      char got[kNumberRoom], want[kNumberRoom];
      std::snprintf(want, sizeof want, "%.*f", d, v);
      if (std::string(got, put_fixed(got, v, d)) != want && ++mismatches < 10) {
        ADD_FAILURE() << "%." << d << "f of " << std::hexfloat << v << ": " << std::string(got, put_fixed(got, v, d))
                      << " vs " << want;
      }
    }
    EXPECT_EQ(mismatches, 0) << "%." << d << "f";
  }
}

TEST(NumberText, IntegersMatchPrintf) {
  for (std::uint64_t v : {0ul, 7ul, 10ul, 99999ul, 100000ul, 4294967295ul, 18446744073709551615ul}) {
    char buf[kNumberRoom], want[64];
    std::snprintf(want, sizeof want, "%lu|%5lu|%ld", v, v, -static_cast<long>(v >> 1));
    char* p = put_uint(buf, v);
    *p++ = '|';
    p = put_uint_width(p, v, 5);
    *p++ = '|';
    p = put_int(p, -static_cast<long>(v >> 1));
    EXPECT_EQ(std::string(buf, p), want);
  }
}

}  // namespace
}  // namespace skelv
