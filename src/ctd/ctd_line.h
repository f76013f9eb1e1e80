// CTD output lines: pressures, temperature, conductivity, lagged salinity and auxiliary columns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ctd/ctd_columns.h"
#include "input/decoder_state.h"
#include "output/output.h"

namespace skelv {

// Writes one line for the raw sample `ctd_data` (3 + columns.count values) stamped with ctd_time,
// and advances the conductivity lag filter and ctd_count. A file that isn't open writes nothing
// and leaves the lag filter and the count as they are.
void write_ctd_line(DecoderState& st, OutFile& file, const std::uint16_t* ctd_data, const CtdColumns& columns);

// The physical values of the raw sample `ctd_data`; advances the conductivity lag filter.
CtdValues ctd_values(DecoderState& st, const std::uint16_t* ctd_data, const CtdColumns& columns);

// Writes `values` as one line stamped with ctd_time to the second and counts it in ctd_count.
// A file that isn't open writes and counts nothing.
void write_ctd_values(DecoderState& st, OutFile& file, const CtdValues& values);

}  // namespace skelv
