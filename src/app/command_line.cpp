#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

#include "analysis/dive_table.h"
#include "app/arguments.h"
#include "app/output_names.h"

namespace skelv {

std::int64_t parse_offset(const char* arg) {
  if (arg[0] != '\0' && arg[1] == 'x') return std::strtoll(arg, nullptr, 16);
  return std::strtoll(arg, nullptr, 10);
}

CommandLine parse_command_line(int argc, const char* const* argv, Run& run) {
  CommandLine cl;
  cl.dive_threshold = analysis::kDefaultDiveThreshold;
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
    if (std::strncmp(argv[i], "-scan", 5) == 0) {
      cl.scan = true;
    } else if (is_option(argv[i], "netcdf")) {
      cl.netcdf = true;
    } else if (is_option(argv[i], "dives")) {
      cl.dives = true;
    } else if (is_option(argv[i], "dive-threshold")) {
      if (i + 1 == argc || !parse_threshold(argv[i + 1], cl.dive_threshold)) {
        cl.action = Action::kUsage;
        return cl;
      }
      ++i;
    } else if (is_option(argv[i], "recover")) {
      cl.recover = true;
    } else {
      cl.offset = parse_offset(argv[i]);
    }
  }
  cl.action = Action::kRun;
  return cl;
}

const char kHelpText[] =
    "Usage: Skelv filename {offset} {-scan}\n"
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
    "  -dives  also write the table of dives, one line per dive, to _dives.txt\n"
    "  -dive-threshold M\n"
    "          a dive goes deeper than M metres (default 2)\n"
    "  -recover  decode past damage: skip each damaged stretch to the next\n"
    "          record start, note it in the files, and exit with status 3\n";

}  // namespace skelv
