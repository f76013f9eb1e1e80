#include "output/dives/dive_table_output.h"

#include <cstdio>

#include "analysis/dive_tsv.h"

namespace skelv {

DiveTableOutput::DiveTableOutput(const char* path, const analysis::DiveSettings& settings, FailFn fail,
                                 analysis::DiveSink extra, void* extra_context, analysis::CorrectedSink samples,
                                 void* samples_context)
    : fail_(std::move(fail)),
      path_(path),
      extra_(extra),
      extra_context_(extra_context),
      min_duration_s_(settings.min_duration_s) {
  analysis::analysis_reset(analysis_, settings, &DiveTableOutput::sink, this, samples, samples_context);
}

bool DiveTableOutput::create() {
  if (out_is_open(file_)) return true;
  if (failed_ || path_ == nullptr) return false;
  if (!out_open(file_, path_)) {
    failed_ = true;
    return false;
  }
  out_puts(file_, analysis::kDiveHeader);
  return true;
}

void DiveTableOutput::sink(void* context, const analysis::Dive& dive) {
  auto& self = *static_cast<DiveTableOutput*>(context);
  if (self.create()) {
    char* line = out_reserve(self.file_, analysis::kDiveLineRoom);
    out_commit(self.file_, analysis::format_dive_line(dive, line));
    ++self.rows_;
  }
  if (self.extra_ != nullptr) self.extra_(self.extra_context_, dive);
}

void DiveTableOutput::end_run(const RunEvents&) {
  analysis::analysis_finish(analysis_);
  if (path_ == nullptr) return;
  written_ = create() && out_close(file_);
  if (written_ || !fail_) return;
  char message[1100];
  std::snprintf(message, sizeof message, "Can't write dives file %s\n", path_);
  fail_(message);
}

void DiveTableOutput::files(std::vector<WrittenFile>& out) const {
  if (path_ != nullptr) out.push_back(WrittenFile{path_, "dives", rows_, written_ ? file_.bytes : 0, written_});
}

std::string DiveTableOutput::summary(const char* name) const {
  char line[1200];
  int n = std::snprintf(line, sizeof line, "  %s: %llu dives", name, static_cast<unsigned long long>(rows_));
  if (min_duration_s_ > 0 && n > 0 && static_cast<std::size_t>(n) < sizeof line) {
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " (%llu shorter than %g s left out)",
                       static_cast<unsigned long long>(analysis_.detector.dropped), min_duration_s_);
  }
  return std::string(line) + "\n";
}

}  // namespace skelv
