#include "ctd/ctd_line.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "ctd/salinity.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Raw light value that marks a reading below the sensor's range.
constexpr std::uint16_t kLightSentinelRaw = 0xFFF2;
constexpr double kLightSentinelValue = -14.0;

// Room for the longest line: 12 numbers of at most 315 characters ("%.4f" of the largest double),
// the timestamp, the tabs and the newline.
constexpr std::size_t kCtdLineRoom = 4096;

struct CtdLine {
  char stamp[kTimeTextSize];
  double rel_pressure, abs_pressure, surface_pressure, temperature, conductivity, salinity;
  double aux[kCtdAuxColumns];
  std::size_t aux_count;
};

// Stamps a sample with its whole second; a time less than 5 ms before a whole second counts as
// that second. Times that aren't finite or lie outside the years 0..9999 print as zeros.
void format_ctd_time(double t, char* out) {
  const double shifted = t + 0.005;
  std::int64_t whole = std::numeric_limits<std::int64_t>::max();
  // Only a double well inside the 64-bit range is converted; the rest prints as zeros.
  if (std::isfinite(shifted) && std::fabs(shifted) < 1e15) whole = static_cast<std::int64_t>(std::floor(shifted));
  format_seconds(whole, out);
}

// Formats one line into `out` (kCtdLineRoom bytes); returns its length.
std::size_t format_ctd_line(char* out, const CtdLine& l) {
  int n = std::snprintf(out, kCtdLineRoom, "%s\t%.2f\t%.2f\t%.2f\t%.3f\t%.4f\t%.4f", l.stamp, l.rel_pressure,
                        l.abs_pressure, l.surface_pressure, l.temperature, l.conductivity, l.salinity);
  std::size_t used = n > 0 ? static_cast<std::size_t>(n) : 0;
  for (std::size_t i = 0; i < l.aux_count; ++i) {
    n = std::snprintf(out + used, kCtdLineRoom - used, "\t%.4f", l.aux[i]);
    used += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  out[used++] = '\n';
  return used;
}

}  // namespace

void write_ctd_line(DecoderState& st, OutFile& file, const std::uint16_t* ctd_data, const CtdColumns& columns) {
  if (!out_is_open(file)) return;

  CtdLine l;
  format_ctd_time(st.ctd_time, l.stamp);
  l.abs_pressure = (ctd_data[0] - st.pressure_offset) / st.pressure_scale;
  l.surface_pressure = (st.surface_pressure_raw - st.pressure_offset) / st.pressure_scale;
  l.rel_pressure = l.abs_pressure - l.surface_pressure;
  l.temperature = (ctd_data[1] - st.temperature_offset) / st.temperature_scale;
  l.conductivity = (ctd_data[2] - st.conductivity_offset) / st.conductivity_scale;

  // First-order lag of the conductivity cell; a profile's first line starts the filter.
  if (st.lagged_conductivity < 0.0 || st.lag_coefficient == 0.0) {
    st.lagged_conductivity = l.conductivity;
  } else {
    st.lagged_conductivity =
        (1.0 - st.lag_coefficient) * l.conductivity + st.lag_coefficient * st.lagged_conductivity;
  }
  l.salinity = practical_salinity(l.rel_pressure, st.lagged_conductivity, l.temperature);

  l.aux_count = columns.count < kCtdAuxColumns ? columns.count : kCtdAuxColumns;
  for (std::size_t i = 0; i < l.aux_count; ++i) {
    const std::uint16_t raw = ctd_data[3 + i];
    if (static_cast<int>(i) == st.light_sentinel_column && raw == kLightSentinelRaw) {
      l.aux[i] = kLightSentinelValue;
    } else {
      l.aux[i] = (raw - columns.offset[i]) * columns.scale[i];
    }
  }

  out_commit(file, format_ctd_line(out_reserve(file, kCtdLineRoom), l));
  ++st.ctd_count;
}

}  // namespace skelv
