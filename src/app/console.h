// What Skelv prints on the console: the progress line and the summary of the run.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "records/events.h"
#include "run/run.h"

namespace skelv {

// The self-overwriting progress line. On a terminal it is redrawn at most ten times a second
// and its last state before the summary; elsewhere every call prints.
struct ProgressPrinter {
  std::FILE* out = stdout;
  bool terminal = false;
  bool drawn_all = true;  // the last values reported have been drawn
  std::chrono::steady_clock::time_point last_draw{};
  std::uint64_t offset = 0;
  std::uint32_t counts[4] = {};
};

void show_progress(ProgressPrinter& p, std::uint64_t offset, std::uint32_t tdr, std::uint32_t ctd,
                   std::uint32_t gps, std::uint32_t acc);
// Draws the last values reported if the terminal has not seen them yet.
void finish_progress(ProgressPrinter& p);

bool stdout_is_terminal();

// The lines of the summary that the outputs beyond the text files add (the dive table's),
// printed after the counts of a completed or damaged run.
struct ExtraLines {
  const char* text = "";
};

// "Tag Version: ...", then "Completed." with the input and the counts of `run`.
void print_completed(std::FILE* out, const Run& run, const ExtraLines& extra);
// The end of a -recover run that skipped damaged stretches: the stretches, the counts and a
// failure line that no clean run prints.
void print_damage_summary(std::FILE* out, const Run& run, const RunEvents& events, const ExtraLines& extra);
// The failure line of a failed run (the latest failure), then every other failure of the run.
void print_failure(std::FILE* out, const Run& run, const RunEvents& events);

}  // namespace skelv
