// The valid-image generator's inside: a writer that follows the decoder's reading of every byte
// it writes (generator.cpp), and the choices of what to write for each image kind (content.cpp).
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "valid/valid_image.h"

namespace skelv::valid {

// Record codes; inside streams 0xF1 is filler, 0xF3..0xF5 unused and 0xFA escapes a value.
inline constexpr std::uint8_t kIgnore = 0xF1, kGps = 0xF2, kInfo = 0xF6, kWetdry = 0xF7, kAccStart = 0xF8,
                              kAccEnd = 0xF9, kAbs = 0xFA, kDiveStart = 0xFB, kCtdStart = 0xFC, kCtdEnd = 0xFD,
                              kDryStart = 0xFE, kEnd = 0xFF;
inline constexpr int kStepMax = 120;  // a step byte covers -120..+120

// Dive stream channels of a regime.
inline constexpr unsigned kDepth = 0x01, kTemp = 0x02, kPhoto = 0x04, kOdo = 0x08, kMag = 0x10, kMm = 0x80;
unsigned regime_channels(int regime);
// Auxiliary CTD columns that a mask asks for under a tag version (negative: unknown).
int aux_columns(std::uint8_t mask, std::int32_t tag_version);

// The decoder's state, as far as it decides how the next bytes are read.
struct Mirror {
  std::int32_t tag_version = -1;
  bool force_abs = false;  // dive values are two bytes each (tag versions 132 and 133)
  int photo_channels = 0;
  int regime = 9;  // of the latest dive start; dry starts go by it
  bool acc_open = false, ctd_open = false;
  int acc_streams = 0, ctd_streams = 0;  // bursts and profiles in progress, one inside the other
  int depth = 0;                         // records being decoded, one inside the other
};

// What a record hands back to whoever dispatched it: the next byte is read fresh, or a code that
// ended a stream inside it is already read.
struct Next {
  bool fresh = true;
  std::uint8_t code = 0;
};

// How a channel value is read: a value; where the stream is to end; a value at a place where a
// stream-ending code is read and dropped (CTD channels after the first, burst axes after x).
enum class Read { kValue, kEnd, kNoEnd };

class Generator {
 public:
  Generator(std::uint64_t seed, const ImageOptions& options);
  ValidImage make();

 private:
  // Writing, in the decoder's order (generator.cpp).
  void top_level();
  Next dispatch(std::uint8_t code);
  Next inline_record(std::uint8_t code);
  Next dive_start();
  Next dry_start();
  Next tdr_stream(unsigned channels, int samples);
  Next ctd_start();
  Next burst();
  void info();
  void gps();
  std::uint8_t rel(std::uint16_t& value, std::uint16_t target, Read read, bool forced,
                   const std::vector<std::uint8_t>* scheduled = nullptr);
  void put_value(std::uint16_t& value, std::uint16_t target, bool forced);
  void put_time(const std::uint8_t* t);
  void u8(std::uint8_t b) { bytes_.push_back(b); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v >> 8));
    u8(static_cast<std::uint8_t>(v));
  }
  void feature(Feature f) { cov_.features |= std::uint64_t{1} << f; }
  bool finishing() const { return bytes_.size() >= target_; }

  // Choices (content.cpp).
  bool range() const { return kind_ == ImageKind::kRange; }
  // Drawn straight from the engine, whose output the standard fixes, so that a seed gives the
  // same image with every standard library.
  int pick(int lo, int hi) { return lo + static_cast<int>(rng_() % static_cast<std::uint64_t>(hi - lo + 1)); }
  bool chance(double p) { return static_cast<double>(rng_() >> 11) * 0x1.0p-53 < p; }
  void leading_bytes();
  std::uint8_t top_code(bool first);
  int extra_code(Read read);
  std::uint8_t end_code();
  void choose_time(std::uint8_t* t);
  void time_of(double seconds, std::uint8_t* t) const;
  std::vector<std::uint8_t> info_block();
  std::uint8_t ctd_mask();
  int stream_samples(StreamKind kind);
  int end_channel(int channels);
  void begin_dive();
  std::vector<std::uint8_t> dive_schedule(int sample, int samples);
  std::uint16_t dive_target(int channel, int sample, int samples, std::uint16_t now);
  std::uint16_t ctd_target(int channel, int sample, int samples, std::uint16_t now);
  std::uint16_t acc_target(std::uint16_t now);
  std::uint16_t walk(std::uint16_t now);
  void tail();

  std::mt19937_64 rng_;
  ImageKind kind_;
  std::size_t target_;
  Ending finish_;
  int max_depth_;    // deepest nesting that random records may reach
  int chain_depth_;  // nesting that one chain of profiles and bursts reaches (0: none)
  std::vector<std::uint8_t> bytes_;
  Mirror m_;
  Expected ex_;
  Coverage cov_;
  std::vector<StreamKind> streams_;  // the streams being written, innermost last
  bool cut_ = false;                 // the image ends here, without an end-of-data code

  // A realistic deployment: one calibration, one regime, a clock that runs forward.
  std::vector<std::uint8_t> info_;  // the information block, repeated
  int regime_ = 7;
  std::uint8_t mask_ = 0x13;
  std::uint16_t interval_ = 100;
  int burst_every_ = 40, burst_size_ = 30;
  double clock_ = 0.0;
  double stream_step_ = 0.0;  // seconds between the samples of the dive or haul-out stream being written
  int dives_ = 0;              // since the information record
  bool haulout_next_ = false;  // the dive in progress ends in a haul-out
  bool after_haulout_ = false;
  bool ctd_this_dive_ = false;
  std::uint8_t wetdry_next_ = 0;
  int max_depth_raw_ = 500;  // of the dive in progress, in 0.1 m
};

}  // namespace skelv::valid
