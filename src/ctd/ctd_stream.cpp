#include "ctd/ctd_stream.h"

#include "dive/codec.h"
#include "ctd/ctd_line.h"
#include "input/byte_source.h"
#include "output/emit.h"
#include "records/codes.h"
#include "records/report.h"

namespace skelv {
namespace {

// Lines written in the run when the console shows its one "Stop".
constexpr std::uint32_t kStopNoteAtCount = 14168;

// The samples of one profile, to its end code or the end of the input.
std::uint8_t decode_profile(DecoderState& st, Run& run, const CtdColumns& columns, double interval_s,
                            std::uint16_t* ctd_data, std::uint32_t cast) {
  const std::size_t channels = 3 + (columns.count < kCtdAuxColumns ? columns.count : kCtdAuxColumns);
  // A profile nested in this one clears ctd_open when it ends, yet this profile is still open: set
  // it again after every read, so that this profile's own 0xFD still ends it.
  const auto read_channel = [&](std::size_t i) {
    const std::uint8_t code = read_rel(st, ctd_data[i], run, false);
    st.ctd_open = true;
    return code;
  };
  for (;;) {
    std::uint8_t code = read_channel(0);
    if (code != 0) {
      if (code == TDRCODE_END_CTD) {
        read_bytes(st, "end_ctd", &code, 1);
        // A profile nested in another one leaves the outer profile open before its next byte is examined.
        st.ctd_open = st.ctd_streams > 1;
      }
      return code;
    }
    if (st.ctd_count == kStopNoteAtCount) console_note(st, "Stop");
    st.ctd_time += interval_s;
    // A code in a later channel doesn't end the sample: that channel keeps its previous value.
    for (std::size_t i = 1; i < channels; ++i) read_channel(i);
    emit_ctd_sample(st, run, CtdSample{st.ctd_time, cast, ctd_values(st, ctd_data, columns), columns});
  }
}

}  // namespace

std::uint8_t decode_ctd_stream(DecoderState& st, Run& run, const CtdColumns& columns, double interval_s,
                               std::uint16_t* ctd_data, std::uint32_t cast) {
  ++st.ctd_streams;
  const std::uint8_t code = decode_profile(st, run, columns, interval_s, ctd_data, cast);
  --st.ctd_streams;
  return code;
}

}  // namespace skelv
