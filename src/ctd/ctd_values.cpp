#include "ctd/ctd_values.h"

#include "ctd/salinity.h"

namespace skelv {
namespace {

// Raw light value that marks a reading below the sensor's range.
constexpr std::uint16_t kLightSentinelRaw = 0xFFF2;
constexpr double kLightSentinelValue = -14.0;

}  // namespace

CtdValues ctd_values(const Deployment& dep, CtdState& ctd, const std::uint16_t* ctd_data, const CtdColumns& columns) {
  CtdValues l;
  l.abs_pressure = (ctd_data[0] - dep.pressure_offset) / dep.pressure_scale;
  l.surface_pressure = (ctd.surface_pressure_raw - dep.pressure_offset) / dep.pressure_scale;
  l.rel_pressure = l.abs_pressure - l.surface_pressure;
  l.temperature = (ctd_data[1] - dep.temperature_offset) / dep.temperature_scale;
  l.conductivity = (ctd_data[2] - dep.conductivity_offset) / dep.conductivity_scale;

  // First-order lag of the conductivity cell; a profile's first line starts the filter.
  if (ctd.lagged_conductivity < 0.0 || ctd.lag_coefficient == 0.0) {
    ctd.lagged_conductivity = l.conductivity;
  } else {
    ctd.lagged_conductivity = (1.0 - ctd.lag_coefficient) * l.conductivity + ctd.lag_coefficient * ctd.lagged_conductivity;
  }
  l.salinity = practical_salinity(l.rel_pressure, ctd.lagged_conductivity, l.temperature);

  l.aux_count = columns.count < kCtdAuxColumns ? columns.count : kCtdAuxColumns;
  for (std::size_t i = 0; i < kCtdAuxColumns; ++i) l.aux[i] = 0.0;
  for (std::size_t i = 0; i < l.aux_count; ++i) {
    const std::uint16_t raw = ctd_data[3 + i];
    if (static_cast<int>(i) == ctd.light_sentinel_column && raw == kLightSentinelRaw) {
      l.aux[i] = kLightSentinelValue;
    } else {
      l.aux[i] = (raw - columns.offset[i]) * columns.scale[i];
    }
  }
  return l;
}

}  // namespace skelv
