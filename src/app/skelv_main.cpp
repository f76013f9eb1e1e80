#include "app/skelv_main.h"

#include <unistd.h>

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/arguments.h"
#include "app/command_line.h"
#include "app/console.h"
#include "app/output_names.h"
#include "output/dives/dive_table_output.h"
#include "output/report/run_report.h"
#include "run/driver.h"
#ifdef SKELV_HAVE_NETCDF
#include "output/netcdf/netcdf_output.h"
#endif

namespace skelv {
namespace {

// How a -strict run exits.
int strict_status(const RunEvents& events) {
  switch (result_of(events)) {
    case RunResult::kCompleted: return 0;
    case RunResult::kFailed: return kExitFailed;
    case RunResult::kDamaged: return kExitDamaged;
  }
  return kExitFailed;
}

// Writes IMAGE_report.json from what the run came to; a report that can't be written is a
// failure of the run.
void report_run(RunState& s, const CommandLine& cl, int argc, const char* const* argv, const CalibrationLog& log,
                OutFile& file) {
  ReportInput in;
  for (int i = 0; i < argc; ++i) in.command_line.emplace_back(argv[i]);
  in.input_name = s.run.input_name;
  in.end_offset = s.run.byte_count;
  in.tag_version = s.run.tag_version;
  in.events = &s.events;
  in.start_offset = cl.offset;
  struct stat info {};
  if (::stat(s.run.input_name, &info) == 0 && S_ISREG(info.st_mode)) in.input_size = info.st_size;
  in.undecoded = s.recovery.undecoded;
  for (int i = 0; i < s.outputs.count; ++i) s.outputs.items[i]->files(in.files);
  in.calibration = &log;
  if (out_is_open(file) && !write_report(file, report_json(in))) {
    fail(s.decoder, "Can't write report file %s\n", cl.report_name);
  }
}

// One line on standard error when decoding stopped before the end of the image, or when records
// looked damaged but were decoded. After a start offset, a stop is most likely the offset's
// doing: a byte inside a record taken for a record start.
void print_hints(std::FILE* err, const Run& run, const RunEvents& events, std::uint64_t undecoded,
                 const CommandLine& cl) {
  const auto at = static_cast<unsigned long long>(run.byte_count);
  const auto left = static_cast<unsigned long long>(undecoded);
  if (undecoded != 0 && cl.offset > 0) {
    std::fprintf(err,
                 "Skelv: decoding stopped at byte %llu; %llu bytes after it were not decoded. The start offset %lld "
                 "may lie inside a record: start at the first byte of a record (the -scan dump lists them) or at 0.\n",
                 at, left, static_cast<long long>(cl.offset));
  } else if (undecoded != 0) {
    std::fprintf(err, "Skelv: damage stopped decoding at byte %llu; %llu bytes after it were not decoded. "
                 "-recover decodes past the damage.\n", at, left);
  } else if (events.suspects != 0 && !cl.recover) {
    std::fprintf(err, "Skelv: %llu record%s looked damaged but %s decoded, the first at byte %llu; "
                 "-recover skips damaged records.\n", static_cast<unsigned long long>(events.suspects),
                 events.suspects == 1 ? "" : "s", events.suspects == 1 ? "was" : "were",
                 static_cast<unsigned long long>(events.first_suspect));
  }
}

// The dive table's line of the summary: its dives (a table that could not be written is a failure).
std::string dives_line(const CommandLine& cl, const DiveTableOutput* dives) {
  if (!cl.dives || dives == nullptr || !dives->finished() || !dives->written()) return "";
  return dives->summary(cl.dives_name);
}

#ifdef SKELV_HAVE_NETCDF
// The NetCDF datasets of -netcdf: an output of this run, beside the text files.
std::unique_ptr<NetcdfOutput> make_netcdf(RunState& s, const CommandLine& cl, int argc, const char* const* argv) {
  NetcdfSettings settings;
  char name[kTextField];
  make_output_name(name, "_ctd.nc", s.run.input_name);
  settings.ctd_path = name;
  make_output_name(name, "_dives.nc", s.run.input_name);
  settings.dives_path = name;
  make_output_name(name, "_accel.nc", s.run.input_name);
  settings.accel_path = name;
  make_output_name(name, "_gps.nc", s.run.input_name);
  settings.gps_path = name;
  settings.input_name = s.run.input_name;
  struct stat info;
  if (::stat(s.run.input_name, &info) == 0 && S_ISREG(info.st_mode)) settings.input_size = static_cast<long long>(info.st_size);
  settings.history = "Skelv";
  for (int i = 1; i < argc; ++i) settings.history += std::string(" ") + argv[i];
  settings.calibration = calibration_of(s.decoder.deployment);
  settings.corrected_depths = cl.dive.zoc.mode != analysis::ZocMode::kNone;
  return std::make_unique<NetcdfOutput>(std::move(settings),
                                        [&s](const char* message) { fail(s.decoder, "%s", message); });
}
#endif

}  // namespace

int skelv_main(int argc, const char* const* argv, std::FILE* out, bool terminal) {
  Run run;
  const CommandLine cl = parse_command_line(argc, argv, run);
  if (cl.action == Action::kHelp) {
    std::fputs(kHelpText, out);
    std::fputs(kDiveOptionsHelp, out);
    std::fputs(kHelpTail, out);
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
  if (cl.action == Action::kUnknownSwitch) {
    std::fprintf(out, "\n\nUnknown switch: %s\n%s", cl.unknown, kUsageLine);
    return 1;
  }
  if (cl.action == Action::kNameTooLong) {
    std::fputs("\n\nFile name too long: at most 1023 characters\n", out);
    return 1;
  }
#ifndef SKELV_HAVE_NETCDF
  if (cl.netcdf) {
    std::fputs("\n\nThis Skelv was built without NetCDF support: -netcdf needs the NetCDF C library"
               " (Debian package libnetcdf-dev)\n",
               out);
    return 1;
  }
#endif

  char cwd[kTextField];
  if (::getcwd(cwd, sizeof cwd) == nullptr) std::strcpy(cwd, "?");
  std::fprintf(out, "File: %s\nPWD: %s\n", run.input_name, cwd);

  auto state = std::make_unique<RunState>(run);
  RunState& s = *state;
  s.decoder.damage.on = cl.recover;
  s.decoder.console = [out](const char* text) { std::fputs(text, out); };
  // The table of dives, of -dives (the text file) and of -netcdf (in the NetCDF dives file).
  std::unique_ptr<DiveTableOutput> dives;
  analysis::DiveSink dive_sink = nullptr;
  analysis::CorrectedSink samples_sink = nullptr;
  void* dive_context = nullptr;
#ifdef SKELV_HAVE_NETCDF
  std::unique_ptr<NetcdfOutput> netcdf;
  if (cl.netcdf) {
    netcdf = make_netcdf(s, cl, argc, argv);
    dive_sink = &NetcdfOutput::dive_sink;
    if (cl.dive.zoc.mode != analysis::ZocMode::kNone) samples_sink = &NetcdfOutput::corrected_sink;
    dive_context = netcdf.get();
  }
#endif
  // The dive table goes first: its last dive leaves at its end of the run, into the NetCDF file
  // that closes at its own.
  if (cl.dives || dive_sink != nullptr) {
    dives = std::make_unique<DiveTableOutput>(cl.dives ? cl.dives_name : nullptr, cl.dive,
                                              [&s](const char* message) { fail(s.decoder, "%s", message); },
                                              dive_sink, dive_context, samples_sink, dive_context);
    s.outputs.add(*dives);
  }
#ifdef SKELV_HAVE_NETCDF
  if (netcdf) s.outputs.add(*netcdf);
#endif
  CalibrationLog calibration_log(calibration_of(s.decoder.deployment));
  // The report's file is made before decoding: a name that can't take it is a failure that the
  // outputs written at the end of the run (the NetCDF files' result) already know of.
  OutFile report;
  if (cl.report) {
    s.outputs.add(calibration_log);
    if (!out_open(report, cl.report_name)) fail(s.decoder, "Can't create report file %s\n", cl.report_name);
  }
  ProgressPrinter printer;
  printer.out = out;
  printer.terminal = terminal;
  decode_file(
      s,
      [&printer](std::uint64_t offset, std::uint32_t tdr, std::uint32_t ctd, std::uint32_t gps, std::uint32_t acc) {
        show_progress(printer, offset, tdr, ctd, gps, acc);
      },
      cl.offset, cl.scan);
  finish_progress(printer);
  if (cl.report) {
    report_run(s, cl, argc, argv, calibration_log, report);
    std::snprintf(run.failure_text, sizeof run.failure_text, "%s", s.events.last_failure.c_str());
  }

  print_hints(stderr, run, s.events, s.recovery.undecoded, cl);
  const std::string dives_text = dives_line(cl, dives.get());
  ExtraLines extra;
  extra.text = dives_text.c_str();
  if (s.events.damaged != 0) {
    print_damage_summary(out, run, s.events, extra);
    return cl.strict ? strict_status(s.events) : kExitDamaged;
  }
  if (s.events.failed()) {
    print_failure(out, run, s.events);
    if (cl.strict) return strict_status(s.events);
    return s.decoder.acc.acc_overflow ? 1 : 0;
  }
  print_completed(out, run, extra);
  return 0;
}

}  // namespace skelv
