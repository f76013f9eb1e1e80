#include "dive/tdr_stream.h"

#include "dive/codec.h"
#include "records/codes.h"

namespace skelv {
namespace {

constexpr std::uint16_t kMaxDepthRaw = 21000;  // a further sample deeper than this reads as 0

bool read_byte(ByteSource& in, const char* label, std::uint8_t& out) { return read_bytes(in, label, &out, 1); }

// A temperature in range on steady evidence changes nothing: only the other cases are judged.
inline bool tdr_temperature_in_range(Decoder& d, std::uint64_t at, std::uint16_t raw) {
  if (raw >= kLeastTdrTemperatureRaw && raw <= kMostTdrTemperatureRaw &&
      d.evidence.ranges.steady_tdr_temperature >= kSteadyTdrTemperatures) {
    return true;
  }
  return tdr_temperature_judged(d, at, raw);
}

// The opening sample: absolute values whose bytes are never taken as codes. False when the
// input ended.
bool read_opening(Decoder& d, TdrSample& r, unsigned flags) {
  ByteSource& in = d.input;
  if (flags & TDR_DEPTH) {
    if (!read_unint(in, r.depth_raw)) return false;
    r.depth_m = r.depth_raw * 0.1;
  }
  if ((flags & TDR_TEMP) && !read_unint(in, r.temp_raw)) return false;
  if (flags & TDR_PHOTO) {
    for (int i = 0; i < d.deployment.photo_channels; ++i) {
      std::uint16_t dropped = 0;
      if (!read_unint(in, i < kMaxPhotoChannels ? r.photo[i] : dropped)) return false;
    }
  }
  if ((flags & TDR_ODO) && !read_unint(in, r.odo_raw)) return false;
  if (flags & TDR_MAG) {
    for (std::uint16_t& axis : r.mag) {
      if (!read_unint(in, axis)) return false;
    }
    std::uint8_t t = 0;
    if (!read_byte(in, "stream_mag", t)) return false;
    r.mag_temp = static_cast<std::int8_t>(t);
  }
  if ((flags & TDR_WETDRY_STREAM) && !read_byte(in, "stream_wetdry", d.deployment.wetdry)) return false;
  if (flags & TDR_MM) {
    std::uint8_t mm = 0;
    if (!read_byte(in, "mm correction", mm)) return false;
    r.depth_m += mm * 0.001;
  }
  return true;
}

// Reads the next sample over `r`, channel by channel. Returns 0 when the whole sample was read;
// otherwise the code that ended the stream (0xFF at the end of the input), with the channels
// read so far new and the rest as before.
std::uint8_t read_further(Decoder& d, TdrSample& r, unsigned flags) {
  ByteSource& in = d.input;
  // The value coding as it stands at each value: an information record inside the sample may change it.
  const bool& force_abs = d.deployment.force_abs;
  std::uint8_t result = 0;
  if (flags & TDR_DEPTH) {
    result = read_rel(d, r.depth_raw, force_abs);
    // Also at the end of the stream: the closing line shows the depth without its correction.
    if (r.depth_raw > kMaxDepthRaw) r.depth_raw = 0;
    r.depth_m = r.depth_raw * 0.1;
    if (result != 0) return result;
  }
  if (flags & TDR_TEMP) {
    if ((result = read_rel(d, r.temp_raw, force_abs)) != 0) return result;
  }
  if (flags & TDR_PHOTO) {
    // An information record met before this point changes the count from this sample on.
    const int n = d.deployment.photo_channels;
    for (int i = 0; i < n; ++i) {
      std::uint16_t dropped = 0;
      if ((result = read_rel(d, i < kMaxPhotoChannels ? r.photo[i] : dropped, force_abs)) != 0) {
        return result;
      }
    }
  }
  // Here, unlike in the opening sample, the wet/dry byte precedes the odometer.
  if ((flags & TDR_WETDRY_STREAM) && !read_byte(in, "stream_wetdry_uncond", d.deployment.wetdry)) return TDRCODE_EOF;
  if (flags & TDR_ODO) {
    if ((result = read_rel(d, r.odo_raw, force_abs)) != 0) return result;
  }
  if (flags & TDR_MAG) {
    for (std::uint16_t& axis : r.mag) {
      if ((result = read_rel(d, axis, force_abs)) != 0) return result;
    }
    std::uint8_t t = 0;
    if (!read_byte(in, "stream_mag", t)) return TDRCODE_EOF;
    r.mag_temp = static_cast<std::int8_t>(t);
  }
  if (flags & TDR_MM) {
    std::uint8_t mm = 0;
    if (!read_byte(in, "mm correction", mm)) return TDRCODE_EOF;
    r.depth_m += mm * 0.001;
  }
  return 0;
}

}  // namespace

void emit_sample(Decoder& d, const TdrSample& r, unsigned flags) {
  const Deployment& dep = d.deployment;
  const std::uint8_t photo = dep.photo_channels < kMaxPhotoChannels ? dep.photo_channels : kMaxPhotoChannels;
  emit(d.outputs, &Output::dive_sample, DiveSample{dep.time_base, r, flags, dep.regime, dep.wetdry, photo});
}

std::uint8_t decode_tdr_stream(Decoder& d, unsigned flags, double interval) {
  if (flags == 0) {
    ++d.events.notes;
    emit(d.outputs, &Output::note, Note{d.input.byte_offset, "Illegal stream contents (0)", NoteScope::kDiveFile});
    return TDRCODE_EOF;
  }
  TdrSample r;
  std::uint64_t r_at = d.input.byte_offset;  // the first byte of the sample in progress
  if (!read_opening(d, r, flags)) return TDRCODE_EOF;
  if ((flags & TDR_TEMP) && !tdr_temperature_in_range(d, r_at, r.temp_raw)) return TDRCODE_EOF;
  // Each sample is written once the next one has been read in full, so the line of the
  // sample in progress when the stream ends is the closing line.
  std::uint32_t samples = 0;
  for (;;) {
    if (d.journal != nullptr && ++samples % kStreamCheckpointSamples == 0) checkpoint(d, d.input.byte_offset, false);
    const TdrSample prev_r = r;
    const std::uint64_t at = d.input.byte_offset;
    const std::uint8_t result = read_further(d, r, flags);
    if (result != 0) {
      if (d.journal != nullptr && d.damage.damaged) {
        // Damage in a record nested in the stream ended it: the rollback decides on the line.
        d.journal->closing.push_back(ClosingSample{r_at, r, flags});
      } else {
        emit_sample(d, r, flags);
      }
      return result;
    }
    if ((flags & TDR_DEPTH) && !depth_steady(d, at, prev_r.depth_raw, r.depth_raw, interval)) return TDRCODE_EOF;
    if ((flags & TDR_MAG) && !mag_temperature_steady(d, at, prev_r.mag_temp, r.mag_temp)) return TDRCODE_EOF;
    if ((flags & TDR_TEMP) && !tdr_temperature_in_range(d, at, r.temp_raw)) return TDRCODE_EOF;
    emit_sample(d, prev_r, flags);
    d.deployment.time_base += interval;
    r_at = at;
  }
}

}  // namespace skelv
