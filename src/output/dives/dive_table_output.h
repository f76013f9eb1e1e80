// The dive table of a run: an output that corrects the run's dive samples for the sensor's zero
// offset, finds the dives in them and hands each finished dive to the _dives.txt file of -dives
// and to another table (the NetCDF dives file of -netcdf), whichever the run writes; and, when
// asked, every sample with its corrected depth.
#pragma once
#include <functional>
#include <string>

#include "analysis/dive_analysis.h"
#include "output/out_file.h"
#include "records/items.h"

namespace skelv {

class DiveTableOutput final : public Output {
 public:
  // Gets the message when the text file can't be written (ending with "\n").
  using FailFn = std::function<void(const char* message)>;
  // `path` is the text file's, or nullptr for none; `extra(extra_context, dive)`, when given,
  // gets every dive too; `samples(samples_context, item)`, when given, every dive sample and
  // break in the order they came, each sample with its corrected depth (item.index counts the
  // dive_sample calls before it), at most half a -zoc window later.
  DiveTableOutput(const char* path, const analysis::DiveSettings& settings, FailFn fail,
                  analysis::DiveSink extra = nullptr, void* extra_context = nullptr,
                  analysis::CorrectedSink samples = nullptr, void* samples_context = nullptr);
  DiveTableOutput(const DiveTableOutput&) = delete;
  DiveTableOutput& operator=(const DiveTableOutput&) = delete;

  // A haul-out or a dry start ends the dive in progress there.
  void haulout(const Haulout&) override { analysis::analysis_break(analysis_); }
  void dry_start(const DryStart&) override { analysis::analysis_break(analysis_); }
  void dive_sample(const DiveSample& s) override {
    analysis::analysis_sample(analysis_, s.time, s.depth_m(), s.has_temperature(), s.temperature_c());
  }
  // The driver reached the end of the data: the samples held and the last dive go out and the
  // file is closed (with its header alone when there was no dive, so the table always loads).
  void end_run(const RunEvents&) override;
  void files(std::vector<WrittenFile>& out) const override;

  bool finished() const { return analysis_.detector.finished; }
  bool written() const { return written_; }
  // The table's line of the run summary: its dives, and those left out as too short.
  std::string summary(const char* name) const;

 private:
  static void sink(void* context, const analysis::Dive& dive);
  // Creates the file with its header on the first dive; false when it can't be.
  bool create();

  FailFn fail_;
  const char* path_;
  OutFile file_;
  bool failed_ = false;  // the file could not be created
  std::uint64_t rows_ = 0;
  analysis::DiveAnalysis analysis_;
  analysis::DiveSink extra_;
  void* extra_context_;
  double min_duration_s_;
  bool written_ = true;
};

}  // namespace skelv
