// The command line of Skelv: the arguments turned into the run to make.
#pragma once
#include <cstdint>

#include "analysis/dive_analysis.h"
#include "run/run.h"

namespace skelv {

inline constexpr char kVersion[] = "78";

// A start offset argument: hexadecimal (strtol rules) when its second character is 'x',
// decimal (atol rules) otherwise; no number gives 0.
std::int64_t parse_offset(const char* arg);

enum class Action { kRun, kUsage, kUnknownSwitch, kHelp, kVersion, kNameTooLong };

struct CommandLine {
  Action action = Action::kUsage;
  std::int64_t offset = 0;
  bool scan = false;
  bool netcdf = false;  // -netcdf or --netcdf: also write the NetCDF datasets
  bool dives = false;  // -dives: also write the dive table
  analysis::DiveSettings dive;  // -dive-threshold, -dive-min-duration, -zoc and its tuning
  char dives_name[kTextField] = {};
  bool recover = false;  // -recover: decode past damage
  bool report = false;   // -report: also write IMAGE_report.json
  char report_name[kTextField] = {};
  bool strict = false;   // -strict: the exit status says how the run went
  const char* unknown = nullptr;  // the switch that made the usage text come up
};

// Turns the arguments into the run to make: fills input_name and the output names of `run`.
CommandLine parse_command_line(int argc, const char* const* argv, Run& run);

// The text of --help (kHelpText, the dive switches, kHelpTail), and the usage line of a command
// line that names an unknown switch.
extern const char kHelpText[];
extern const char kHelpTail[];
extern const char kUsageLine[];

}  // namespace skelv
