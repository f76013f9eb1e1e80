// The lines of the text files: one per dive sample, CTD sample and accelerometer sample.
#pragma once
#include <cstdint>

#include "ctd/ctd_values.h"
#include "dive/tdr_sample.h"
#include "output/out_file.h"
#include "records/time_base.h"

namespace skelv {

// One text file of the run: created with its header on first need, with the count of its lines.
struct TextFile {
  const char* name = "";  // the path, owned by the run
  OutFile file;
  bool started = false;     // created (never cleared: a file is created once per run)
  bool failed = false;      // could not be created, or not written whole
  std::uint32_t count = 0;  // lines (GPS: snapshots) counted for the summary
  TimeText time_text;       // date and time of the last whole second written
};

// Writes `sample` as a tab-separated line stamped `time` (milliseconds shown): depth in metres,
// then the columns that `flags` selects (`photo_channels` photo values, `wetdry`); counts it.
// A closed file writes and counts nothing.
void write_tdr_line(TextFile& f, double time, const TdrSample& sample, unsigned flags, int photo_channels,
                    std::uint8_t wetdry);

// Writes `values` as one line stamped `time` to the second (5 ms before a second counts as that
// second) and counts it. A closed file writes and counts nothing.
void write_ctd_line(TextFile& f, double time, const CtdValues& values);

// Writes one line of X, Y, Z in g stamped `time`; a closed file writes and counts nothing.
void write_acc_line(TextFile& f, double time, double x, double y, double z);

}  // namespace skelv
