#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "input/decoder_state.h"
#include "input/driver.h"
#include "output/dives/dive_table_output.h"
#include "records/report.h"
#ifdef SKELV_HAVE_NETCDF
#include "output/emit.h"
#include "output/netcdf/netcdf_output.h"
#endif

namespace skelv {

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
  if (std::strlen(argv[1]) >= kTextField ||
      !make_output_name(run.tdr_name, "_tdr.txt", argv[1]) ||
      !make_output_name(run.ctd_name, "_ctd.txt", argv[1]) ||
      !make_output_name(run.gps_name, "_gps.txt", argv[1]) ||
      !make_output_name(run.acc_name, "_accel.txt", argv[1])) {
    cl.action = Action::kNameTooLong;
    return cl;
  }
  if (!make_output_name(cl.dives_name, "_dives.txt", argv[1])) {
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
    } else if (const int used = parse_dive_option(argc, argv, i, cl.dive); used != 0) {
      if (used < 0) {
        cl.action = Action::kUsage;
        return cl;
      }
      i += used - 1;
    } else if (is_option(argv[i], "recover")) {
      cl.recover = true;
    } else {
      cl.offset = parse_offset(argv[i]);
    }
  }
  cl.action = Action::kRun;
  return cl;
}

namespace {

void draw_progress(ProgressPrinter& p) {
  std::fprintf(p.out, "\r%8lX %7lu => TDR %9lu | CTD %8lu | GPS %8lu | ACC %9lu",
               static_cast<unsigned long>(p.offset), static_cast<unsigned long>(p.offset / 1024),
               static_cast<unsigned long>(p.counts[0]), static_cast<unsigned long>(p.counts[1]),
               static_cast<unsigned long>(p.counts[2]), static_cast<unsigned long>(p.counts[3]));
  p.drawn_all = true;
}

constexpr char kHelpText[] =
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
    "  -recover  decode past damage: skip each damaged stretch to the next\n"
    "          record start, note it in the files, and exit with status 3\n";

}  // namespace

void show_progress(ProgressPrinter& p, std::uint64_t offset, std::uint32_t tdr, std::uint32_t ctd,
                   std::uint32_t gps, std::uint32_t acc) {
  p.offset = offset;
  p.counts[0] = tdr;
  p.counts[1] = ctd;
  p.counts[2] = gps;
  p.counts[3] = acc;
  p.drawn_all = false;
  if (!p.terminal) {
    draw_progress(p);
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - p.last_draw >= std::chrono::milliseconds(100)) {
    draw_progress(p);
    std::fflush(p.out);
    p.last_draw = now;
  }
}

void finish_progress(ProgressPrinter& p) {
  if (!p.drawn_all) draw_progress(p);
}

namespace {

void print_counts(std::FILE* out, const Run& run) {
  if (run.tdr_count != 0) std::fprintf(out, "  %s: %lu TDR records\n", run.tdr_name, static_cast<unsigned long>(run.tdr_count));
  if (run.ctd_count != 0) std::fprintf(out, "  %s: %lu CTD records\n", run.ctd_name, static_cast<unsigned long>(run.ctd_count));
  if (run.gps_count != 0) std::fprintf(out, "  %s: %lu GPS records\n", run.gps_name, static_cast<unsigned long>(run.gps_count));
  if (run.acc_count != 0) std::fprintf(out, "  %s: %lu Accel records\n", run.acc_name, static_cast<unsigned long>(run.acc_count));
}

}  // namespace

// The dive table's line of the summary: its dives, or that it could not be written.
void print_dives_line(std::FILE* out, const CommandLine& cl, const DiveTableOutput* dives) {
  if (!cl.dives || dives == nullptr || !dives->finished()) return;
  dives->print_summary(out, cl.dives_name);
}

void print_damage_summary(std::FILE* out, const Run& run, const Recovery& r, bool ok, const CommandLine& cl,
                          const DiveTableOutput* dives) {
  if (run.tag_version < 0) {
    std::fputs("\n\nTag Version: ???\n", out);
  } else {
    std::fprintf(out, "\n\nTag Version: %u", static_cast<unsigned>(run.tag_version));
  }
  const char* const stretches = r.gap_count == 1 ? "stretch" : "stretches";
  std::fprintf(out, "\n\nDamaged image: %lu %s skipped, %llu bytes not decoded\n",
               static_cast<unsigned long>(r.gap_count), stretches, static_cast<unsigned long long>(r.gap_bytes));
  const std::size_t listed = r.gap_count < kListedGaps ? r.gap_count : kListedGaps;
  for (std::size_t i = 0; i < listed; ++i) {
    const Gap& g = r.gaps[i];
    std::fprintf(out, "  %08llX to %08llX, %llu bytes: %s\n", static_cast<unsigned long long>(g.first),
                 static_cast<unsigned long long>(g.last), static_cast<unsigned long long>(g.last - g.first + 1), g.reason);
  }
  if (r.gap_count > listed) std::fprintf(out, "  and %lu more\n", static_cast<unsigned long>(r.gap_count - listed));
  std::fprintf(out, "\nInput: %lu bytes from %s\n\nOutput:\n", static_cast<unsigned long>(run.byte_count), run.input_name);
  print_counts(out, run);
  print_dives_line(out, cl, dives);
  if (!ok) std::fprintf(out, "Failure: %s\n", run.failure_text);
  std::fprintf(out, "Failure: Damaged image: %llu bytes in %lu %s not decoded\n\n",
               static_cast<unsigned long long>(r.gap_bytes), static_cast<unsigned long>(r.gap_count), stretches);
}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

int skelv_main(int argc, const char* const* argv, std::FILE* out, bool terminal) {
  Run run;
  const CommandLine cl = parse_command_line(argc, argv, run);
  if (cl.action == Action::kHelp) {
    std::fputs(kHelpText, out);
    std::fputs(kDiveOptionsHelp, out);
    return 0;
  }
  if (cl.action == Action::kVersion) {
    std::fprintf(out, "Skelv v%s\n", kVersion);
    return 0;
  }
  std::fprintf(out, "\nSkelv  v%s", kVersion);
  if (cl.action == Action::kUsage) {
    std::fputs("\n\nUsage: Skelv filename {offset} {-scan}\n", out);
    return 1;
  }
  if (cl.action == Action::kNameTooLong) {
    std::fputs("\n\nFile name too long: at most 1023 characters\n", out);
    return 1;
  }
#ifndef SKELV_HAVE_NETCDF
  if (cl.netcdf) {
    std::fputs("\n\nThis Skelv was built without NetCDF support: -netcdf needs the NetCDF C library"
               " (Debian package libnetcdf-dev)\n", out);
    return 1;
  }
#endif

  char cwd[kTextField];
  if (::getcwd(cwd, sizeof cwd) == nullptr) std::strcpy(cwd, "?");
  std::fprintf(out, "File: %s\nPWD: %s\n", run.input_name, cwd);

  DecoderState st;
  st.recovery.on = cl.recover;
  st.console = [out](const char* text) { std::fputs(text, out); };
  // The table of dives, of -dives (the text file) and of -netcdf (in the NetCDF dives file).
  std::unique_ptr<DiveTableOutput> dives;
  analysis::DiveSink dive_sink = nullptr;
  void* dive_context = nullptr;
#ifdef SKELV_HAVE_NETCDF
  // The NetCDF datasets: an output of this run, beside the text files.
  std::unique_ptr<NetcdfOutput> netcdf;
  if (cl.netcdf) {
    NetcdfSettings settings;
    char name[kTextField];
    make_output_name(name, "_ctd.nc", run.input_name);
    settings.ctd_path = name;
    make_output_name(name, "_dives.nc", run.input_name);
    settings.dives_path = name;
    make_output_name(name, "_accel.nc", run.input_name);
    settings.accel_path = name;
    make_output_name(name, "_gps.nc", run.input_name);
    settings.gps_path = name;
    settings.input_name = run.input_name;
    struct stat info;
    if (::stat(run.input_name, &info) == 0) settings.input_size = static_cast<long long>(info.st_size);
    settings.history = "Skelv";
    for (int i = 1; i < argc; ++i) settings.history += std::string(" ") + argv[i];
    settings.calibration = calibration_of(st);
    netcdf = std::make_unique<NetcdfOutput>(std::move(settings),
                                            [&st, &run](const char* message) { fail(st, run, "%s", message); });
    dive_sink = &NetcdfOutput::dive_sink;
    dive_context = netcdf.get();
  }
#endif
  // The dive table goes first: its last dive leaves at its end of the run, into the NetCDF file
  // that closes at its own.
  if (cl.dives || dive_sink != nullptr) {
    dives = std::make_unique<DiveTableOutput>(cl.dives ? cl.dives_name : nullptr, cl.dive, dive_sink,
                                              dive_context);
    st.outputs.add(*dives);
  }
#ifdef SKELV_HAVE_NETCDF
  if (netcdf) st.outputs.add(*netcdf);
#endif
  ProgressPrinter printer;
  printer.out = out;
  printer.terminal = terminal;
  const bool ok = decode_file(
      st, run,
      [&printer](std::uint64_t offset, std::uint32_t tdr, std::uint32_t ctd, std::uint32_t gps,
                 std::uint32_t acc) { show_progress(printer, offset, tdr, ctd, gps, acc); },
      cl.offset, cl.scan);
  finish_progress(printer);

  const Recovery& r = st.recovery;
  if (r.undecoded != 0) {
    std::fprintf(stderr, "Skelv: damage stopped decoding at byte %llu; %llu bytes after it were not decoded. "
                 "-recover decodes past the damage.\n",
                 static_cast<unsigned long long>(run.byte_count), static_cast<unsigned long long>(r.undecoded));
  }
  if (r.gap_count != 0) {
    print_damage_summary(out, run, r, ok, cl, dives.get());
    return kExitDamaged;
  }
  if (!ok) {
    std::fprintf(out, "Failure: %s\n", run.failure_text);
    if (dives && !dives->written()) print_dives_line(out, cl, dives.get());
    return st.acc_overflow ? 1 : 0;
  }
  if (run.tag_version < 0) {
    std::fputs("\n\nTag Version: ???\n", out);
  } else {
    std::fprintf(out, "\n\nTag Version: %u", static_cast<unsigned>(run.tag_version));
  }
  std::fprintf(out, "\n\nCompleted.\n\nInput: %lu bytes from %s\n\nOutput:\n",
               static_cast<unsigned long>(run.byte_count), run.input_name);
  print_counts(out, run);
  print_dives_line(out, cl, dives.get());
  return 0;
}

}  // namespace skelv
