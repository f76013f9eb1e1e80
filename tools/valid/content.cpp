// What the valid-image generator writes: for the whole-range kind any value the format allows,
// picked at random; for the realistic kind a deployment of dives in time order with one
// calibration.
#include <algorithm>
#include <cmath>

#include "valid/generator.h"

namespace skelv::valid {
namespace {

constexpr std::int64_t kDaysTo2015 = 16436;  // 1970-01-01 to 2015-01-01

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int month_days(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

std::uint8_t byte_of(int v) { return static_cast<std::uint8_t>(v); }

}  // namespace

Generator::Generator(std::uint64_t seed, const ImageOptions& options)
    : rng_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull), kind_(options.kind) {
  if (range()) {
    // Sizes spread evenly on a log scale from 256 bytes to 24 KiB.
    target_ =
        options.size != 0 ? options.size : static_cast<std::size_t>(256.0 * std::pow(96.0, pick(0, 1000) / 1000.0));
    const Ending finishes[] = {Ending::kErasedFill, Ending::kErasedFill, Ending::kDataAfter, Ending::kCodeOnly,
                               Ending::kNoCode};
    finish_ = options.ending != Ending::kSeed ? options.ending : finishes[pick(0, 4)];
    max_depth_ = pick(2, 8);
    chain_depth_ = chance(0.15) ? pick(9, 60) : 0;
    return;
  }
  target_ = options.size != 0 ? options.size : static_cast<std::size_t>(pick(8, 64)) * 1024;
  const Ending finishes[] = {Ending::kErasedFill, Ending::kErasedFill, Ending::kErasedFill, Ending::kErasedFill,
                             Ending::kDataAfter,  Ending::kCodeOnly,   Ending::kNoCode};
  finish_ = options.ending != Ending::kSeed ? options.ending : finishes[pick(0, 6)];
  max_depth_ = 3;
  chain_depth_ = 0;
  const int regimes[] = {7, 7, 7, 1, 1, 2, 3, 5, 6, 8};
  regime_ = regimes[pick(0, 9)];
  const int versions[] = {150, 160, 167, 170, 172, 173, 176};
  // Tags of versions 132 and 133 send absolute dive values; they have no magnetometer.
  const bool old_tag = regime_ <= 5 && chance(0.15);
  const int version = old_tag ? pick(132, 133) : versions[pick(0, 6)];
  const std::uint8_t masks[] = {0x0B, 0x13, 0x17, 0x1B, 0x1F, 0x09, 0x01, 0x02, 0x03, 0x04, 0x05};
  mask_ = masks[pick(0, 10)];
  const std::uint16_t intervals[] = {50, 100, 100, 200, 400};
  interval_ = intervals[pick(0, 4)];
  burst_every_ = chance(0.7) ? pick(25, 60) : 0;
  burst_size_ = pick(10, 50);
  const int pressure_scale = version >= 173 ? 30000 : 30;  // counts per dbar, in thousandths from 173 on
  // Version, intervals, pressure, temperature and conductivity calibration, lag time constant.
  for (int f : {version, int{interval_}, 50, pressure_scale, 8000, 1000, 200, 800, 1000}) {
    info_.push_back(byte_of(f >> 8));
    info_.push_back(byte_of(f & 0xFF));
  }
  // Photo channels, two unused bytes, 256 counts per g, an offset of 16 g.
  for (int b : {regime_ == 3 ? pick(1, 4) : 0, 0, 0, 1, 0, 16}) info_.push_back(byte_of(b));
  clock_ = static_cast<double>((kDaysTo2015 + pick(0, 3650)) * 86400 + pick(0, 86399));
}

void Generator::leading_bytes() {
  if (!range() || !chance(0.1)) return;
  feature(kLeadingBytes);
  for (int i = pick(1, 64); i > 0; --i) {
    std::uint8_t b = byte_of(pick(0, 255));
    // The start search takes the first dive, dry, information, CTD or GPS code.
    if (b == kDiveStart || b == kDryStart || b == kInfo || b == kCtdStart || b == kGps) b = kEnd;
    u8(b);
  }
}

std::uint8_t Generator::top_code(bool first) {
  if (!range()) {
    if (first || dives_ >= 6) {
      dives_ = 0;
      return kInfo;
    }
    return kDiveStart;
  }
  static constexpr std::uint8_t kFirst[] = {kDiveStart, kDiveStart, kInfo, kInfo, kCtdStart, kDryStart, kGps};
  static constexpr std::uint8_t kLater[] = {kDiveStart, kDiveStart, kDiveStart, kCtdStart, kAccStart, kGps,
                                            kInfo,      kWetdry,    kDryStart,  kDryStart, kAccEnd,   kCtdEnd};
  return first ? kFirst[pick(0, 6)] : kLater[pick(0, 11)];
}

// A code to write before a channel value, or -1: filler, unused and skipped codes, records
// decoded in place, and codes that a read where they don't end the stream drops.
int Generator::extra_code(Read read) {
  if (!range()) return -1;
  if (chain_depth_ > 0) {
    if (m_.depth < chain_depth_) return chance(0.5) ? kCtdStart : kAccStart;
    chain_depth_ = 0;  // the chain has reached its depth
  }
  if (!chance(0.06)) return -1;
  const int r = pick(0, 99);
  if (r < 25) return kIgnore;
  if (r < 40) return pick(0xF3, 0xF5);
  if (r < 50) return !m_.acc_open ? kAccEnd : !m_.ctd_open ? kCtdEnd : kIgnore;
  if (r < 90) {
    if (m_.depth >= max_depth_ || finishing()) return kIgnore;
    static constexpr std::uint8_t kInline[] = {kGps,    kGps,      kInfo,     kInfo,    kWetdry,
                                               kWetdry, kAccStart, kAccStart, kCtdStart};
    return kInline[pick(0, 8)];
  }
  if (read != Read::kNoEnd) return kIgnore;
  feature(kEatenCode);
  std::vector<std::uint8_t> codes = {kDiveStart, kDryStart, kEnd};
  if (m_.acc_open) codes.push_back(kAccEnd);
  if (m_.ctd_open) codes.push_back(kCtdEnd);
  return codes[static_cast<std::size_t>(pick(0, static_cast<int>(codes.size()) - 1))];
}

// The code that ends the stream being written; one that the codec hands back in this state.
std::uint8_t Generator::end_code() {
  const StreamKind kind = streams_.back();
  if (finishing()) {
    // A profile or burst inside another stream mostly ends on its own, so that the image can end
    // at the outermost stream.
    if (kind == kCtdStream && m_.depth > 1 && chance(0.7)) return kCtdEnd;
    if (kind == kBurstStream && m_.depth > 1 && chance(0.7)) return kAccEnd;
    return kEnd;
  }
  if (kind == kCtdStream && (!range() || chance(0.75))) return kCtdEnd;
  if (kind == kBurstStream && (!range() || chance(0.75))) return kAccEnd;
  if (!range()) return haulout_next_ ? kDryStart : kDiveStart;
  std::vector<std::uint8_t> codes = {kDiveStart, kDiveStart, kDryStart};
  if (m_.acc_open) codes.push_back(kAccEnd);
  if (m_.ctd_open) codes.push_back(kCtdEnd);
  return codes[static_cast<std::size_t>(pick(0, static_cast<int>(codes.size()) - 1))];
}

// Half of the whole-range times are valid dates from 1970 on; the others have any field out of
// range now and then, years from 1900 to 2155 included.
void Generator::choose_time(std::uint8_t* t) {
  if (!range()) {
    time_of(clock_, t);
    return;
  }
  const bool odd = chance(0.5);
  const auto field = [&](int lo, int hi, int odd_lo, double p_odd) {
    return byte_of(odd && chance(p_odd) ? pick(odd_lo, 255) : pick(lo, hi));
  };
  t[0] = odd && chance(0.3) ? byte_of(pick(0, 69)) : byte_of(pick(70, 255));
  t[1] = odd && chance(0.2) ? byte_of(chance(0.5) ? 0 : pick(13, 255)) : byte_of(pick(1, 12));
  t[2] = odd && chance(0.2) ? byte_of(chance(0.3) ? 0 : pick(29, 255)) : byte_of(pick(1, 28));
  t[3] = field(0, 23, 24, 0.15);
  t[4] = field(0, 59, 60, 0.1);
  t[5] = odd && chance(0.2) ? byte_of(chance(0.6) ? 60 : pick(61, 255)) : byte_of(pick(0, 59));
  t[6] = field(0, 99, 100, 0.2);
}

void Generator::time_of(double seconds, std::uint8_t* t) const {
  std::int64_t s = static_cast<std::int64_t>(seconds);
  std::int64_t days = s / 86400;
  int y = 1970;
  while (days >= (leap(y) ? 366 : 365)) days -= leap(y++) ? 366 : 365;
  int m = 1;
  while (days >= month_days(y, m)) days -= month_days(y, m++);
  const int sod = static_cast<int>(s % 86400);
  const int fields[7] = {y - 1900, m, static_cast<int>(days) + 1, sod / 3600, sod / 60 % 60, sod % 60, 0};
  for (int i = 0; i < 7; ++i) t[i] = byte_of(fields[i]);
}

std::vector<std::uint8_t> Generator::info_block() {
  if (!range()) return info_;
  const int size = chance(0.3) ? 24 : pick(0, 255);
  std::vector<std::uint8_t> b(static_cast<std::size_t>(size));
  for (std::uint8_t& x : b) x = byte_of(pick(0, 255));
  static constexpr int kVersions[] = {0,   100, 131, 132, 133, 134, 150, 151,  160,
                                      167, 168, 170, 172, 173, 174, 255, 1000, 65535};
  const int version = m_.tag_version >= 0 && chance(0.5) ? m_.tag_version
                      : chance(0.8)                      ? kVersions[pick(0, 17)]
                                                         : pick(0, 65535);
  const int scales[] = {30, 16, 17, 16384, 16500, 17000, pick(0, 65535)};
  const std::uint16_t fields[] = {static_cast<std::uint16_t>(version), static_cast<std::uint16_t>(pick(0, 1000)),
                                  static_cast<std::uint16_t>(pick(0, 1000)),
                                  static_cast<std::uint16_t>(scales[pick(0, 6)])};
  for (std::size_t i = 0; i < 4 && 2 * i + 1 < b.size(); ++i) {
    b[2 * i] = byte_of(fields[i] >> 8);
    b[2 * i + 1] = byte_of(fields[i] & 0xFF);
  }
  if (b.size() > 18) b[18] = byte_of(chance(0.95) ? pick(0, 6) : pick(7, 20));  // photo channels
  return b;
}

std::uint8_t Generator::ctd_mask() { return range() ? byte_of(pick(0, 255)) : mask_; }

int Generator::stream_samples(StreamKind kind) {
  const bool nested = m_.depth > 1;
  if (!range()) {
    switch (kind) {
      case kDiveStream: return pick(120, 700);
      case kCtdStream: return pick(40, 200);
      default: return std::clamp(burst_size_ + pick(-3, 3), 1, 52);
    }
  }
  switch (kind) {
    case kDiveStream: return chance(0.1) ? pick(100, 400) : pick(0, 60);
    case kCtdStream: return nested ? pick(0, 8) : pick(0, 60);
    default: return nested && chance(0.5) ? pick(1, 10) : pick(1, 99);
  }
}

int Generator::end_channel(int channels) {
  if (!range() || channels <= 1 || chance(0.7)) return 0;
  return pick(0, channels - 1);
}

void Generator::begin_dive() {
  ++dives_;
  clock_ += after_haulout_ ? pick(3600, 6 * 3600) : pick(30, 300);
  after_haulout_ = false;
  max_depth_raw_ = pick(20, 3000);
  haulout_next_ = chance(0.2);
  ctd_this_dive_ = chance(0.3) && max_depth_raw_ > 100;
}

// Records that a tag writes between the samples of a dive: the information record again, the
// wet/dry state at the first and last sample, bursts at regular spacing, a CTD profile on the
// ascent and a GPS snapshot at the surface.
std::vector<std::uint8_t> Generator::dive_schedule(int sample, int samples) {
  std::vector<std::uint8_t> s;
  if (range()) return s;
  if (sample == 2 && dives_ >= 6) {
    dives_ = 0;
    s.push_back(kInfo);
  }
  if (regime_ >= 6 && (sample == 1 || sample == samples - 1)) {
    wetdry_next_ = sample == 1 ? 0 : 1;
    s.push_back(kWetdry);
  }
  if (burst_every_ > 0 && sample % burst_every_ == burst_every_ / 2) s.push_back(kAccStart);
  if (ctd_this_dive_ && sample == samples * 7 / 10) s.push_back(kCtdStart);
  if (sample == samples && chance(0.5)) s.push_back(kGps);
  return s;
}

// Channels: 0 depth, 1 temperature, 2 photo, 3 odometer, 4 magnetometer axis.
std::uint16_t Generator::dive_target(int channel, int sample, int samples, std::uint16_t now) {
  if (range() && sample > 0) return walk(now);
  if (range()) return static_cast<std::uint16_t>(chance(0.5) ? pick(0, 2000) : pick(0, 65535));
  // Down in the first 30 % of the samples, back up in the last 30 %.
  const double f = samples > 0 ? static_cast<double>(sample) / samples : 0.0;
  const double shape = std::min({1.0, f / 0.3, (1.0 - f) / 0.3});
  const double depth = std::max(0.0, max_depth_raw_ * shape + pick(-3, 3));
  switch (channel) {
    case 0: return static_cast<std::uint16_t>(depth);
    case 1: return static_cast<std::uint16_t>(5463 + 20 * (18.0 - 12.0 * shape) + pick(-2, 2));  // 0.05 K
    case 2: return static_cast<std::uint16_t>(3000.0 * std::exp(-depth / 200.0) + pick(0, 20));
    case 3: return static_cast<std::uint16_t>(pick(0, 60));
    default:
      return sample == 0 ? static_cast<std::uint16_t>(pick(-400, 400)) : static_cast<std::uint16_t>(now + pick(-4, 4));
  }
}

// Channels: 0 pressure, 1 temperature, 2 conductivity, then the auxiliary ones. The realistic
// profile rises from the dive's depth to the surface.
std::uint16_t Generator::ctd_target(int channel, int sample, int samples, std::uint16_t now) {
  if (range()) return sample == 0 ? static_cast<std::uint16_t>(pick(0, 65535)) : walk(now);
  const double rise = samples > 0 ? 1.0 - static_cast<double>(sample) / samples : 0.0;
  const double dbar = max_depth_raw_ / 10.0 * rise;
  const double temp = 18.0 - 12.0 * rise;
  switch (channel) {
    case 0: return static_cast<std::uint16_t>(600 + 30 * dbar + pick(0, 2));
    case 1: return static_cast<std::uint16_t>(8000 + 1000 * temp + pick(-5, 5));
    case 2: return static_cast<std::uint16_t>(200 + 800 * (34.0 + temp / 3.0) + pick(-5, 5));
    default:
      return sample == 0 ? static_cast<std::uint16_t>(pick(1000, 30000))
                         : static_cast<std::uint16_t>(now + pick(-40, 40));
  }
}

std::uint16_t Generator::acc_target(std::uint16_t now) {
  if (range()) return walk(now);
  return static_cast<std::uint16_t>(std::clamp(now + pick(-30, 30), 3800, 4400));
}

// A whole-range step: mostly within a step byte (wrapping round past 0 and 65535), now and then
// none, a long jump or any value.
std::uint16_t Generator::walk(std::uint16_t now) {
  const int r = pick(0, 9);
  if (r < 6) return static_cast<std::uint16_t>(now + pick(-kStepMax, kStepMax));
  if (r == 6) return now;
  if (r < 9) return static_cast<std::uint16_t>(pick(0, 65535));
  return static_cast<std::uint16_t>(now + pick(-2000, 2000));
}

void Generator::tail() {
  switch (finish_) {
    case Ending::kErasedFill:
      feature(kTailErased);
      bytes_.insert(bytes_.end(), static_cast<std::size_t>(pick(1, 4096)), kEnd);
      break;
    case Ending::kDataAfter: {
      // Memory that was not erased: some 0xFF perhaps, then anything, at least one other byte.
      feature(kTailData);
      ex_.data_after_end = true;
      bytes_.insert(bytes_.end(), static_cast<std::size_t>(pick(0, 64)), kEnd);
      u8(byte_of(pick(0, 0xFE)));
      for (int i = pick(0, 255); i > 0; --i) u8(byte_of(pick(0, 255)));
      break;
    }
    default: break;
  }
}

void Coverage::merge(const Coverage& o) {
  regimes |= o.regimes;
  dry_regimes |= o.dry_regimes;
  ctd_masks |= o.ctd_masks;
  info_sizes |= o.info_sizes;
  gps_entries |= o.gps_entries;
  photo_channels |= o.photo_channels;
  burst_samples |= o.burst_samples;
  for (int s = 0; s < kStreamKinds; ++s) {
    for (int k = 0; k < kInlineKinds; ++k) nested[s][k] = nested[s][k] || o.nested[s][k];
  }
  deepest = std::max(deepest, o.deepest);
  features |= o.features;
}

const char* kind_name(ImageKind kind) { return kind == ImageKind::kRange ? "range" : "realistic"; }

bool parse_kind(const std::string& text, ImageKind& kind) {
  if (text != "range" && text != "realistic") return false;
  kind = text == "range" ? ImageKind::kRange : ImageKind::kRealistic;
  return true;
}

bool parse_ending(const std::string& text, Ending& ending) {
  static const char* const kNames[] = {"seed", "erased", "data", "code", "none"};
  for (int i = 0; i < 5; ++i) {
    if (text == kNames[i]) ending = static_cast<Ending>(i);
  }
  return std::find(std::begin(kNames), std::end(kNames), text) != std::end(kNames);
}

const char* feature_name(Feature f) {
  static constexpr const char* kNames[kFeatureCount] = {"leading bytes",
                                                        "date before 1970",
                                                        "month 0",
                                                        "month over 12",
                                                        "day 0",
                                                        "day past its month",
                                                        "hour over 23",
                                                        "second 60",
                                                        "version repeated",
                                                        "version changed",
                                                        "forced absolute",
                                                        "pressure scale in thousandths",
                                                        "CTD light before 151",
                                                        "CTD light 151 to 167",
                                                        "CTD light after 167",
                                                        "CTD before any version",
                                                        "filler code",
                                                        "unused code",
                                                        "skipped end code",
                                                        "escaped value",
                                                        "code dropped in a channel",
                                                        "dive ends mid-sample",
                                                        "end code as a record",
                                                        "erased fill after the end",
                                                        "data after the end",
                                                        "no end-of-data code",
                                                        "open burst ends a dive",
                                                        "open profile ends a dive"};
  return kNames[f];
}

}  // namespace skelv::valid
