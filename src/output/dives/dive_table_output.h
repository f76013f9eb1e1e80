// The dive table of a run: an output that finds the dives in the run's dive samples and hands
// each finished dive to the _dives.txt file of -dives and to another table (the NetCDF dives
// file of -netcdf), whichever the run writes.
#pragma once
#include <sys/stat.h>

#include <cstdio>
#include <functional>

#include "analysis/dive_table.h"
#include "analysis/dive_tsv.h"
#include "records/items.h"

namespace skelv {

class DiveTableOutput final : public Output {
 public:
  // Gets the message when the text file can't be written (ending with "\n").
  using FailFn = std::function<void(const char* message)>;
  // `path` is the text file's, or nullptr for none; `extra(extra_context, dive)`, when given,
  // gets every dive too.
  DiveTableOutput(const char* path, double threshold_m, FailFn fail, analysis::DiveSink extra = nullptr,
                  void* extra_context = nullptr)
      : fail_(std::move(fail)), extra_(extra), extra_context_(extra_context) {
    file_.path = path;
    analysis::detector_reset(detector_, threshold_m, &DiveTableOutput::sink, this);
  }
  DiveTableOutput(const DiveTableOutput&) = delete;
  DiveTableOutput& operator=(const DiveTableOutput&) = delete;

  // A haul-out or a dry start ends the dive in progress there.
  void haulout(const Haulout&) override { analysis::detector_cut(detector_); }
  void dry_start(const DryStart&) override { analysis::detector_cut(detector_); }
  void dive_sample(const DiveSample& s) override {
    analysis::detector_sample(detector_, s.time, s.depth_m(), s.has_temperature(), s.temperature_c());
  }
  // The driver reached the end of the data: the last dive goes out and the file is closed.
  void end_run(const RunEvents&) override {
    analysis::detector_finish(detector_);
    if (file_.path == nullptr) return;
    written_ = analysis::tsv_close(file_);
    if (written_ || !fail_) return;
    char message[1100];
    std::snprintf(message, sizeof message, "Can't write dives file %s\n", file_.path);
    fail_(message);
  }

  void files(std::vector<WrittenFile>& out) const override {
    if (file_.path == nullptr) return;
    struct stat s {};
    const std::uint64_t bytes = written_ && ::stat(file_.path, &s) == 0 ? static_cast<std::uint64_t>(s.st_size) : 0;
    out.push_back(WrittenFile{file_.path, "dives", file_.rows, bytes, written_});
  }

  bool finished() const { return detector_.finished; }
  bool written() const { return written_; }
  std::uint64_t rows() const { return file_.rows; }

 private:
  static void sink(void* context, const analysis::Dive& dive) {
    auto& self = *static_cast<DiveTableOutput*>(context);
    if (self.file_.path != nullptr) analysis::tsv_sink(&self.file_, dive);
    if (self.extra_ != nullptr) self.extra_(self.extra_context_, dive);
  }

  FailFn fail_;
  analysis::DiveTsvFile file_;
  analysis::DiveDetector detector_;
  analysis::DiveSink extra_;
  void* extra_context_;
  bool written_ = true;
};

}  // namespace skelv
