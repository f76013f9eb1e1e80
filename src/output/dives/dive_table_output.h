// The dive table of a run: an output that corrects the run's dive samples for the sensor's zero
// offset, finds the dives in them and hands each finished dive to the _dives.txt file of -dives
// and to another table (the NetCDF dives file of -netcdf), whichever the run writes; and, when
// asked, every sample with its corrected depth.
#pragma once
#include <cstdio>

#include "analysis/dive_analysis.h"
#include "analysis/dive_tsv.h"
#include "output/output.h"

namespace skelv {

class DiveTableOutput final : public Output {
 public:
  // `path` is the text file's, or nullptr for none; `extra(extra_context, dive)`, when given,
  // gets every dive too; `samples(samples_context, item)`, when given, every dive sample and
  // break in the order they came, each sample with its corrected depth (item.index counts the
  // dive_sample calls before it), at most half a -zoc-window later.
  DiveTableOutput(const char* path, const analysis::DiveSettings& settings, analysis::DiveSink extra = nullptr,
                  void* extra_context = nullptr, analysis::CorrectedSink samples = nullptr,
                  void* samples_context = nullptr)
      : extra_(extra), extra_context_(extra_context), min_duration_s_(settings.min_duration_s) {
    file_.path = path;
    analysis::analysis_reset(analysis_, settings, &DiveTableOutput::sink, this, samples, samples_context);
  }
  DiveTableOutput(const DiveTableOutput&) = delete;
  DiveTableOutput& operator=(const DiveTableOutput&) = delete;

  // A haul-out or a dry start ends the dive in progress there.
  void haulout(const Haulout&) override { analysis::analysis_break(analysis_); }
  void dry_start(const DryStart&) override { analysis::analysis_break(analysis_); }
  void dive_sample(const DiveSample& s) override {
    analysis::analysis_sample(analysis_, s.time, s.depth_m(), s.has_temperature(), s.temperature_c());
  }
  // The driver reached the end of the data: the samples held and the last dive go out and the
  // file is closed.
  void end_run(bool) override {
    analysis::analysis_finish(analysis_);
    if (file_.path != nullptr) written_ = analysis::tsv_close(file_);
  }

  bool finished() const { return analysis_.detector.finished; }
  bool written() const { return written_; }
  std::uint64_t rows() const { return file_.rows; }
  std::uint64_t dropped() const { return analysis_.detector.dropped; }

  // The table's line of the run summary: its dives (and those left out as too short), or that
  // it could not be written.
  void print_summary(std::FILE* out, const char* name) const {
    if (!written_) {
      std::fprintf(out, "Can't write dives file %s\n", name);
      return;
    }
    std::fprintf(out, "  %s: %llu dives", name, static_cast<unsigned long long>(rows()));
    if (min_duration_s_ > 0) {
      std::fprintf(out, " (%llu shorter than %g s left out)", static_cast<unsigned long long>(dropped()),
                   min_duration_s_);
    }
    std::fputc('\n', out);
  }

 private:
  static void sink(void* context, const analysis::Dive& dive) {
    auto& self = *static_cast<DiveTableOutput*>(context);
    if (self.file_.path != nullptr) analysis::tsv_sink(&self.file_, dive);
    if (self.extra_ != nullptr) self.extra_(self.extra_context_, dive);
  }

  analysis::DiveTsvFile file_;
  analysis::DiveAnalysis analysis_;
  analysis::DiveSink extra_;
  void* extra_context_;
  double min_duration_s_;
  bool written_ = true;
};

}  // namespace skelv
