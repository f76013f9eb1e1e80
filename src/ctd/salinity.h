// Practical salinity (PSS-78) of a CTD sample.
#pragma once

namespace skelv {

// Salinity from pressure (dbar, a negative pressure counts as 0), conductivity (mS/cm) and
// temperature (degrees C, ITS-90). Returns 0.0 when the conductivity ratio is not positive.
double practical_salinity(double pressure, double conductivity, double temperature);

}  // namespace skelv
