#include "output/netcdf/nc_run_record.h"

#include <cstdlib>
#include <cstring>

#include "output/netcdf/nc_vars.h"

namespace skelv::ncout {

using namespace ncvars;

void EventColumns::add(nc::Dataset& ds, std::size_t block) {
  group = ds.add_group("events", "Notes, failures and damaged stretches of the run, in order");
  dim = ds.add_dim("event", block);  // in the root group: see the header
  kind = ds.add_column(dim, flags("event_kind", Type::kByte, "kind of event", "note failure damage suspect_record", 4), group);
  first = ds.add_column(dim, variable("event_offset", Type::kDouble, "1", "",
                                      "input byte offset of the event (first byte of a damaged stretch)"), group);
  last = ds.add_column(dim, plain("event_last_offset", Type::kDouble, "1", "", "last byte of a damaged stretch"), group);
  text = ds.add_column(dim, variable("event_text", Type::kString, "", "", "text of the event"), group);
}

void EventColumns::put(nc::Dataset& ds, const RunEvent& event) {
  ds.set(kind, static_cast<int>(event.kind));
  ds.set(first, static_cast<double>(event.first));
  if (event.has_last) ds.set(last, static_cast<double>(event.last));
  ds.set_text(text, event.text);
  ds.end_row(dim);
}

void put_outcome(nc::Dataset& ds, const RunOutcome& outcome) {
  // Plain int and double attributes: R and other readers without 64-bit integers read them exactly.
  if (outcome.tag_version >= 0) ds.put_global_int("tag_version", outcome.tag_version);
  if (outcome.calibration_change_count > 0) {
    ds.put_global("calibration_changes", outcome.calibration_changes);
    ds.put_global_double("calibration_change_count", static_cast<double>(outcome.calibration_change_count));
  }
  if (outcome.input_size >= 0) ds.put_global_double("input_file_size", static_cast<double>(outcome.input_size));
  ds.put_global("run_result", outcome.result);
}

namespace {

std::string without_newline(const char* text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t;
}

}  // namespace

RunEvent note_event(std::uint64_t offset, const char* text) {
  RunEvent e{EventKind::kNote, offset, false, 0, without_newline(text)};
  static constexpr char kDamaged[] = "Damaged: skipped to ";
  if (std::strncmp(text, kDamaged, sizeof kDamaged - 1) == 0) {
    e.kind = EventKind::kDamage;
    char* end = nullptr;
    const unsigned long long last = std::strtoull(text + sizeof kDamaged - 1, &end, 16);
    e.has_last = end != text + sizeof kDamaged - 1;
    e.last = last;
  }
  return e;
}

RunEvent failure_event(std::uint64_t offset, const char* text) {
  return RunEvent{EventKind::kFailure, offset, false, 0, without_newline(text)};
}

RunEvent suspect_event(std::uint64_t offset, const char* reason) {
  return RunEvent{EventKind::kSuspectRecord, offset, false, 0, reason};
}

}  // namespace skelv::ncout
