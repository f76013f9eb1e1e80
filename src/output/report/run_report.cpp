#include "output/report/run_report.h"

#include <nlohmann/json.hpp>

#include "output/out_file.h"

namespace skelv {
namespace {

using nlohmann::ordered_json;

ordered_json calibration_json(const Calibration& c) {
  return ordered_json{{"tdr_interval_s", c.tdr_interval * 0.01},
                      {"ctd_interval_s", c.ctd_interval * 0.01},
                      {"pressure_scale", c.pressure_scale},
                      {"pressure_offset", c.pressure_offset},
                      {"temperature_offset", c.temperature_offset},
                      {"temperature_scale", c.temperature_scale},
                      {"conductivity_offset", c.conductivity_offset},
                      {"conductivity_scale", c.conductivity_scale},
                      {"lag_time_constant_ms", c.lag_time_constant},
                      {"photo_channels", c.photo_channels},
                      {"acc_scale_g", c.acc_scale},
                      {"acc_offset_g", c.acc_offset}};
}

// A failure's text without its line end.
std::string line_text(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t;
}

}  // namespace

void CalibrationLog::info(const InfoRecord& item) {
  if (item.calibration == current_ && item.tag_version == tag_version_) return;
  current_ = item.calibration;
  tag_version_ = item.tag_version;
  if (++change_count_ <= kMaxChanges) changes_.push_back(Change{item.offset, item.tag_version, item.calibration});
}

std::string report_json(const ReportInput& in) {
  const RunEvents& events = *in.events;
  ordered_json j;
  j["skelv_version"] = SKELV_VERSION_TEXT;
  j["command_line"] = in.command_line;
  j["result"] = result_name(result_of(events));

  ordered_json input{{"name", in.input_name}};
  if (in.input_size >= 0) input["size"] = in.input_size;
  const std::uint64_t start = in.start_offset > 0 ? static_cast<std::uint64_t>(in.start_offset) : 0;
  const std::uint64_t span = in.end_offset > start ? in.end_offset - start : 0;
  input["start_offset"] = start;
  input["end_offset"] = in.end_offset;
  input["bytes_decoded"] = span > events.damaged_bytes ? span - events.damaged_bytes : 0;
  input["bytes_not_decoded"] = events.damaged_bytes + in.undecoded;
  j["input"] = input;
  j["tag_version"] = in.tag_version >= 0 ? ordered_json(in.tag_version) : ordered_json(nullptr);

  ordered_json failures = ordered_json::array();
  ordered_json stretches = ordered_json::array();
  ordered_json suspects = ordered_json::array();
  for (const Event& e : events.list) {
    switch (e.kind) {
      case EventKind::kFailure:
        failures.push_back({{"offset", e.offset}, {"text", line_text(e.text)}, {"times", e.repeats}});
        break;
      case EventKind::kDamage:
        stretches.push_back({{"first", e.offset}, {"last", e.last}, {"bytes", e.last - e.offset + 1}, {"reason", e.text}});
        break;
      case EventKind::kSuspect:
        suspects.push_back({{"offset", e.offset}, {"reason", e.text}});
        break;
    }
  }
  j["failures"] = failures;
  j["damaged_stretches"] = stretches;
  j["damaged_bytes"] = events.damaged_bytes;
  j["suspect_records"] = {{"count", events.suspects}, {"listed", suspects}};
  j["notes"] = events.notes;

  ordered_json files = ordered_json::array();
  for (const WrittenFile& f : in.files) {
    files.push_back({{"name", f.name}, {"kind", f.kind}, {"records", f.records}, {"bytes", f.bytes}, {"complete", f.complete}});
  }
  j["files"] = files;

  ordered_json changes = ordered_json::array();
  for (const CalibrationLog::Change& c : in.calibration->changes()) {
    ordered_json change{{"offset", c.offset}, {"tag_version", c.tag_version}};
    change.update(calibration_json(c.calibration));
    changes.push_back(change);
  }
  j["calibration"] = {{"at_start", calibration_json(in.calibration->at_start())},
                      {"change_count", in.calibration->change_count()},
                      {"changes", changes}};
  // Bytes that are not UTF-8 (in a file name, say) are replaced rather than refused.
  return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

bool write_report(OutFile& file, const std::string& text) {
  out_write(file, text.data(), text.size());
  return out_close(file);
}

}  // namespace skelv
