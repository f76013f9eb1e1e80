// Record codes of the tag image and the channel flags of dive streams.
// Shared by the decoder and the test image encoder.
#pragma once
#include <cstdint>

namespace skelv {

inline constexpr std::uint8_t TDRCODE_IGNORE = 0xF1;        // filler inside a stream
inline constexpr std::uint8_t TDRCODE_GPS = 0xF2;           // GPS snapshot
inline constexpr std::uint8_t TDRCODE_INFO = 0xF6;          // tag information block
inline constexpr std::uint8_t TDRCODE_WETDRY = 0xF7;        // wet/dry state byte
inline constexpr std::uint8_t TDRCODE_ACC = 0xF8;           // accelerometer burst start
inline constexpr std::uint8_t TDRCODE_END_ACC = 0xF9;       // accelerometer burst end
inline constexpr std::uint8_t TDRCODE_ABS = 0xFA;           // absolute-value escape inside a stream
inline constexpr std::uint8_t TDRCODE_START_NORMAL = 0xFB;  // dive start
inline constexpr std::uint8_t TDRCODE_START_CTD = 0xFC;     // CTD profile start
inline constexpr std::uint8_t TDRCODE_END_CTD = 0xFD;       // CTD profile end
inline constexpr std::uint8_t TDRCODE_START_DRY = 0xFE;     // dry (haul-out) start
inline constexpr std::uint8_t TDRCODE_EOF = 0xFF;           // end of data

// Largest first byte of a relative step; 0x79..0xF0 step down by byte - 0x78.
inline constexpr std::uint8_t STEP_UP_MAX = 0x78;
inline constexpr std::uint8_t STEP_DOWN_MAX = 0xF0;

// Channels of a dive stream.
inline constexpr unsigned TDR_DEPTH = 0x01;          // depth, 0.1 m
inline constexpr unsigned TDR_TEMP = 0x02;           // temperature, 0.05 K
inline constexpr unsigned TDR_PHOTO = 0x04;          // photo_channels light values
inline constexpr unsigned TDR_ODO = 0x08;            // odometer, 0.12 m
inline constexpr unsigned TDR_MAG = 0x10;            // magnetometer X, Y, Z and its temperature byte
inline constexpr unsigned TDR_WETDRY = 0x20;         // wet/dry column from wet/dry records
inline constexpr unsigned TDR_WETDRY_STREAM = 0x40;  // wet/dry byte carried in the stream
inline constexpr unsigned TDR_MM = 0x80;             // millimetre depth correction byte

}  // namespace skelv
