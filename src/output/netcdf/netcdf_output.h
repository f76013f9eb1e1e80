// CF-1.10 NetCDF-4 datasets beside the text files: IMAGE_ctd.nc (the CTD samples, with the
// casts), IMAGE_dives.nc (the dive samples, with starts, haul-outs and the table of dives),
// IMAGE_accel.nc and IMAGE_gps.nc. A file is created on the first item of its kind. Every file
// carries the run's notes and failures as events and the calibration in force at the start and
// each change of it as global attributes.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/dive_analysis.h"
#include "analysis/dive_table.h"
#include "records/items.h"

namespace skelv {
namespace nc {
class Dataset;
}

struct NetcdfSettings {
  std::string ctd_path, dives_path, accel_path, gps_path;
  std::string input_name;
  long long input_size = -1;  // bytes; negative when unknown (a pipe)
  std::string history;  // the command line
  Calibration calibration;  // in force at the start of the run
  bool corrected_depths = false;  // the dives file gets the depths corrected for the zero offset
};

class NetcdfOutput final : public Output {
 public:
  // `report` gets one message for each file that could not be written, at end_run.
  using ReportFn = std::function<void(const char* message)>;
  NetcdfOutput(NetcdfSettings settings, ReportFn report);
  ~NetcdfOutput() override;

  void info(const InfoRecord& item) override;
  void dive_start(const DiveStart& item) override;
  void dry_start(const DryStart& item) override;
  void haulout(const Haulout& item) override;
  void dive_sample(const DiveSample& item) override;
  void ctd_cast(const CtdCast& item) override;
  void ctd_sample(const CtdSample& item) override;
  void gps(const GpsSnapshot& item) override;
  void acc_burst(const AccBurst& item) override;
  void acc_sample(const AccValues& item) override;
  void note(const Note& item) override;
  void failure(const Failure& item) override;
  void suspect(const SuspectRecord& item) override;
  void end_run(const RunEvents& events) override;

  // One row of the dives file's table of dives; the dive table's output hands them in order,
  // and must end its run before this one.
  void dive(const analysis::Dive& dive);
  // A DiveSink whose context is a NetcdfOutput.
  static void dive_sink(void* context, const analysis::Dive& d) { static_cast<NetcdfOutput*>(context)->dive(d); }
  // A CorrectedSink whose context is a NetcdfOutput: the dive samples' corrected depths.
  static void corrected_sink(void* context, const analysis::CorrectedSample& s);

  struct Files;

 void files(std::vector<WrittenFile>& out) const override;

 private:
  // Reports the errors of `ds` from the `from`th on; returns how many it has.
  std::size_t report_errors(const nc::Dataset& ds, std::size_t from);

  ReportFn report_;
  std::unique_ptr<Files> files_;
};

}  // namespace skelv
