// Hands a decoded item to the text files and then to every output of the run, in order.
#pragma once
#include "output/output.h"
#include "output/text/text_output.h"

namespace skelv {

// The calibration in force now.
inline Calibration calibration_of(const DecoderState& st) {
  return Calibration{st.tdr_interval,      st.ctd_interval,        st.pressure_scale,
                     st.pressure_offset,   st.temperature_offset,  st.temperature_scale,
                     st.conductivity_offset, st.conductivity_scale, st.lag_time_constant,
                     st.photo_channels,    st.acc_scale,           st.acc_offset};
}

#define SKELV_EMIT(method, Item)                                                    \
  inline void emit_##method(DecoderState& st, Run& run, const Item& item) {         \
    TextOutput(st, run).method(item);                                               \
    for (int i = 0; i < st.outputs.count; ++i) st.outputs.items[i]->method(item);   \
  }
SKELV_EMIT(info, InfoRecord)
SKELV_EMIT(dive_start, DiveStart)
SKELV_EMIT(dry_start, DryStart)
SKELV_EMIT(haulout, Haulout)
SKELV_EMIT(dive_sample, DiveSample)
SKELV_EMIT(ctd_cast, CtdCast)
SKELV_EMIT(ctd_sample, CtdSample)
SKELV_EMIT(gps, GpsSnapshot)
SKELV_EMIT(acc_burst, AccBurst)
SKELV_EMIT(acc_sample, AccValues)
#undef SKELV_EMIT

// Notes need no Run: the text files write them into whichever files are open.
inline void emit_note(DecoderState& st, const Note& item) {
  write_text_note(st, item);
  for (int i = 0; i < st.outputs.count; ++i) st.outputs.items[i]->note(item);
}

// The end of the run: the text files close first, then every other output finishes.
inline void emit_end_run(DecoderState& st, Run& run) {
  TextOutput(st, run).end_run(st.run_ok);
  for (int i = 0; i < st.outputs.count; ++i) st.outputs.items[i]->end_run(st.run_ok);
}

}  // namespace skelv
