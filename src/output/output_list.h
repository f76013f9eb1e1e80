// The outputs a run writes besides its text files; held in DecoderState, owned by the run.
#pragma once
#include <array>

namespace skelv {

class Output;

inline constexpr int kMaxOutputs = 4;

struct OutputList {
  std::array<Output*, kMaxOutputs> items{};
  int count = 0;
  // Adds `output`, which must outlive the run. False when the list is full.
  bool add(Output& output) {
    if (count >= kMaxOutputs) return false;
    items[count++] = &output;
    return true;
  }
};

}  // namespace skelv
