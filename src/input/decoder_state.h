// All decoding state of one run: one plain record, owned by the run and passed by reference.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "accel/acc_sample.h"
#include "app/run.h"
#include "input/out_file.h"
#include "output/output_list.h"

namespace skelv {

inline constexpr std::size_t kInputBufferSize = 1 << 16;

// The input image and its read buffer. Only the byte source touches it.
struct InputSource {
  int fd = -1;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t pos = 0;   // next unread byte in `buffer`
  std::size_t fill = 0;  // bytes held in `buffer`
  bool halted = false;   // damage met: every read fails until the driver positions the input again
};

// Console notes written by decoders ("@... GPS F2!", "Stop"); standard output unless a test replaces it.
using ConsoleFn = std::function<void(const char*)>;
void console_to_stdout(const char* text);

// The date and time text of the last whole second a file's lines were stamped with.
struct TimeText {
  std::int64_t second = INT64_MIN;
  std::int64_t day = INT64_MIN;  // days since 1970 of `second`
  char text[20] = {};
};

inline constexpr int kMaxNesting = 64;  // deepest nested dispatch; the driver's call is level 1

inline constexpr std::uint64_t kNowhere = UINT64_MAX;  // an offset not reached
inline constexpr std::size_t kListedGaps = 32;         // gaps listed one by one in the run's summary
inline constexpr std::size_t kReasonSize = 64;

// A stretch of the input skipped as damaged: its first and last byte and why.
struct Gap {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  char reason[kReasonSize] = {};
};

// Damage met on the way and, with -recover, the stretches skipped and what to undo at a skip.
struct Recovery {
  bool on = false;                  // -recover
  bool damaged = false;             // damage met since the input was last positioned
  std::uint64_t damage_at = 0;      // offset of the record code that made no sense
  std::uint64_t damage_seen_at = 0; // byte_offset when it was found: decoding goes on past it
  char reason[kReasonSize] = {};
  bool eof_code = false;            // the record loop met the end-of-data code
  std::uint32_t gap_count = 0;
  std::uint64_t undecoded = 0;      // bytes after the damage that stopped a plain run
  std::uint64_t gap_bytes = 0;
  std::array<Gap, kListedGaps> gaps{};
  int info_size = -1;               // block size of the first information record; -1: none yet
  // The latest records whose effects a damaged stretch close behind them undoes.
  std::uint64_t dry_at = kNowhere;
  double haulout_before = 0.0;
  std::uint16_t interval_before = 0;
  std::uint64_t wetdry_at = kNowhere;
  std::uint8_t wetdry_before = 0;
  std::uint64_t burst_at = kNowhere;
  int burst_pending_before = 0;     // pending samples before the burst joined them
  int burst_pending_after = 0;
  double burst_last_end_before = 0.0;
};

struct DecoderState {
  // Byte source.
  InputSource input;
  std::uint64_t byte_offset = 0;  // start offset plus the bytes of every complete read
  bool end_of_input = false;
  ProgressFn progress;
  bool run_ok = true;
  ConsoleFn console = console_to_stdout;
  int nesting_depth = 0;  // dispatch_record calls in progress
  OutputList outputs;     // outputs besides the text files, owned by the run
  Recovery recovery;

  // Deployment parameters, from the information record.
  std::uint16_t tdr_interval = 0;  // hundredths of a second
  std::uint16_t ctd_interval = 0;  // hundredths of a second
  double pressure_scale = 30.0;
  double pressure_offset = 600.0;
  double temperature_offset = 8000.0;
  double temperature_scale = 1000.0;
  double conductivity_offset = 200.0;
  double conductivity_scale = 800.0;
  double lag_time_constant = 1000.0;  // milliseconds
  std::uint8_t photo_channels = 0;
  double acc_scale = 1.0 / 256.0;
  double acc_offset = 16.0;
  bool force_abs = false;

  // Clocks, seconds since 1970-01-01 00:00:00 UTC.
  double time_base = 0.0;
  double ctd_time = 0.0;
  double haulout_time = 0.0;  // 0: no haul-out pending

  // GPS output.
  OutFile gps_file;
  bool gps_started = false;
  std::uint32_t gps_count = 0;

  // TDR output.
  OutFile tdr_file;
  bool tdr_started = false;
  std::uint32_t tdr_count = 0;
  TimeText tdr_time_text;

  // CTD profiles and output.
  OutFile ctd_file;
  bool ctd_started = false;
  bool ctd_open = false;  // a profile is open: read_rel hands back 0xFD
  int ctd_streams = 0;    // profile decoders in progress, nested ones included
  std::uint16_t surface_pressure_raw = 0;
  double lag_coefficient = 0.0;
  double lagged_conductivity = -1.0;  // negative: the filter has no value yet
  int light_sentinel_column = 999;    // auxiliary column where raw 0xFFF2 prints -14.0; 999: none
  std::uint32_t ctd_count = 0;
  std::uint32_t ctd_casts = 0;  // CTD starts decoded
  TimeText ctd_time_text;

  // Accelerometer and wet/dry.
  bool acc_open = false;  // a burst is open: read_rel hands back 0xF9
  int acc_streams = 0;    // burst decoders in progress, nested ones included
  std::uint8_t wetdry = 0;
  OutFile acc_file;
  bool acc_started = false;
  std::array<AccSample, kAccPendingCapacity> acc_pending{};
  std::array<std::uint32_t, kAccPendingCapacity> acc_pending_burst{};  // burst number of each pending sample
  std::uint32_t acc_bursts = 0;                                        // bursts started
  int acc_pending_count = 0;
  double acc_block_start = 0.0;
  double acc_last_end = 0.0;
  std::uint32_t acc_count = 0;
  TimeText acc_time_text;
  bool acc_overflow = false;  // a burst reached 100 samples: the run failed and the process exits with 1
};

}  // namespace skelv
