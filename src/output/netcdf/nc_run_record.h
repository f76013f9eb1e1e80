// What every NetCDF dataset records of the run: its events in the `events` group and, at the
// end, the outcome and the deployment's global attributes.
//
// The events have their own dimension, declared first in the root group and used only by the
// `events` group: the observations of the root group never cross it (xarray's to_dataframe()
// of the root is one row per sample), and grid readers that take the first unlimited dimension
// as their time axis find no time variable for it and read the samples as one grid.
#pragma once
#include <cstdint>
#include <string>

#include "output/netcdf/nc_dataset.h"

namespace skelv::ncout {

// flag_values of event_kind, in this order.
enum class EventKind : std::int8_t { kNote = 0, kFailure = 1, kDamage = 2, kSuspectRecord = 3 };

struct RunEvent {
  EventKind kind;
  std::uint64_t first;  // input offset of the event (a damaged stretch's first byte)
  bool has_last;        // a damaged stretch: its last byte
  std::uint64_t last;
  std::string text;     // without a closing newline
};

// The event columns of one dataset.
struct EventColumns {
  int dim = -1, group = -1, kind = -1, first = -1, last = -1, text = -1;
  void add(nc::Dataset& ds, std::size_t block);
  void put(nc::Dataset& ds, const RunEvent& event);
};

// The run's outcome as the files give it: result is "completed", "failed" or "damaged".
struct RunOutcome {
  std::string result;
  std::int32_t tag_version = -1;        // negative: unknown (no attribute)
  long long input_size = -1;            // negative: unknown (no attribute)
  std::string calibration_changes;      // one line per change, with its offset
  long long calibration_change_count = 0;
};

// Writes the outcome's global attributes (before the dataset closes).
void put_outcome(nc::Dataset& ds, const RunOutcome& outcome);

// A note of the decoder as an event: "Damaged: skipped to LAST, ..." notes are damaged stretches.
RunEvent note_event(std::uint64_t offset, const char* text);
RunEvent failure_event(std::uint64_t offset, const char* text);
RunEvent suspect_event(std::uint64_t offset, const char* reason);

}  // namespace skelv::ncout
