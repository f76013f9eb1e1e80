#include "output/dives/dive_table_output.h"

#include <cstdio>

#include "analysis/dive_tsv.h"

namespace skelv {

DiveTableOutput::DiveTableOutput(const char* path, double threshold_m, FailFn fail, analysis::DiveSink extra,
                                 void* extra_context)
    : fail_(std::move(fail)), path_(path), extra_(extra), extra_context_(extra_context) {
  analysis::detector_reset(detector_, threshold_m, &DiveTableOutput::sink, this);
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
  analysis::detector_finish(detector_);
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

}  // namespace skelv
