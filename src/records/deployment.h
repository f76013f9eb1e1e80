// The deployment as the records describe it: the tag version, the sensor calibration of the
// latest information record, the TDR regime of the latest dive start, the clocks and the
// wet/dry state. Written by the record handlers and the dive stream; read by every decoder.
#pragma once
#include <cstdint>

namespace skelv {

// Calibration and sampling set by an information record (defaults before the first one).
struct Calibration {
  std::uint16_t tdr_interval = 0;  // hundredths of a second
  std::uint16_t ctd_interval = 0;  // hundredths of a second
  double pressure_scale = 0.0;     // counts per dbar
  double pressure_offset = 0.0;
  double temperature_offset = 0.0;
  double temperature_scale = 0.0;  // counts per degree C
  double conductivity_offset = 0.0;
  double conductivity_scale = 0.0;  // counts per mS/cm
  double lag_time_constant = 0.0;   // milliseconds
  std::uint8_t photo_channels = 0;
  double acc_scale = 0.0;   // g per count
  double acc_offset = 0.0;  // g
  bool operator==(const Calibration&) const = default;
};

struct Deployment {
  std::int32_t tag_version = -1;  // negative: no information record yet
  std::uint8_t regime = 9;        // TDR regime of the latest dive start; 9 before any

  // Calibration, from the information record.
  std::uint16_t tdr_interval = 0;  // hundredths of a second
  std::uint16_t ctd_interval = 0;  // hundredths of a second
  double pressure_scale = 30.0;
  double pressure_offset = 600.0;
  double temperature_offset = 8000.0;
  double temperature_scale = 1000.0;
  double conductivity_offset = 200.0;
  double conductivity_scale = 800.0;
  double lag_time_constant = 1000.0;  // milliseconds
  std::uint8_t photo_channels = 0;
  double acc_scale = 1.0 / 256.0;
  double acc_offset = 16.0;
  bool force_abs = false;  // dive streams send every value as two bytes (tag versions 132, 133)

  // Clocks, seconds since 1970-01-01 00:00:00 UTC.
  double time_base = 0.0;     // time of the current dive sample
  double ctd_time = 0.0;      // time of the current CTD sample
  double haulout_time = 0.0;  // start of a pending haul-out; 0: none pending

  std::uint8_t wetdry = 0;  // the latest wet/dry state
};

// The calibration in force now.
inline Calibration calibration_of(const Deployment& d) {
  return Calibration{d.tdr_interval,        d.ctd_interval,       d.pressure_scale,    d.pressure_offset,
                     d.temperature_offset,  d.temperature_scale,  d.conductivity_offset,
                     d.conductivity_scale,  d.lag_time_constant,  d.photo_channels,    d.acc_scale,
                     d.acc_offset};
}

}  // namespace skelv
