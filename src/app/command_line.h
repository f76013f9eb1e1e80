// The command line: arguments, output names, progress line and run summary.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "app/arguments.h"
#include "app/output_names.h"
#include "app/run.h"
#include "input/decoder_state.h"

#pragma once

namespace skelv {

inline constexpr char kVersion[] = "78";

// A start offset argument: hexadecimal (strtol rules) when its second character is 'x',
// decimal (atol rules) otherwise; no number gives 0.
std::int64_t parse_offset(const char* arg);

enum class Action { kRun, kUsage, kHelp, kVersion, kNameTooLong };

struct CommandLine {
  Action action = Action::kUsage;
  std::int64_t offset = 0;
  bool scan = false;
  bool netcdf = false;  // -netcdf or --netcdf: also write the NetCDF datasets
  bool dives = false;  // -dives: also write the dive table
  analysis::DiveSettings dive;  // -dive-threshold, -dive-min-duration, -zoc and its tuning
  char dives_name[kTextField] = {};
  bool recover = false;  // -recover: decode past damage
};

// Turns the arguments into the run to make: fills input_name and the output names of `run`.
CommandLine parse_command_line(int argc, const char* const* argv, Run& run);

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

// The end of a -recover run that skipped damaged stretches: the stretches, the counts and a
// failure line that no clean run prints.
void print_damage_summary(std::FILE* out, const Run& run, const Recovery& r, bool ok);

// The whole program: banner, arguments, decoding, summary. Returns the exit status.
int skelv_main(int argc, const char* const* argv, std::FILE* out, bool terminal);

// Exit status of a -recover run that skipped damaged stretches.
inline constexpr int kExitDamaged = 3;

}  // namespace skelv
