#include "ctd/salinity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace skelv {
namespace {

std::string four_decimals(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", v);
  return text;
}

// ITS-90 temperature whose IPTS-68 value is `t68`.
double t90_of(double t68) { return t68 / 1.00024; }

TEST(PracticalSalinity, ReferenceSeawaterAndCheckValue) {
  // Standard seawater: R = 1 at t68 = 15 and 0 dbar is S = 35.
  EXPECT_EQ(four_decimals(practical_salinity(0.0, 42.914, t90_of(15.0))), "35.0000");
  // The scale's published check value: R = 1.888091, t68 = 40, 10000 dbar is S = 40.
  EXPECT_EQ(four_decimals(practical_salinity(10000.0, 1.888091 * 42.914, t90_of(40.0))), "40.0000");
}

TEST(PracticalSalinity, MatchesTheFormulaEvaluatedSeparately) {
  // Expected values: the PSS-78 polynomials with the standard's coefficients evaluated on their
  // own in 50-digit decimal arithmetic (t68 = 1.00024 t90, R = C / 42.914), rounded to 4 places.
  struct Row {
    double pressure, conductivity, temperature;
    const char* salinity;
  };
  const Row rows[] = {
      {0.0, 30.0, 10.0, "26.8592"},
      {0.0, 42.914, 0.0, "54.1466"},
      {100.0, 50.0, 25.0, "32.7033"},
      {1000.0, 35.0, 2.0, "39.7413"},
      {2000.0, 33.0, 1.5, "37.2473"},
      {4000.0, 32.5, 1.2, "35.9920"},
      {500.0, 60.0, 30.0, "35.9708"},
      {10.0, 27.0, -1.5, "33.9456"},  // below freezing point of fresh water
      {5000.0, 20.0, 35.0, "9.4103"},
      {0.0, 5.0, 20.0, "2.9981"},     // brackish: below the scale's range, no extension
      {0.0, 0.001, 0.0, "-0.0014"},   // very fresh and cold: not clamped at 0
  };
  for (const Row& r : rows) {
    EXPECT_EQ(four_decimals(practical_salinity(r.pressure, r.conductivity, r.temperature)), r.salinity)
        << r.pressure << " dbar, " << r.conductivity << " mS/cm, " << r.temperature << " C";
  }
}

TEST(PracticalSalinity, NegativePressureCountsAsSurface) {
  EXPECT_EQ(practical_salinity(-5.0, 40.0, 12.0), practical_salinity(0.0, 40.0, 12.0));
  EXPECT_EQ(practical_salinity(-1e9, 40.0, 12.0), practical_salinity(0.0, 40.0, 12.0));
}

TEST(PracticalSalinity, NonPositiveConductivityGivesZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double c : {0.0, -0.0, -1.0, -42.914, nan}) {
    EXPECT_EQ(practical_salinity(10.0, c, 15.0), 0.0) << c;
  }
}

}  // namespace
}  // namespace skelv
