// The dive table of a run: an output that finds the dives in the run's dive samples and writes
// them, one line per dive, to the _dives.txt file of -dives.
#pragma once
#include "analysis/dive_table.h"
#include "analysis/dive_tsv.h"
#include "output/output.h"

namespace skelv {

class DiveTableOutput final : public Output {
 public:
  DiveTableOutput(const char* path, double threshold_m) {
    file_.path = path;
    analysis::detector_reset(detector_, threshold_m, analysis::tsv_sink, &file_);
  }

  // A haul-out or a dry start ends the dive in progress there.
  void haulout(const Haulout&) override { analysis::detector_cut(detector_); }
  void dry_start(const DryStart&) override { analysis::detector_cut(detector_); }
  void dive_sample(const DiveSample& s) override {
    analysis::detector_sample(detector_, s.time, s.depth_m(), s.has_temperature(), s.temperature_c());
  }
  // The driver reached the end of the data: the last dive goes out and the file is closed.
  void end_run(bool) override {
    analysis::detector_finish(detector_);
    written_ = analysis::tsv_close(file_);
  }

  bool finished() const { return detector_.finished; }
  bool written() const { return written_; }
  std::uint64_t rows() const { return file_.rows; }

 private:
  analysis::DiveTsvFile file_;
  analysis::DiveDetector detector_;
  bool written_ = true;
};

}  // namespace skelv
