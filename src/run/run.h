// The per-run record shared by the command line and the driver: the input's and the outputs'
// names, and what the run came to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace skelv {

inline constexpr std::size_t kTextField = 1024;  // every text field holds 1023 characters and a NUL

struct Run {
  char input_name[kTextField] = {};
  char tdr_name[kTextField] = {};
  char ctd_name[kTextField] = {};
  char gps_name[kTextField] = {};
  char acc_name[kTextField] = {};
  char failure_text[kTextField] = {};  // the latest failure's message
  std::uint32_t tdr_count = 0;
  std::uint32_t ctd_count = 0;
  std::uint32_t gps_count = 0;
  std::uint32_t acc_count = 0;
  std::uint64_t byte_count = 0;  // input offset reached when the run ended
  std::uint8_t regime = 9;       // TDR regime of the latest dive start
  std::int32_t tag_version = -1; // negative: no information record seen
};

// Progress callback: byte offset, then the TDR, CTD, GPS and accelerometer counts.
using ProgressFn = std::function<void(std::uint64_t, std::uint32_t, std::uint32_t,
                                      std::uint32_t, std::uint32_t)>;

}  // namespace skelv
