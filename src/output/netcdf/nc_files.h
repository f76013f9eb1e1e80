// The four datasets of -netcdf, one writer each. Every file's root group holds one row per
// sample along `obs` (per snapshot in the GPS file), so that a table of the root is a table of
// the samples; what has rows of another kind (casts, starts, haul-outs, dives, entries, events)
// lives in a group of its own.
#pragma once
#include <cstdint>
#include <string>

#include "analysis/dive_analysis.h"
#include "analysis/dive_table.h"
#include "output/netcdf/nc_dataset.h"
#include "output/netcdf/nc_run_record.h"
#include "records/items.h"

namespace skelv::ncout {

// What every file's writer needs to begin: the writer thread, its name and the global attributes.
struct FileStart {
  nc::Worker& worker;
  std::string path;
  nc::TextAttrs globals;  // Conventions, source, history, ... (title is added per file)
  long long input_size;   // bytes, negative when unknown: sizes the blocks
  bool corrected_depths = false;  // the dives file has zero-offset corrected depths
};

struct CtdFile {
  explicit CtdFile(const FileStart& start);
  void cast(const CtdCast& item);
  void sample(const CtdSample& item);

  nc::Dataset ds;
  EventColumns events;
  int obs = -1, cast_dim = -1;
  int cast_number = -1, cast_time = -1, interval = -1, mask = -1, sensor_set = -1, cast_offset = -1;
  int time = -1, pressure = -1, abs_pressure = -1, surface = -1, temperature = -1, conductivity = -1,
      salinity = -1, sample_cast = -1;
  int sensor[kCtdSensorKinds] = {};
  // The sample columns' stages (see Dataset::stage).
  struct {
    double* time;
    float *pressure, *abs_pressure, *surface, *temperature, *conductivity, *salinity;
    float* sensor[kCtdSensorKinds];
    std::int32_t* cast;
  } at{};
};

struct DivesFile {
  explicit DivesFile(const FileStart& start);
  enum class StartKind { kDive = 0, kDry = 1 };
  void start(StartKind kind, double time, std::uint8_t regime, std::uint16_t interval, std::uint64_t offset);
  void haulout(const Haulout& item);
  void sample(const DiveSample& item);
  // A sample's corrected depth, in sample order, some samples after the sample itself.
  void corrected(const analysis::CorrectedSample& item);
  // The samples whose corrected depth never came (the end of the run): rows of fill.
  void pad_corrected();
  void dive(const analysis::Dive& d);

  nc::Dataset ds;
  EventColumns events;
  int obs = -1, haul = -1, start_dim = -1;
  int time = -1, depth = -1, temperature = -1, photo[kMaxPhotoChannels] = {}, odometer = -1, mag[3] = {},
      mag_temperature = -1, wetdry = -1, regime = -1;
  int corrected_obs = -1, depth_corrected = -1, depth_offset = -1;  // with corrected depths only
  // The sample columns' stages (see Dataset::stage).
  struct {
    double* time;
    std::int32_t *depth, *temperature, *photo[kMaxPhotoChannels], *odometer, *mag[3];
    std::int8_t *mag_temperature, *regime;
    std::int16_t* wetdry;
    std::int32_t *depth_corrected, *depth_offset;
  } at{};
  int haul_start = -1, haul_end = -1;
  analysis::HauloutClock clock;  // where the derived outputs begin a haul-out
  int start_time = -1, start_kind = -1, start_regime = -1, start_interval = -1, start_offset = -1;
  struct DiveColumns {
    int dim = -1, number = -1, start = -1, end = -1, duration = -1, max_depth = -1, max_depth_time = -1,
        bottom_time = -1, descent_time = -1, descent = -1, ascent_time = -1, ascent = -1, temperature = -1,
        surface = -1, start_cut = -1, end_cut = -1;
  } dives;
};

struct AccFile {
  explicit AccFile(const FileStart& start);
  void sample(const AccValues& item);

  nc::Dataset ds;
  EventColumns events;
  int obs = -1, time = -1, axis[3] = {}, burst = -1;
  struct {
    double* time;
    float* axis[3];
    std::int32_t* burst;
  } at{};  // the sample columns' stages (see Dataset::stage)
};

struct GpsFile {
  explicit GpsFile(const FileStart& start);
  void snapshot(const GpsSnapshot& item);

  nc::Dataset ds;
  EventColumns events;
  int obs = -1, entry = -1;
  int time = -1, count = -1, offset = -1, entry_snapshot = -1, value = -1, word = -1;
};

// The global attributes with the file's title.
nc::TextAttrs with_title(const FileStart& start, const char* title);

}  // namespace skelv::ncout
