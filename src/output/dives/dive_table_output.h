// The dive table of a run: an output that finds the dives in the run's dive samples and hands
// each finished dive to the _dives.txt file of -dives and to another table (the NetCDF dives
// file of -netcdf), whichever the run writes.
#pragma once
#include <functional>
#include <string>

#include "analysis/dive_table.h"
#include "output/out_file.h"
#include "records/items.h"

namespace skelv {

class DiveTableOutput final : public Output {
 public:
  // Gets the message when the text file can't be written (ending with "\n").
  using FailFn = std::function<void(const char* message)>;
  // `path` is the text file's, or nullptr for none; `extra(extra_context, dive)`, when given,
  // gets every dive too.
  DiveTableOutput(const char* path, double threshold_m, FailFn fail, analysis::DiveSink extra = nullptr,
                  void* extra_context = nullptr);
  DiveTableOutput(const DiveTableOutput&) = delete;
  DiveTableOutput& operator=(const DiveTableOutput&) = delete;

  // A haul-out or a dry start ends the dive in progress there.
  void haulout(const Haulout&) override { analysis::detector_cut(detector_); }
  void dry_start(const DryStart&) override { analysis::detector_cut(detector_); }
  void dive_sample(const DiveSample& s) override {
    analysis::detector_sample(detector_, s.time, s.depth_m(), s.has_temperature(), s.temperature_c());
  }
  // The driver reached the end of the data: the last dive goes out and the file is closed (with
  // its header alone when there was no dive, so the table always loads).
  void end_run(const RunEvents&) override;
  void files(std::vector<WrittenFile>& out) const override;

  bool finished() const { return detector_.finished; }
  bool written() const { return written_; }
  std::uint64_t rows() const { return rows_; }

 private:
  static void sink(void* context, const analysis::Dive& dive);
  // Creates the file with its header on the first dive; false when it can't be.
  bool create();

  FailFn fail_;
  const char* path_;
  OutFile file_;
  bool failed_ = false;  // the file could not be created
  std::uint64_t rows_ = 0;
  analysis::DiveDetector detector_;
  analysis::DiveSink extra_;
  void* extra_context_;
  bool written_ = true;
};

}  // namespace skelv
