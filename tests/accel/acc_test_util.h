// Helpers shared by the accelerometer tests.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "support/image_builder.h"

namespace skelv::test {

inline constexpr char kAccHeader[] = "DATE(UTC)\tX\tY\tZ";

// Appends `count` samples equal to the previous one (three zero steps each).
inline ImageBuilder& repeat_samples(ImageBuilder& b, int count) {
  for (int i = 0; i < count; ++i) b.step(0).step(0).step(0);
  return b;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    out.push_back(text.substr(from, nl - from));
    from = nl + 1;
  }
  return out;
}

// The time text `seconds` after 2001/09/09 01:46:40 UTC (1000000000 s), for offsets below 13 min.
inline std::string after_1e9(int seconds, int ms = 0) {
  const int s = 40 + seconds;
  char text[32];
  std::snprintf(text, sizeof text, "2001/09/09 01:%02d:%02d.%03d", 46 + s / 60, s % 60, ms);
  return text;
}

}  // namespace skelv::test
