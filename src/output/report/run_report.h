// The run's report, IMAGE_report.json: how the run went, every failure and damaged stretch with
// its offsets, every file written, the tag version and the calibration as it changed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "output/out_file.h"
#include "records/items.h"

namespace skelv {

// The calibration the run started with and every change an information record made to it.
class CalibrationLog final : public Output {
 public:
  struct Change {
    std::uint64_t offset;  // after the information record's block
    std::int32_t tag_version;
    Calibration calibration;
  };
  static constexpr std::size_t kMaxChanges = 1000;  // changes kept one by one; `change_count` counts all

  explicit CalibrationLog(const Calibration& at_start) : at_start_(at_start), current_(at_start) {}
  void info(const InfoRecord& item) override;

  const Calibration& at_start() const { return at_start_; }
  const std::vector<Change>& changes() const { return changes_; }
  std::uint64_t change_count() const { return change_count_; }

 private:
  Calibration at_start_;
  Calibration current_;
  std::int32_t tag_version_ = -1;
  std::vector<Change> changes_;
  std::uint64_t change_count_ = 0;
};

struct ReportInput {
  std::vector<std::string> command_line;
  std::string input_name;
  std::uint64_t end_offset = 0;   // where decoding ended
  std::int32_t tag_version = -1;  // negative: unknown
  const RunEvents* events = nullptr;
  std::int64_t start_offset = 0;
  long long input_size = -1;     // negative: not known (a pipe)
  std::uint64_t undecoded = 0;   // bytes after the damage that stopped a plain run
  std::vector<WrittenFile> files;
  const CalibrationLog* calibration = nullptr;
};

// The report as JSON text.
std::string report_json(const ReportInput& input);

// Writes `text` into the report's file, opened (beside its name) when the run began, and moves it
// into place. False when it can't.
bool write_report(OutFile& file, const std::string& text);

}  // namespace skelv
