// One dive sample as read from a dive stream.
#pragma once
#include <array>
#include <cstdint>

namespace skelv {

inline constexpr int kMaxPhotoChannels = 4;  // photo values kept per sample; more are read and dropped

// One dive sample. Channels the stream's flags leave out stay 0.
struct TdrSample {
  std::uint16_t depth_raw = 0;  // 0.1 m
  double depth_m = 0.0;         // depth_raw * 0.1 plus the millimetre correction
  std::uint16_t temp_raw = 0;   // 0.05 K
  std::array<std::uint16_t, kMaxPhotoChannels> photo{};
  std::uint16_t odo_raw = 0;  // 0.12 m
  // Magnetometer X, Y, Z in 0.1 uT, held as the 16-bit two's complement of the signed axis.
  std::array<std::uint16_t, 3> mag{};
  std::int8_t mag_temp = 0;  // whole degrees C
};

}  // namespace skelv
