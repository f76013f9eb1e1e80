// Accelerometer samples and the state of bursts: the pending block of consecutive bursts.
#pragma once
#include <array>
#include <cstdint>

namespace skelv {

// One raw accelerometer sample.
struct AccSample {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t z = 0;
};

inline constexpr int kAccBurstCapacity = 100;     // the 100th sample of a burst is fatal
inline constexpr int kAccPendingCapacity = 2500;  // samples of consecutive bursts awaiting output
inline constexpr int kAccBlockLimit = 2000;       // a burst that finds more pending starts a block

// The latest burst that a code other than its own end code ended (an end-of-data code, another
// record's code): that code's offset, the burst's samples (the last ones pending) and the end of
// the burst before it. `samples` is 0 when the last burst pending ended with its own code.
struct CutBurst {
  std::uint64_t at = 0;
  int samples = 0;
  double end_before = 0.0;
};

struct AccState {
  bool acc_open = false;  // a burst is open: read_rel hands back 0xF9
  int acc_streams = 0;    // burst decoders in progress, nested ones included
  std::array<AccSample, kAccPendingCapacity> acc_pending{};
  std::array<std::uint32_t, kAccPendingCapacity> acc_pending_burst{};  // burst number of each pending sample
  std::uint32_t acc_bursts = 0;                                        // bursts started
  int acc_pending_count = 0;
  std::uint64_t acc_blocks = 0;  // blocks written out when a burst started a new one
  double acc_block_start = 0.0;
  double acc_last_end = 0.0;
  CutBurst acc_cut;
  bool acc_overflow = false;  // a burst reached 100 samples: the run failed and the process exits with 1
};

}  // namespace skelv
