#include "output/netcdf/netcdf_output.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "output/netcdf/nc_files.h"

namespace skelv {
namespace {

using ncout::AccFile;
using ncout::CtdFile;
using ncout::DivesFile;
using ncout::GpsFile;
using ncout::RunEvent;

constexpr long long kMaxCalibrationLines = 1000;

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string calibration_text(const Calibration& c) {
  return "tdr_interval=" + number(c.tdr_interval * 0.01) + " s ctd_interval=" + number(c.ctd_interval * 0.01) +
         " s pressure_scale=" + number(c.pressure_scale) + " pressure_offset=" + number(c.pressure_offset) +
         " temperature_offset=" + number(c.temperature_offset) + " temperature_scale=" +
         number(c.temperature_scale) + " conductivity_offset=" + number(c.conductivity_offset) +
         " conductivity_scale=" + number(c.conductivity_scale) + " lag_time_constant=" +
         number(c.lag_time_constant) + " ms photo_channels=" + number(c.photo_channels) +
         " acc_scale=" + number(c.acc_scale) + " acc_offset=" + number(c.acc_offset);
}

std::string offset_text(std::uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "@%08llX", static_cast<unsigned long long>(offset));
  return text;
}

}  // namespace

struct NetcdfOutput::Files {
  NetcdfSettings settings;
  nc::TextAttrs globals;
  nc::Worker worker;
  std::unique_ptr<CtdFile> ctd;
  std::unique_ptr<DivesFile> dives;
  std::unique_ptr<AccFile> acc;
  std::unique_ptr<GpsFile> gps;
  ncout::RunOutcome outcome;
  Calibration calibration;
  bool damaged = false;
  bool ending = false;

  ncout::FileStart start(const std::string& path) {
    return {worker, path, globals, settings.input_size, settings.corrected_depths};
  }
  // Each file, created on its first item. (The creation is kept out of line: the samples pass
  // here one by one.)
  template <class File>
  [[gnu::noinline, gnu::cold]] File& create(std::unique_ptr<File>& file, const std::string& path) {
    file = std::make_unique<File>(start(path));
    return *file;
  }
  CtdFile& ctd_file() { return ctd ? *ctd : create(ctd, settings.ctd_path); }
  DivesFile& dives_file() { return dives ? *dives : create(dives, settings.dives_path); }
  AccFile& acc_file() { return acc ? *acc : create(acc, settings.accel_path); }
  GpsFile& gps_file() { return gps ? *gps : create(gps, settings.gps_path); }

  template <class F>
  void each_file(F f) {
    if (ctd) f(ctd->ds, ctd->events);
    if (dives) f(dives->ds, dives->events);
    if (acc) f(acc->ds, acc->events);
    if (gps) f(gps->ds, gps->events);
  }
  void put_event(const RunEvent& e) {
    each_file([&](nc::Dataset& ds, ncout::EventColumns& ev) { ev.put(ds, e); });
  }
};

NetcdfOutput::NetcdfOutput(NetcdfSettings settings, ReportFn report)
    : report_(std::move(report)), files_(std::make_unique<Files>()) {
  nc::keep_library_at_exit();
  Files& f = *files_;
  f.settings = std::move(settings);
  f.calibration = f.settings.calibration;
  f.outcome.input_size = f.settings.input_size;
  char created[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);
  f.globals = {{"Conventions", "CF-1.10"},
               {"source", "Skelv v" SKELV_VERSION_TEXT " from a tag memory image"},
               {"history", std::string(created) + " " + f.settings.history},
               {"date_created", created},
               {"input_file", f.settings.input_name},
               {"calibration_at_start", calibration_text(f.settings.calibration)}};
}

NetcdfOutput::~NetcdfOutput() { files_->worker.finish(); }

void NetcdfOutput::info(const InfoRecord& item) {
  Files& f = *files_;
  f.outcome.tag_version = item.tag_version;
  if (item.calibration == f.calibration) return;
  f.calibration = item.calibration;
  if (++f.outcome.calibration_change_count <= kMaxCalibrationLines) {
    f.outcome.calibration_changes += offset_text(item.offset) + ": " + calibration_text(item.calibration) + "\n";
  }
}

void NetcdfOutput::dive_start(const DiveStart& item) {
  files_->dives_file().start(DivesFile::StartKind::kDive, item.time, item.regime, item.interval, item.offset);
}

void NetcdfOutput::dry_start(const DryStart& item) {
  files_->dives_file().start(DivesFile::StartKind::kDry, item.time, item.regime, item.interval, item.offset);
}

void NetcdfOutput::haulout(const Haulout& item) { files_->dives_file().haulout(item); }

void NetcdfOutput::dive_sample(const DiveSample& item) { files_->dives_file().sample(item); }

void NetcdfOutput::corrected_sink(void* context, const analysis::CorrectedSample& s) {
  auto& self = *static_cast<NetcdfOutput*>(context);
  if (!self.files_->ending) self.files_->dives_file().corrected(s);
}

void NetcdfOutput::dive(const analysis::Dive& d) {
  if (files_->ending) return;  // the files are closed
  files_->dives_file().dive(d);
}

void NetcdfOutput::ctd_cast(const CtdCast& item) { files_->ctd_file().cast(item); }

void NetcdfOutput::ctd_sample(const CtdSample& item) { files_->ctd_file().sample(item); }

void NetcdfOutput::gps(const GpsSnapshot& item) { files_->gps_file().snapshot(item); }

void NetcdfOutput::acc_burst(const AccBurst& /*item*/) { files_->acc_file(); }

void NetcdfOutput::acc_sample(const AccValues& item) { files_->acc_file().sample(item); }

void NetcdfOutput::note(const Note& item) {
  Files& f = *files_;
  const RunEvent e = ncout::note_event(item.offset, item.text);
  if (e.kind == ncout::EventKind::kDamage) f.damaged = true;
  if (item.scope == NoteScope::kDiveFile) {
    if (f.dives) f.dives->events.put(f.dives->ds, e);
    return;
  }
  f.put_event(e);
}

void NetcdfOutput::failure(const Failure& item) {
  Files& f = *files_;
  if (f.ending) return;
  f.put_event(ncout::failure_event(item.offset, item.text));
}

void NetcdfOutput::suspect(const SuspectRecord& item) { files_->put_event(ncout::suspect_event(item.offset, item.reason)); }

void NetcdfOutput::end_run(const RunEvents& events) {
  Files& f = *files_;
  // Every file's data reach the disk first: a file that can't be written fails the run before
  // any file is given the run's result, so that each file's result knows of it. The result goes
  // to the disk the same way; should that fail for one file, the others learn the new result.
  if (f.dives) f.dives->pad_corrected();
  std::size_t reported[4] = {};
  const auto sync_and_report = [&] {
    f.each_file([&](nc::Dataset& ds, ncout::EventColumns&) { ds.sync(); });
    f.worker.drain();
    std::size_t k = 0;
    f.each_file([&](nc::Dataset& ds, ncout::EventColumns&) {
      reported[k] = report_errors(ds, reported[k]);
      ++k;
    });
  };
  sync_and_report();
  for (int round = 0; round < 2; ++round) {
    const std::string result = result_name(result_of(events));
    if (round > 0 && result == f.outcome.result) break;
    f.outcome.result = result;
    f.each_file([&](nc::Dataset& ds, ncout::EventColumns&) { ncout::put_outcome(ds, f.outcome); });
    sync_and_report();
  }
  f.each_file([&](nc::Dataset& ds, ncout::EventColumns&) { ds.close(); });
  f.worker.finish();
  f.ending = true;
  std::size_t k = 0;
  f.each_file([&](nc::Dataset& ds, ncout::EventColumns&) { report_errors(ds, reported[k++]); });
}

void NetcdfOutput::files(std::vector<WrittenFile>& out) const {
  const Files& f = *files_;
  const auto add = [&out](const nc::Dataset& ds, int obs) {
    struct stat s {};
    const bool whole = ds.errors().empty() && ::stat(ds.path().c_str(), &s) == 0;
    out.push_back(WrittenFile{ds.path(), "netcdf", ds.rows(obs), whole ? static_cast<std::uint64_t>(s.st_size) : 0, whole});
  };
  if (f.ctd) add(f.ctd->ds, f.ctd->obs);
  if (f.dives) add(f.dives->ds, f.dives->obs);
  if (f.acc) add(f.acc->ds, f.acc->obs);
  if (f.gps) add(f.gps->ds, f.gps->obs);
}

std::size_t NetcdfOutput::report_errors(const nc::Dataset& ds, std::size_t from) {
  const std::vector<std::string>& errors = ds.errors();
  for (std::size_t i = from; report_ && i < errors.size(); ++i) {
    const std::string message = "Can't write NetCDF file " + ds.path() + " (" + errors[i] + ")\n";
    report_(message.c_str());
  }
  return errors.size();
}

}  // namespace skelv
