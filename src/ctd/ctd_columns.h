// The auxiliary columns of a CTD profile, chosen by its channel mask.
#pragma once
#include <cstddef>
#include <cstdint>

namespace skelv {

inline constexpr std::size_t kCtdAuxColumns = 6;                // most auxiliary columns a mask can ask for
inline constexpr std::size_t kCtdValues = 3 + kCtdAuxColumns;   // pressure, temperature, conductivity, auxiliaries
inline constexpr std::size_t kCtdHeaderTextSize = 80;

// What an auxiliary column measures; the same sensor keeps its kind whatever mask named it.
enum class CtdSensor : std::uint8_t {
  kFluorescence,         // Fluoro(V) or FLUORO(V)
  kOxygen,               // DOxy(umol/l)
  kBPhase,               // BPhase(deg)
  kPpfd,                 // PPFD(umol/m2/s)
  kPhoto1,               // the three raw light channels of older tags
  kPhoto2,
  kPhoto3,
  kInternalTemperature,  // INTERNAL_TEMP(C)
};
inline constexpr std::size_t kCtdSensorKinds = 8;

// Auxiliary columns of a profile; column i prints (raw - offset[i]) * scale[i].
struct CtdColumns {
  char header_text[kCtdHeaderTextSize] = {};  // column names, each after a tab
  std::uint8_t count = 0;                     // 0..kCtdAuxColumns
  double scale[kCtdAuxColumns] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  double offset[kCtdAuxColumns] = {};
  CtdSensor sensor[kCtdAuxColumns] = {};
};

}  // namespace skelv
