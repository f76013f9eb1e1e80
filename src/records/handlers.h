// Record handlers. Each is called with its code byte consumed and returns the next code byte.
#pragma once
#include <cstdint>

#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

std::uint8_t handle_info(DecoderState& st, Run& run);        // 0xF6, tag information
std::uint8_t handle_gps(DecoderState& st, Run& run);         // 0xF2, GPS snapshot
std::uint8_t handle_wetdry(DecoderState& st, Run& run);      // 0xF7, wet/dry state
std::uint8_t handle_acc_end(DecoderState& st, Run& run);     // 0xF9 outside a burst
std::uint8_t handle_acc_start(DecoderState& st, Run& run);   // 0xF8, opens a burst
std::uint8_t handle_dive_start(DecoderState& st, Run& run);  // 0xFB, opens a dive stream
std::uint8_t handle_dry_start(DecoderState& st, Run& run);   // 0xFE, haul-out
std::uint8_t handle_ctd_start(DecoderState& st, Run& run);   // 0xFC, opens a CTD profile
std::uint8_t handle_ctd_end(DecoderState& st, Run& run);     // 0xFD outside a profile

}  // namespace skelv
