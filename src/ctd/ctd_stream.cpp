#include "ctd/ctd_stream.h"

#include "ctd/ctd_values.h"
#include "dive/codec.h"
#include "records/codes.h"

namespace skelv {
namespace {

// Lines written in the run when the console shows its one "Stop".
constexpr std::uint32_t kStopNoteAtCount = 14168;

// The samples of one profile, to its end code or the end of the input.
std::uint8_t decode_profile(Decoder& d, const CtdColumns& columns, double interval_s, std::uint16_t* ctd_data,
                            std::uint32_t cast) {
  CtdState& ctd = d.ctd;
  Deployment& dep = d.deployment;
  const std::size_t channels = 3 + (columns.count < kCtdAuxColumns ? columns.count : kCtdAuxColumns);
  // A profile nested in this one clears ctd_open when it ends, yet this profile is still open: set
  // it again after every read, so that this profile's own 0xFD still ends it.
  const auto read_channel = [&](std::size_t i) {
    const std::uint8_t code = read_rel(d, ctd_data[i], false);
    ctd.ctd_open = true;
    return code;
  };
  std::uint32_t samples = 0;
  std::uint16_t pressure = ctd_data[0];  // the sample before's, raw
  std::uint64_t records = d.records;     // records met in the stream so far
  for (;;) {
    if (d.journal != nullptr && ++samples % kStreamCheckpointSamples == 0) checkpoint(d, d.input.byte_offset, false);
    const std::uint64_t at = d.input.byte_offset;
    std::uint8_t code = read_channel(0);
    if (code != 0) {
      if (code == TDRCODE_END_CTD) {
        profile_ended(d);
        read_bytes(d.input, "end_ctd", &code, 1);
        // A profile nested in another one leaves the outer profile open before its next byte is examined.
        ctd.ctd_open = ctd.ctd_streams > 1;
      }
      return code;
    }
    if (d.ctd_lines != nullptr && *d.ctd_lines == kStopNoteAtCount) {
      console_note(d, "Stop");
    }
    dep.ctd_time += interval_s;
    // A code in a later channel doesn't end the sample: that channel keeps its previous value.
    for (std::size_t i = 1; i < channels; ++i) read_channel(i);
    const CtdValues values = ctd_values(dep, ctd, ctd_data, columns);
    if (!ctd_in_range(d, at, values)) return TDRCODE_EOF;
    // A record nested since the sample before (a profile in this profile) may stand for any
    // length of time: the step across it is no evidence.
    if (d.records == records && !pressure_steady(d, at, pressure, ctd_data[0], interval_s)) return TDRCODE_EOF;
    pressure = ctd_data[0];
    records = d.records;
    emit(d.outputs, &Output::ctd_sample, CtdSample{dep.ctd_time, cast, values, columns});
  }
}

}  // namespace

std::uint8_t decode_ctd_stream(Decoder& d, const CtdColumns& columns, double interval_s, std::uint16_t* ctd_data,
                               std::uint32_t cast) {
  ++d.ctd.ctd_streams;
  const std::uint8_t code = decode_profile(d, columns, interval_s, ctd_data, cast);
  --d.ctd.ctd_streams;
  return code;
}

}  // namespace skelv
