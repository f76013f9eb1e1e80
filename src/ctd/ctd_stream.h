// The samples of a CTD profile after its first one.
#pragma once
#include <cstdint>

#include "ctd/ctd_columns.h"
#include "records/decoder.h"

namespace skelv {

// Decodes samples into `ctd_data` (kCtdValues entries, holding the previous sample) and hands
// each to the outputs, each interval_s seconds after the one before on ctd_time. Returns the code
// that ended the profile: for 0xFD, which also clears ctd_open, the byte after it; otherwise the
// ending code itself (0xFB, 0xFE, 0xF9 in a burst, 0xFF also when the input ended). `cast` is
// the profile's number in the run, handed on with every sample.
std::uint8_t decode_ctd_stream(Decoder& d, const CtdColumns& columns, double interval_s, std::uint16_t* ctd_data,
                               std::uint32_t cast = 0);

}  // namespace skelv
