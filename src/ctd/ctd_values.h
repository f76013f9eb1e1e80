// The physical values of a CTD sample: pressures, temperature, conductivity, lagged salinity
// and the auxiliary columns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ctd/ctd_columns.h"
#include "ctd/ctd_state.h"
#include "records/deployment.h"

namespace skelv {

// Physical values of one CTD sample, as the text line prints them before rounding.
struct CtdValues {
  double rel_pressure, abs_pressure, surface_pressure;  // dbar
  double temperature;                                   // ITS-90, degree C
  double conductivity;                                  // mS/cm
  double salinity;                                      // PSS-78, from the lagged conductivity
  double aux[kCtdAuxColumns];                           // in the units of columns.sensor
  std::size_t aux_count;
};

// The values of the raw sample `ctd_data` (3 + columns.count values) with the calibration of
// `dep`; advances the conductivity lag filter of `ctd`.
CtdValues ctd_values(const Deployment& dep, CtdState& ctd, const std::uint16_t* ctd_data, const CtdColumns& columns);

}  // namespace skelv
