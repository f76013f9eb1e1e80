// CTD output lines: pressures, temperature, conductivity, lagged salinity and auxiliary columns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "input/decoder_state.h"

namespace skelv {

inline constexpr std::size_t kCtdAuxColumns = 6;                // most auxiliary columns a mask can ask for
inline constexpr std::size_t kCtdValues = 3 + kCtdAuxColumns;   // pressure, temperature, conductivity, auxiliaries
inline constexpr std::size_t kCtdHeaderTextSize = 80;

// Auxiliary columns of a profile; column i prints (raw - offset[i]) * scale[i].
struct CtdColumns {
  char header_text[kCtdHeaderTextSize] = {};  // column names, each after a tab
  std::uint8_t count = 0;                     // 0..kCtdAuxColumns
  double scale[kCtdAuxColumns] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  double offset[kCtdAuxColumns] = {};
  std::uint8_t marker[kCtdAuxColumns] = {};  // 1: a light (PPFD) column
};

// Writes one line for the raw sample `ctd_data` (3 + columns.count values) stamped with ctd_time,
// and advances the conductivity lag filter and ctd_count. A file that isn't open writes nothing
// and leaves the lag filter and the count as they are.
void write_ctd_line(DecoderState& st, OutFile& file, const std::uint16_t* ctd_data, const CtdColumns& columns);

}  // namespace skelv
