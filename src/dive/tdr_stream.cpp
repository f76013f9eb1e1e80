#include "dive/tdr_stream.h"


#include "dive/codec.h"
#include "input/byte_source.h"
#include "output/emit.h"
#include "records/codes.h"

namespace skelv {
namespace {

constexpr std::uint16_t kMaxDepthRaw = 21000;  // a further sample deeper than this reads as 0

bool read_byte(DecoderState& st, const char* label, std::uint8_t& out) {
  return read_bytes(st, label, &out, 1);
}

// The opening sample: absolute values whose bytes are never taken as codes. False when the
// input ended.
bool read_opening(DecoderState& st, TdrSample& r, unsigned flags) {
  if (flags & TDR_DEPTH) {
    if (!read_unint(st, r.depth_raw)) return false;
    r.depth_m = r.depth_raw * 0.1;
  }
  if ((flags & TDR_TEMP) && !read_unint(st, r.temp_raw)) return false;
  if (flags & TDR_PHOTO) {
    for (int i = 0; i < st.photo_channels; ++i) {
      std::uint16_t dropped = 0;
      if (!read_unint(st, i < kMaxPhotoChannels ? r.photo[i] : dropped)) return false;
    }
  }
  if ((flags & TDR_ODO) && !read_unint(st, r.odo_raw)) return false;
  if (flags & TDR_MAG) {
    for (std::uint16_t& axis : r.mag) {
      if (!read_unint(st, axis)) return false;
    }
    std::uint8_t t = 0;
    if (!read_byte(st, "stream_mag", t)) return false;
    r.mag_temp = static_cast<std::int8_t>(t);
  }
  if ((flags & TDR_WETDRY_STREAM) && !read_byte(st, "stream_wetdry", st.wetdry)) return false;
  if (flags & TDR_MM) {
    std::uint8_t mm = 0;
    if (!read_byte(st, "mm correction", mm)) return false;
    r.depth_m += mm * 0.001;
  }
  return true;
}

// Reads the next sample over `r`, channel by channel. Returns 0 when the whole sample was read;
// otherwise the code that ended the stream (0xFF at the end of the input), with the channels
// read so far new and the rest as before.
std::uint8_t read_further(DecoderState& st, Run& run, TdrSample& r, unsigned flags) {
  std::uint8_t result = 0;
  if (flags & TDR_DEPTH) {
    result = read_rel(st, r.depth_raw, run, st.force_abs);
    // Also at the end of the stream: the closing line shows the depth without its correction.
    if (r.depth_raw > kMaxDepthRaw) r.depth_raw = 0;
    r.depth_m = r.depth_raw * 0.1;
    if (result != 0) return result;
  }
  if (flags & TDR_TEMP) {
    if ((result = read_rel(st, r.temp_raw, run, st.force_abs)) != 0) return result;
  }
  if (flags & TDR_PHOTO) {
    // An information record met before this point changes the count from this sample on.
    const int n = st.photo_channels;
    for (int i = 0; i < n; ++i) {
      std::uint16_t dropped = 0;
      if ((result = read_rel(st, i < kMaxPhotoChannels ? r.photo[i] : dropped, run, st.force_abs)) != 0) {
        return result;
      }
    }
  }
  // Here, unlike in the opening sample, the wet/dry byte precedes the odometer.
  if ((flags & TDR_WETDRY_STREAM) && !read_byte(st, "stream_wetdry_uncond", st.wetdry)) return TDRCODE_EOF;
  if (flags & TDR_ODO) {
    if ((result = read_rel(st, r.odo_raw, run, st.force_abs)) != 0) return result;
  }
  if (flags & TDR_MAG) {
    for (std::uint16_t& axis : r.mag) {
      if ((result = read_rel(st, axis, run, st.force_abs)) != 0) return result;
    }
    std::uint8_t t = 0;
    if (!read_byte(st, "stream_mag", t)) return TDRCODE_EOF;
    r.mag_temp = static_cast<std::int8_t>(t);
  }
  if (flags & TDR_MM) {
    std::uint8_t mm = 0;
    if (!read_byte(st, "mm correction", mm)) return TDRCODE_EOF;
    r.depth_m += mm * 0.001;
  }
  return 0;
}

// Hands one sample, stamped with time_base, to the outputs.
void emit_sample(DecoderState& st, Run& run, const TdrSample& r, unsigned flags) {
  const std::uint8_t photo = st.photo_channels < kMaxPhotoChannels ? st.photo_channels : kMaxPhotoChannels;
  emit_dive_sample(st, run, DiveSample{st.time_base, r, flags, run.regime, st.wetdry, photo});
}

}  // namespace

std::uint8_t decode_tdr_stream(DecoderState& st, Run& run, unsigned flags, double interval) {
  if (flags == 0) {
    emit_note(st, Note{st.byte_offset, "Illegal stream contents (0)", NoteScope::kDiveFile});
    return TDRCODE_EOF;
  }
  TdrSample r;
  if (!read_opening(st, r, flags)) return TDRCODE_EOF;
  // Each sample is written once the next one has been read in full, so the line of the
  // sample in progress when the stream ends is the closing line.
  for (;;) {
    const TdrSample prev_r = r;
    const std::uint8_t result = read_further(st, run, r, flags);
    if (result != 0) {
      emit_sample(st, run, r, flags);
      return result;
    }
    emit_sample(st, run, prev_r, flags);
    st.time_base += interval;
  }
}

}  // namespace skelv
