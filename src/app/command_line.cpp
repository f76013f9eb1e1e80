#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

#include "app/arguments.h"
#include "app/output_names.h"

namespace skelv {

namespace {

// "-" or "--" and a letter: meant as a switch (a negative offset starts with "-" and a digit).
bool looks_like_switch(const char* arg) {
  if (arg[0] != '-') return false;
  const char c = arg[1] == '-' ? arg[2] : arg[1];
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::int64_t parse_offset(const char* arg) {
  if (arg[0] != '\0' && arg[1] == 'x') return std::strtoll(arg, nullptr, 16);
  return std::strtoll(arg, nullptr, 10);
}

CommandLine parse_command_line(int argc, const char* const* argv, Run& run) {
  CommandLine cl;
  if (argc < 2) return cl;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    cl.action = Action::kHelp;
    return cl;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    cl.action = Action::kVersion;
    return cl;
  }
  if (std::strlen(argv[1]) >= kTextField || !make_output_name(run.tdr_name, "_tdr.txt", argv[1]) ||
      !make_output_name(run.ctd_name, "_ctd.txt", argv[1]) || !make_output_name(run.gps_name, "_gps.txt", argv[1]) ||
      !make_output_name(run.acc_name, "_accel.txt", argv[1]) ||
      !make_output_name(cl.dives_name, "_dives.txt", argv[1])) {
    cl.action = Action::kNameTooLong;
    return cl;
  }
  std::strcpy(run.input_name, argv[1]);
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "-scan", 5) == 0 || is_option(argv[i], "scan")) {
      cl.scan = true;
    } else if (is_option(argv[i], "netcdf")) {
      cl.netcdf = true;
    } else if (is_option(argv[i], "dives")) {
      cl.dives = true;
    } else if (const int used = parse_dive_option(argc, argv, i, cl.dive); used != 0) {
      if (used < 0) {
        cl.action = Action::kUsage;
        return cl;
      }
      i += used - 1;
    } else if (is_option(argv[i], "recover")) {
      cl.recover = true;
    } else if (is_option(argv[i], "report")) {
      cl.report = true;
    } else if (is_option(argv[i], "strict")) {
      cl.strict = true;
    } else if (looks_like_switch(argv[i])) {
      // A mistyped switch is no start offset: say so rather than decode from byte 0.
      cl.action = Action::kUnknownSwitch;
      cl.unknown = argv[i];
      return cl;
    } else {
      cl.offset = parse_offset(argv[i]);
    }
  }
  // The report's name is longer than the others: it needs to fit only when it is asked for.
  cl.action = cl.report && !make_output_name(cl.report_name, "_report.json", argv[1]) ? Action::kNameTooLong : Action::kRun;
  return cl;
}

const char kUsageLine[] =
    "Usage: Skelv filename {offset} {-scan} {-recover} {-netcdf} {-dives} {-dive-threshold M}\n"
    "             {-dive-min-duration S} {-zoc M|auto} {-report} {-strict}\n";

const char kHelpText[] =
    "Usage: Skelv filename {offset} {-scan} {-recover} {-netcdf} {-dives} {-dive-threshold M}\n"
    "             {-dive-min-duration S} {-zoc M|auto} {-report} {-strict}\n"
    "\n"
    "Converts the memory image of a data-logging tag into tab-separated text files\n"
    "beside the image, named after it (tag17.bin gives tag17_tdr.txt and so on):\n"
    "  _tdr.txt    dive samples: date, depth and the regime's other channels\n"
    "  _ctd.txt    CTD profiles: pressures, temperature, conductivity, salinity\n"
    "  _gps.txt    GPS snapshots\n"
    "  _accel.txt  accelerometer samples in g\n"
    "\n"
    "  offset  start decoding at this byte (decimal, or hexadecimal as 0x...)\n"
    "  -scan   also list every record code of the image in skelv_debug.txt\n"
    "          in $TMPDIR (or /tmp)\n"
    "  -netcdf also write CF-1.10 NetCDF-4 datasets beside the text files:\n"
    "          _ctd.nc, _dives.nc, _accel.nc and _gps.nc\n"
    "  -dives  also write the table of dives, one line per dive, to _dives.txt\n";

const char kHelpTail[] =
    "  -recover  decode past damage: skip each damaged stretch to the next\n"
    "          record start, note it in the files, and exit with status 3\n"
    "  -report also write IMAGE_report.json: how the run went, every failure and\n"
    "          damaged stretch, every file written, the calibration\n"
    "  -strict the exit status says how the run went: 0 completed, 2 failed,\n"
    "          3 damaged (without it: 0 after any run, 3 after a -recover run\n"
    "          that skipped damage)\n"
    "Every switch may also be written with two dashes (--recover). --help and\n"
    "--version print this text or the version.\n";

}  // namespace skelv
