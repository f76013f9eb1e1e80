// One raw accelerometer sample.
#pragma once
#include <cstdint>

namespace skelv {

struct AccSample {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t z = 0;
};

inline constexpr int kAccBurstCapacity = 100;     // the 100th sample of a burst is fatal
inline constexpr int kAccPendingCapacity = 2500;  // samples of consecutive bursts awaiting output
inline constexpr int kAccBlockLimit = 2000;       // a burst that finds more pending starts a block

}  // namespace skelv
