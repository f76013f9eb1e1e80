#include "ctd/ctd_line.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "ctd/salinity.h"
#include "input/number_text.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Raw light value that marks a reading below the sensor's range.
constexpr std::uint16_t kLightSentinelRaw = 0xFFF2;
constexpr double kLightSentinelValue = -14.0;

// Room for the longest line: the timestamp and 12 numbers with their tabs.
constexpr std::size_t kCtdLineRoom = kTimeTextSize + 12 * (kNumberRoom + 1) + 2;

constexpr std::size_t kStampLength = 19;  // "YYYY/MM/DD HH:MM:SS"

// Stamps a sample with its whole second; a time less than 5 ms before a whole second counts as
// that second. Times that aren't finite or lie outside the years 0..9999 print as zeros.
void format_ctd_time(TimeText& cache, double t, char* out) {
  const double shifted = t + 0.005;
  std::int64_t whole = std::numeric_limits<std::int64_t>::max();
  // Only a double well inside the 64-bit range is converted; the rest prints as zeros.
  if (std::isfinite(shifted) && std::fabs(shifted) < 1e15) whole = static_cast<std::int64_t>(std::floor(shifted));
  *put_seconds(cache, whole, out) = '\0';
}

// Formats one line into `out` (kCtdLineRoom bytes); returns its length.
std::size_t format_ctd_line(char* out, const char* stamp, const CtdValues& l) {
  std::memcpy(out, stamp, kStampLength);
  char* p = out + kStampLength;
  p = put_tab_fixed<2>(p, l.rel_pressure);
  p = put_tab_fixed<2>(p, l.abs_pressure);
  p = put_tab_fixed<2>(p, l.surface_pressure);
  p = put_tab_fixed<3>(p, l.temperature);
  p = put_tab_fixed<4>(p, l.conductivity);
  p = put_tab_fixed<4>(p, l.salinity);
  for (std::size_t i = 0; i < l.aux_count; ++i) p = put_tab_fixed<4>(p, l.aux[i]);
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

}  // namespace

CtdValues ctd_values(DecoderState& st, const std::uint16_t* ctd_data, const CtdColumns& columns) {
  CtdValues l;
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
  for (std::size_t i = 0; i < kCtdAuxColumns; ++i) l.aux[i] = 0.0;
  for (std::size_t i = 0; i < l.aux_count; ++i) {
    const std::uint16_t raw = ctd_data[3 + i];
    if (static_cast<int>(i) == st.light_sentinel_column && raw == kLightSentinelRaw) {
      l.aux[i] = kLightSentinelValue;
    } else {
      l.aux[i] = (raw - columns.offset[i]) * columns.scale[i];
    }
  }
  return l;
}

void write_ctd_values(DecoderState& st, OutFile& file, const CtdValues& values) {
  if (!out_is_open(file)) return;
  char stamp[kTimeTextSize];
  format_ctd_time(st.ctd_time_text, st.ctd_time, stamp);
  out_commit(file, format_ctd_line(out_reserve(file, kCtdLineRoom), stamp, values));
  ++st.ctd_count;
}

void write_ctd_line(DecoderState& st, OutFile& file, const std::uint16_t* ctd_data, const CtdColumns& columns) {
  if (!out_is_open(file)) return;
  write_ctd_values(st, file, ctd_values(st, ctd_data, columns));
}

}  // namespace skelv
