// Placeholder until accelerometer bursts land.
#include "accel/acc_output.h"

namespace skelv {

void flush_acc(DecoderState& /*st*/, OutFile& /*file*/) {}
void write_acc_line(DecoderState& /*st*/, OutFile& /*file*/, double /*t*/, const AccSample& /*sample*/) {}

}  // namespace skelv
