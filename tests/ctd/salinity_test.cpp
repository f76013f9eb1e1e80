// Practical salinity against the scale's check values and the formula evaluated on its own.
#include "ctd/salinity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace skelv {
namespace {

std::string four_decimals(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", v);
  return text;
}

TEST(PracticalSalinity, CheckValuesPointsOfTheFormulaEvaluatedSeparatelyAndGuards) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    double pressure, conductivity, temperature;  // dbar, mS/cm, degrees C (ITS-90)
    const char* salinity;
  };
  const Row rows[] = {
      // The scale's own: R = 1 at t68 = 15 and 0 dbar is 35; R = 1.888091, t68 = 40, 10000 dbar is 40.
      {0.0, 42.914, 15.0 / 1.00024, "35.0000"},
      {10000.0, 1.888091 * 42.914, 40.0 / 1.00024, "40.0000"},
      // The PSS-78 polynomials with the standard's coefficients evaluated on their own in 50-digit
      // decimal arithmetic (t68 = 1.00024 t90, R = C / 42.914), rounded to 4 places.
      {0.0, 30.0, 10.0, "26.8592"}, {0.0, 42.914, 0.0, "54.1466"}, {100.0, 50.0, 25.0, "32.7033"},
      {1000.0, 35.0, 2.0, "39.7413"}, {2000.0, 33.0, 1.5, "37.2473"}, {4000.0, 32.5, 1.2, "35.9920"},
      {500.0, 60.0, 30.0, "35.9708"}, {10.0, 27.0, -1.5, "33.9456"}, {5000.0, 20.0, 35.0, "9.4103"},
      {0.0, 5.0, 20.0, "2.9981"},    // brackish: below the scale's range, no extension
      {0.0, 0.001, 0.0, "-0.0014"},  // very fresh and cold: not clamped at 0
      {-5.0, 40.0, 12.0, "35.0012"},  // as at 0 dbar (at -5 dbar the formula gives 35.0034)
      // No positive conductivity ratio.
      {10.0, 0.0, 15.0, "0.0000"}, {10.0, -1.0, 15.0, "0.0000"}, {10.0, nan, 15.0, "0.0000"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(four_decimals(practical_salinity(r.pressure, r.conductivity, r.temperature)), r.salinity)
        << r.pressure << " dbar, " << r.conductivity << " mS/cm, " << r.temperature << " C";
  }
}

}  // namespace
}  // namespace skelv
