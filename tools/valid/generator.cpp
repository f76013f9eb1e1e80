// Writes records and streams in the order the decoder reads them, keeping the decoder's state in
// step, so that every byte is read as what it was written for.
#include "valid/generator.h"

#include <algorithm>

namespace skelv::valid {

unsigned regime_channels(int regime) {
  switch (regime) {
    case 1: return kDepth | kTemp;
    case 2:
    case 5: return kDepth;
    case 3: return kDepth | kPhoto;
    case 6: return kDepth;  // the wet/dry column is the state byte, not a channel of the stream
    case 7: return kDepth | kTemp | kOdo | kMag;
    case 8: return kDepth | kMm;
    default: return 0;
  }
}

int aux_columns(std::uint8_t mask, std::int32_t tag_version) {
  static constexpr int kPresetColumns[8] = {0, 0, 1, 1, 1, 1, 0, 0};
  if (mask < 8) return kPresetColumns[mask];
  // The light bit gives three photo columns before version 151, one PPFD column from it on or
  // when the version is not known yet.
  const int light = tag_version >= 0 && tag_version < 151 ? 3 : 1;
  return (mask & 0x01 ? 1 : 0) + (mask & 0x02 ? 1 : 0) + (mask & 0x04 ? light : 0) + (mask & 0x10 ? 1 : 0);
}

ValidImage Generator::make() {
  top_level();
  if (cut_ || ex_.end == 0) ex_.end = bytes_.size();
  return ValidImage{std::move(bytes_), ex_, cov_};
}

// The driver: bytes before the first start code are skipped; then record after record until
// the end-of-data code reaches this level or the file ends.
void Generator::top_level() {
  leading_bytes();
  Next next;
  bool first = true;
  for (;;) {
    std::uint8_t code = next.code;
    if (cut_) return;
    if (next.fresh) {
      if (finishing()) {
        if (finish_ == Ending::kNoCode) {
          feature(kNoEndCode);
          return;
        }
        code = kEnd;
      } else {
        code = top_code(first);
      }
      first = false;
      u8(code);
    }
    if (code == kEnd) {
      ex_.end = bytes_.size();
      tail();
      return;
    }
    if (code == kAccEnd || code == kCtdEnd) feature(kRecordLevelEnd);
    next = dispatch(code);
  }
}

Next Generator::dispatch(std::uint8_t code) {
  ++m_.depth;
  cov_.deepest = std::max(cov_.deepest, m_.depth);
  Next next;
  switch (code) {
    case kGps: gps(); break;
    case kInfo: info(); break;
    case kWetdry: u8(range() ? static_cast<std::uint8_t>(pick(0, 255)) : wetdry_next_); break;
    case kAccStart: next = burst(); break;
    case kAccEnd: m_.acc_open = false; break;
    case kDiveStart: next = dive_start(); break;
    case kCtdStart: next = ctd_start(); break;
    case kDryStart: next = dry_start(); break;
    default: break;  // 0xFD outside a profile: the next byte is the next code
  }
  --m_.depth;
  return next;
}

Next Generator::inline_record(std::uint8_t code) {
  InlineKind kind = kInlineGps;
  switch (code) {
    case kInfo: kind = kInlineInfo; break;
    case kWetdry: kind = kInlineWetdry; break;
    case kAccStart: kind = kInlineBurst; break;
    case kCtdStart: kind = kInlineCtd; break;
    default: break;
  }
  cov_.nested[streams_.back()][kind] = true;
  return dispatch(code);
}

// One channel value as the codec reads it: codes before the value are skipped, decoded in place
// or end the read. Returns 0 when the value was written, else the code that ended the read.
std::uint8_t Generator::rel(std::uint16_t& value, std::uint16_t target, Read read, bool forced,
                            const std::vector<std::uint8_t>* scheduled) {
  std::size_t next_scheduled = 0;
  Next held;
  for (;;) {
    std::uint8_t x = held.code;
    if (held.fresh) {
      if (scheduled != nullptr && next_scheduled < scheduled->size()) {
        x = (*scheduled)[next_scheduled++];
      } else if (const int extra = extra_code(read); extra >= 0) {
        x = static_cast<std::uint8_t>(extra);
      } else if (read == Read::kEnd) {
        if (finish_ == Ending::kNoCode && finishing() && m_.depth == 1) {
          // The file ends here: the read fails as at the end-of-data code.
          cut_ = true;
          feature(kNoEndCode);
          return kEnd;
        }
        x = end_code();
      } else {
        put_value(value, target, forced);
        return 0;
      }
      u8(x);
    }
    held = Next{};
    switch (x) {
      case kIgnore: feature(kFiller); break;
      case 0xF3:
      case 0xF4:
      case 0xF5: feature(kUnusedCode); break;
      case kAccEnd:
        if (m_.acc_open) return x;
        feature(kSkippedEnd);
        break;
      case kCtdEnd:
        if (m_.ctd_open) return x;
        feature(kSkippedEnd);
        break;
      case kDiveStart:
      case kDryStart:
      case kEnd: return x;
      default: held = inline_record(x); break;  // 0xF2, 0xF6, 0xF7, 0xF8, 0xFC
    }
  }
}

// A value: a step from the channel's value when it fits (now and then an escape anyway), else
// the escape; two bytes in forced-absolute streams, whose high byte must not read as a code.
void Generator::put_value(std::uint16_t& value, std::uint16_t target, bool forced) {
  if (forced) {
    const int high = target >> 8;
    if (high > 0xF0 && high != kAbs) {
      const int new_high = range() && chance(0.5) ? kAbs : high & 0x7F;
      target = static_cast<std::uint16_t>(new_high << 8 | (target & 0xFF));
    }
    u16(target);
  } else {
    const int diff = static_cast<std::int16_t>(static_cast<std::uint16_t>(target - value));
    if (diff < -kStepMax || diff > kStepMax || (range() && chance(0.04))) {
      u8(kAbs);
      u16(target);
      feature(kEscape);
    } else {
      u8(static_cast<std::uint8_t>(diff >= 0 ? diff : kStepMax - diff));
    }
  }
  value = target;
}

void Generator::put_time(const std::uint8_t* t) {
  static constexpr std::uint8_t kDays[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t[0] < 70) feature(kDatePre1970);
  if (t[1] == 0) feature(kMonthZero);
  if (t[1] > 12) feature(kMonthOver12);
  if (t[2] == 0) feature(kDayZero);
  if (t[1] >= 1 && t[1] <= 12 && t[2] > kDays[t[1]]) feature(kDayOverMonth);
  if (t[3] > 23) feature(kHourOver23);
  if (t[5] == 60) feature(kSecond60);
  for (int i = 0; i < 7; ++i) u8(t[i]);
}

Next Generator::dive_start() {
  const int regimes[] = {1, 2, 3, 5, 6, 7, 8};
  const int regime = range() ? regimes[pick(0, 6)] : regime_;
  if (!range()) begin_dive();
  std::uint8_t t[7];
  choose_time(t);
  u8(static_cast<std::uint8_t>(regime));
  put_time(t);
  u16(range() ? static_cast<std::uint16_t>(chance(0.7) ? pick(0, 1000) : pick(0, 65535)) : interval_);
  m_.regime = regime;
  cov_.regimes.set(static_cast<std::size_t>(regime));
  if (m_.force_abs) feature(kForcedAbsolute);
  stream_step_ = interval_ * 0.01;
  return tdr_stream(regime_channels(regime), stream_samples(kDiveStream));
}

Next Generator::dry_start() {
  cov_.dry_regimes.set(static_cast<std::size_t>(m_.regime));
  u16(range() ? static_cast<std::uint16_t>(pick(0, 65535)) : static_cast<std::uint16_t>(interval_ * 10));
  haulout_next_ = ctd_this_dive_ = false;
  after_haulout_ = true;
  // Only regime 1 carries a stream through the haul-out: temperature alone, at the dry interval,
  // which the tag's clock follows.
  stream_step_ = interval_ * 10 * 0.01;
  if (m_.regime == 1) return tdr_stream(kTemp, range() ? stream_samples(kDiveStream) : pick(30, 200));
  return Next{};
}

// A dive stream: the opening sample in absolute values, then one sample after the other. Each
// sample's line is written once the next one is read, and the sample in progress when a code
// ends the stream gives the closing line.
Next Generator::tdr_stream(unsigned channels, int samples) {
  streams_.push_back(kDiveStream);
  std::uint16_t depth = 0, temp = 0, photo[16] = {}, odo = 0, mag[3] = {};
  const int photo_opening = m_.photo_channels;
  if (channels & kDepth) u16(depth = dive_target(0, 0, samples, 0));
  if (channels & kTemp) u16(temp = dive_target(1, 0, samples, 0));
  if (channels & kPhoto) {
    for (int i = 0; i < photo_opening; ++i) u16(photo[i % 16] = dive_target(2, 0, samples, 0));
  }
  if (channels & kOdo) u16(odo = dive_target(3, 0, samples, 0));
  if (channels & kMag) {
    for (std::uint16_t& axis : mag) u16(axis = dive_target(4, 0, samples, 0));
    u8(static_cast<std::uint8_t>(pick(5, 30)));
  }
  if (channels & kMm) u8(static_cast<std::uint8_t>(pick(0, range() ? 255 : 99)));
  std::uint8_t code = 0;
  for (int sample = 1; code == 0; ++sample) {
    const bool last = sample > samples || finishing();
    // The channel read that is to meet the end, counted over the channel values of a sample.
    const int per_sample = ((channels & kDepth) ? 1 : 0) + ((channels & kTemp) ? 1 : 0) +
                           ((channels & kPhoto) ? m_.photo_channels : 0) + ((channels & kOdo) ? 1 : 0) +
                           ((channels & kMag) ? 3 : 0);
    const int end_at = last ? end_channel(per_sample) : -1;
    const std::vector<std::uint8_t> scheduled = dive_schedule(sample, samples);
    int at = 0;
    const auto read = [&](std::uint16_t& v, int channel) {
      const Read how = at == end_at ? Read::kEnd : Read::kValue;
      if (at == end_at && at > 0) feature(kEndMidSample);
      const bool forced = m_.force_abs;  // as it stands when the read begins
      const std::uint8_t got =
          rel(v, dive_target(channel, sample, samples, v), how, forced, at == 0 ? &scheduled : nullptr);
      ++at;
      return got;
    };
    if (channels & kDepth) {
      code = read(depth, 0);
      if (depth > 21000) depth = 0;  // the decoder reads a deeper further sample as 0
      if (code != 0) break;
    }
    if ((channels & kTemp) && (code = read(temp, 1)) != 0) break;
    if (channels & kPhoto) {
      const int n = m_.photo_channels;  // a record before this point counts from this sample on
      for (int i = 0; i < n && code == 0; ++i) code = read(photo[i % 16], 2);
      if (code != 0) break;
    }
    if ((channels & kOdo) && (code = read(odo, 3)) != 0) break;
    if (channels & kMag) {
      for (int i = 0; i < 3 && code == 0; ++i) code = read(mag[i], 4);
      if (code != 0) break;
      u8(static_cast<std::uint8_t>(pick(5, 30)));
    }
    if (channels & kMm) u8(static_cast<std::uint8_t>(pick(0, range() ? 255 : 99)));
    ++ex_.tdr;
    clock_ += stream_step_;
  }
  ++ex_.tdr;  // the closing line
  if (code == kAccEnd) feature(kOpenBurstEndsDive);
  if (code == kCtdEnd) feature(kOpenCastEndsDive);
  streams_.pop_back();
  return Next{false, code};
}

// A CTD profile: mask, time, interval, surface pressure, the first sample in absolute values,
// then samples whose first channel alone can end the profile.
Next Generator::ctd_start() {
  const std::uint8_t mask = ctd_mask();
  const int aux = aux_columns(mask, m_.tag_version);
  cov_.ctd_masks.set(mask);
  if (mask >= 8 && (mask & 0x04)) {
    const std::int32_t v = m_.tag_version;
    feature(v < 0 ? kCtdUnknownVersion : v < 151 ? kCtdBefore151 : v <= 167 ? kCtd151To167 : kCtdAfter167);
  }
  u8(mask);
  std::uint8_t t[7];
  choose_time(t);
  put_time(t);
  u16(range() ? static_cast<std::uint16_t>(pick(0, 65535)) : static_cast<std::uint16_t>(chance(0.5) ? 50 : 100));
  u16(range() ? static_cast<std::uint16_t>(pick(0, 65535)) : static_cast<std::uint16_t>(600 + pick(0, 30)));
  const int samples = stream_samples(kCtdStream);
  std::vector<std::uint16_t> ch(static_cast<std::size_t>(3 + aux));
  for (std::size_t k = 0; k < ch.size(); ++k) u16(ch[k] = ctd_target(static_cast<int>(k), 0, samples, 0));
  ++ex_.ctd;
  m_.ctd_open = true;
  ++m_.ctd_streams;
  streams_.push_back(kCtdStream);
  Next next;
  for (int sample = 1;; ++sample) {
    const bool last = sample > samples || finishing();
    const std::uint8_t code =
        rel(ch[0], ctd_target(0, sample, samples, ch[0]), last ? Read::kEnd : Read::kValue, false);
    m_.ctd_open = true;
    if (code != 0) {
      // The profile's own end is read with the byte after it; a profile nested in another one
      // leaves that one open.
      if (code == kCtdEnd) m_.ctd_open = m_.ctd_streams > 1;
      next = code == kCtdEnd ? Next{} : Next{false, code};
      break;
    }
    for (std::size_t k = 1; k < ch.size(); ++k) {
      rel(ch[k], ctd_target(static_cast<int>(k), sample, samples, ch[k]), Read::kNoEnd, false);
      m_.ctd_open = true;
    }
    ++ex_.ctd;
  }
  --m_.ctd_streams;
  streams_.pop_back();
  return next;
}

// An accelerometer burst: three absolute values, then samples whose x alone can end the burst;
// at most 99 samples.
Next Generator::burst() {
  m_.acc_open = true;
  ++m_.acc_streams;
  streams_.push_back(kBurstStream);
  const int planned = std::min(99, stream_samples(kBurstStream));
  std::uint16_t axis[3];
  for (std::uint16_t& a : axis) u16(a = acc_target(static_cast<std::uint16_t>(range() ? pick(0, 65535) : 4096)));
  int n = 1;
  std::uint8_t code = 0;
  for (;;) {
    const bool last = n >= planned || finishing();
    m_.acc_open = true;
    if ((code = rel(axis[0], acc_target(axis[0]), last ? Read::kEnd : Read::kValue, false)) != 0) break;
    for (int k = 1; k < 3; ++k) {
      m_.acc_open = true;
      rel(axis[k], acc_target(axis[k]), Read::kNoEnd, false);
    }
    ++n;
  }
  ex_.acc += static_cast<std::uint64_t>(n);
  cov_.burst_samples.set(static_cast<std::size_t>(n));
  Next next{false, code};
  if (code == kAccEnd) {
    // The burst's own end is read with the byte after it; a burst nested in another one leaves
    // that one open.
    m_.acc_open = m_.acc_streams > 1;
    next = Next{};
  }
  --m_.acc_streams;
  streams_.pop_back();
  return next;
}

// Fields are taken from a block only where the block holds them.
void Generator::info() {
  const std::vector<std::uint8_t> block = info_block();
  u8(static_cast<std::uint8_t>(block.size()));
  for (std::uint8_t b : block) u8(b);
  cov_.info_sizes.set(block.size());
  if (block.size() >= 2) {
    const std::int32_t version = block[0] << 8 | block[1];
    if (m_.tag_version >= 0) feature(version == m_.tag_version ? kVersionRepeated : kVersionChanged);
    if (version >= 173) feature(kThousandthScale);
    m_.tag_version = version;
  }
  m_.force_abs = m_.tag_version == 132 || m_.tag_version == 133;
  if (block.size() >= 19) m_.photo_channels = block[18];
  cov_.photo_channels.set(static_cast<std::size_t>(m_.photo_channels));
}

void Generator::gps() {
  std::uint8_t t[7];
  if (range()) {
    for (std::uint8_t& b : t) b = static_cast<std::uint8_t>(pick(0, 255));
  } else {
    time_of(clock_, t);
  }
  const int n = range() ? (chance(0.95) ? pick(0, 40) : pick(41, 255)) : pick(4, 10);
  for (int i = 0; i < 6; ++i) u8(t[i]);
  u8(static_cast<std::uint8_t>(n));
  for (int i = 0; i < n; ++i) {
    u8(static_cast<std::uint8_t>(range() ? pick(0, 255) : pick(1, 32)));
    u16(static_cast<std::uint16_t>(pick(0, 65535)));
  }
  cov_.gps_entries.set(static_cast<std::size_t>(n));
  ++ex_.gps;
}

ValidImage make_valid_image(std::uint64_t seed, const ImageOptions& options) { return Generator(seed, options).make(); }

}  // namespace skelv::valid
