// The state of CTD profiles that lives from one sample to the next and across profiles.
#pragma once
#include <cstdint>

namespace skelv {

struct CtdState {
  bool ctd_open = false;  // a profile is open: read_rel hands back 0xFD
  int ctd_streams = 0;    // profile decoders in progress, nested ones included
  std::uint16_t surface_pressure_raw = 0;
  double lag_coefficient = 0.0;
  double lagged_conductivity = -1.0;  // negative: the filter has no value yet
  int light_sentinel_column = 999;    // auxiliary column where raw 0xFFF2 prints -14.0; 999: none
  std::uint32_t ctd_casts = 0;        // CTD starts decoded
};

}  // namespace skelv
