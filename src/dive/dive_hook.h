// The dive table of a run with -dives, fed from where TDR lines, haul-outs and dry starts are
// written, and finished by the driver. Without a table (`dives` null) each call is one test.
#pragma once
#include "analysis/dive_table.h"
#include "dive/tdr_stream.h"
#include "input/decoder_state.h"
#include "records/codes.h"

namespace skelv {

// The sample of a TDR line just written, at time_base.
inline void dive_hook_sample(DecoderState& st, const TdrSample& sample, unsigned flags) {
  if (st.dives == nullptr) return;
  analysis::detector_sample(*st.dives, st.time_base, sample.depth_m, (flags & TDR_TEMP) != 0,
                            sample.temp_raw * 0.05 - 273.15);
}

// A haul-out or dry start: the dive in progress ends there.
inline void dive_hook_cut(DecoderState& st) {
  if (st.dives != nullptr) analysis::detector_cut(*st.dives);
}

// The end of the data.
inline void dive_hook_finish(DecoderState& st) {
  if (st.dives != nullptr) analysis::detector_finish(*st.dives);
}

}  // namespace skelv
