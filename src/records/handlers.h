// Record handlers. Each is called with its code byte consumed and returns the next code byte.
#pragma once
#include <cstdint>

#include "records/decoder.h"

namespace skelv {

std::uint8_t handle_info(Decoder& d);        // 0xF6, tag information
// Sets the tag version and calibration of `dep` from the information block `block` of `size` bytes.
void apply_info(Deployment& dep, const std::uint8_t* block, std::uint8_t size);
std::uint8_t handle_gps(Decoder& d);         // 0xF2, GPS snapshot
std::uint8_t handle_wetdry(Decoder& d);      // 0xF7, wet/dry state
std::uint8_t handle_acc_end(Decoder& d);     // 0xF9 outside a burst
std::uint8_t handle_acc_start(Decoder& d);   // 0xF8, opens a burst
std::uint8_t handle_dive_start(Decoder& d);  // 0xFB, opens a dive stream
std::uint8_t handle_dry_start(Decoder& d);   // 0xFE, haul-out
std::uint8_t handle_ctd_start(Decoder& d);   // 0xFC, opens a CTD profile
std::uint8_t handle_ctd_end(Decoder& d);     // 0xFD outside a profile

}  // namespace skelv
