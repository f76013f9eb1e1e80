#include "ctd/salinity.h"

#include <cmath>

namespace skelv {
namespace {

// Conductivity of standard seawater at S = 35, t68 = 15 degrees C and 0 dbar, mS/cm.
constexpr double kReferenceConductivity = 42.914;
// ITS-90 to IPTS-68, the temperature scale of the salinity formulas.
constexpr double kT68PerT90 = 1.00024;

// rt(t): conductivity ratio of standard seawater at t to that at 15 degrees C.
constexpr double c0 = 0.6766097, c1 = 2.00564e-2, c2 = 1.104259e-4, c3 = -6.9698e-7, c4 = 1.0031e-9;
// Rp(R, t, p): pressure correction.
constexpr double d1 = 3.426e-2, d2 = 4.464e-4, d3 = 4.215e-1, d4 = -3.107e-3;
constexpr double e1 = 2.070e-5, e2 = -6.370e-10, e3 = 3.989e-15;
// Salinity polynomial in sqrt(Rt) and its temperature term.
constexpr double a0 = 0.0080, a1 = -0.1692, a2 = 25.3851, a3 = 14.0941, a4 = -7.0261, a5 = 2.7081;
constexpr double b0 = 0.0005, b1 = -0.0056, b2 = -0.0066, b3 = -0.0375, b4 = 0.0636, b5 = -0.0144;
constexpr double k = 0.0162;

}  // namespace

double practical_salinity(double pressure, double conductivity, double temperature) {
  const double p = pressure < 0.0 ? 0.0 : pressure;
  const double t = kT68PerT90 * temperature;
  const double r = conductivity / kReferenceConductivity;

  const double rt = c0 + t * (c1 + t * (c2 + t * (c3 + t * c4)));
  const double rp = 1.0 + p * (e1 + p * (e2 + p * e3)) / (1.0 + t * (d1 + t * d2) + r * (d3 + d4 * t));
  // Written as !(x > 0) so that a NaN is refused as well.
  if (!(rp * rt > 0.0)) return 0.0;
  const double big_rt = r / (rp * rt);
  if (!(big_rt > 0.0)) return 0.0;

  const double x = std::sqrt(big_rt);
  const double dt = t - 15.0;
  const double s = a0 + x * (a1 + x * (a2 + x * (a3 + x * (a4 + x * a5))));
  const double ds = dt / (1.0 + k * dt) * (b0 + x * (b1 + x * (b2 + x * (b3 + x * (b4 + x * b5)))));
  return s + ds;
}

}  // namespace skelv
