// The four text files as an output: _tdr.txt, _ctd.txt, _gps.txt and _accel.txt, each created
// with its header line on the first item of its kind. The files live in DecoderState, so the
// decoder reaches them through a TextOutput made on the spot for each item.
#pragma once
#include "accel/acc_output.h"
#include "ctd/ctd_line.h"
#include "dive/tdr_line.h"
#include "input/decoder_state.h"
#include "output/output.h"

namespace skelv {

// Writes a note into the open text files it belongs to.
void write_text_note(DecoderState& st, const Note& item);

class TextOutput final : public Output {
 public:
  TextOutput(DecoderState& st, Run& run) : st_(st), run_(run) {}

  void dive_start(const DiveStart& item) override;
  void haulout(const Haulout& item) override;
  void dive_sample(const DiveSample& item) override {
    write_tdr_line(st_, st_.tdr_file, item.sample, item.flags);
  }
  void ctd_cast(const CtdCast& item) override;
  void ctd_sample(const CtdSample& item) override { write_ctd_values(st_, st_.ctd_file, item.values); }
  void gps(const GpsSnapshot& item) override;
  void acc_burst(const AccBurst& item) override;
  void acc_sample(const AccValues& item) override {
    write_acc_values(st_, st_.acc_file, item.time, item.x, item.y, item.z);
  }
  void note(const Note& item) override { write_text_note(st_, item); }
  // Closes the files: TDR, accelerometer, CTD, GPS. A write that failed on the way fails the run.
  void end_run(bool ok) override;

 private:
  DecoderState& st_;
  Run& run_;
};

}  // namespace skelv
