#include "output/netcdf/netcdf_output.h"

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "output/netcdf/nc_dataset.h"

namespace skelv {
namespace {

using nc::Type;
using nc::VarSpec;

// Rows per block and chunk: of sample dimensions at most kSampleBlock, of casts, starts,
// haul-outs, dives, snapshots and events a sixteenth of that. A small image gets small chunks,
// so that its files stay small; a chunk is written whole.
constexpr std::size_t kSampleBlock = 1 << 14;
constexpr std::size_t kMinSampleBlock = 1 << 6;
constexpr std::size_t kMinSmallBlock = 1 << 4;

// Rows of a sample block for an image of `size` bytes (negative: unknown): about one row per
// 32 bytes of image, a power of two; images from 512 KiB up get whole blocks.
std::size_t sample_block_for(long long size) {
  std::size_t rows = kMinSampleBlock;
  while (rows < kSampleBlock && (size < 0 || static_cast<unsigned long long>(size) / 32 > rows)) rows *= 2;
  return rows;
}
constexpr std::size_t kMaxCalibrationLines = 1000;
constexpr std::size_t kMaxOpenCasts = 64;
constexpr char kTimeUnits[] = "seconds since 1970-01-01 00:00:00 UTC";

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

VarSpec variable(const std::string& name, Type type, const std::string& units, const std::string& standard_name,
             const std::string& long_name) {
  VarSpec v;
  v.name = name;
  v.type = type;
  v.units = units;
  v.standard_name = standard_name;
  v.long_name = long_name;
  return v;
}

VarSpec time_var(const std::string& name, const std::string& long_name) {
  VarSpec v = variable(name, Type::kDouble, kTimeUnits, "time", long_name);
  v.text_attrs = {{"calendar", "standard"}};
  return v;
}

VarSpec plain(const std::string& name, Type type, const std::string& units, const std::string& standard_name,
              const std::string& long_name, bool lazy = false) {
  VarSpec v = variable(name, type, units, standard_name, long_name);
  v.fill = true;
  v.lazy = lazy;
  return v;
}

// Raw counts with their scale: exact, and small to store. The fill of a 16-bit type is a count
// no sensor reaches (65535 * 0.05 K, 65535 * 0.12 m, -32767 * 0.1 uT).
VarSpec packed(const std::string& name, Type type, const std::string& units, const std::string& standard_name,
               const std::string& long_name, double scale, double offset, bool lazy) {
  VarSpec v = plain(name, type, units, standard_name, long_name, lazy);
  v.scale_factor = scale;
  v.add_offset = offset;
  return v;
}

// The event variables every file carries: the run's notes and failures.
struct Events {
  int dim = -1, offset = -1, kind = -1, text = -1;
  void add(nc::Dataset& ds, std::size_t block) {
    dim = ds.add_dim("event", block);
    offset = ds.add_column(dim, variable("event_offset", Type::kInt64, "1", "", "input byte offset of the event"));
    VarSpec k = variable("event_kind", Type::kByte, "1", "", "kind of event");
    k.int_attrs = {{"flag_values", {0, 1}}};
    k.text_attrs = {{"flag_meanings", "note failure"}};
    kind = ds.add_column(dim, k);
    text = ds.add_column(dim, variable("event_text", Type::kString, "", "", "text of the note or failure"));
  }
  void put(nc::Dataset& ds, std::uint64_t at, int what, const char* message) {
    ds.set(offset, static_cast<double>(at));
    ds.set(kind, what);
    std::string t = message;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    ds.set_text(text, std::move(t));
    ds.end_row(dim);
  }
};

struct CtdFile {
  nc::Dataset ds;
  Events events;
  int profile = -1, obs = -1;
  int cast = -1, profile_time = -1, interval = -1, surface = -1, mask = -1, sensor_set = -1, row_size = -1,
      profile_offset = -1;
  int time = -1, pressure = -1, abs_pressure = -1, temperature = -1, conductivity = -1, salinity = -1;
  int sensor[kCtdSensorKinds] = {};
  CtdFile(nc::Worker& w, const std::string& path, std::vector<std::pair<std::string, std::string>> g)
      : ds(w, path, std::move(g)) {}
};

struct DivesFile {
  nc::Dataset ds;
  Events events;
  int obs = -1, haul = -1, start = -1, dive = -1;
  int time = -1, depth = -1, temperature = -1, photo[kMaxPhotoChannels] = {}, odometer = -1, mag[3] = {},
      mag_temperature = -1, wetdry = -1, regime = -1;
  int haul_start = -1, haul_end = -1;
  int start_time = -1, start_kind = -1, start_regime = -1, start_interval = -1, start_offset = -1;
  int dive_number = -1, dive_start = -1, dive_end = -1, dive_duration = -1, dive_max_depth = -1,
      dive_max_depth_time = -1, dive_bottom_time = -1, dive_descent = -1, dive_ascent = -1, dive_temperature = -1,
      dive_surface = -1, dive_cut = -1;
  DivesFile(nc::Worker& w, const std::string& path, std::vector<std::pair<std::string, std::string>> g)
      : ds(w, path, std::move(g)) {}
};

struct AccFile {
  nc::Dataset ds;
  Events events;
  int obs = -1, time = -1, axis[3] = {}, burst = -1;
  AccFile(nc::Worker& w, const std::string& path, std::vector<std::pair<std::string, std::string>> g)
      : ds(w, path, std::move(g)) {}
};

struct GpsFile {
  nc::Dataset ds;
  Events events;
  int snapshot = -1, entry = -1;
  int time = -1, count = -1, offset = -1, value = -1, word = -1;
  GpsFile(nc::Worker& w, const std::string& path, std::vector<std::pair<std::string, std::string>> g)
      : ds(w, path, std::move(g)) {}
};

struct CastMeta {
  std::uint32_t number = 0;
  double time = 0.0;
  double interval = 0.0;
  double surface = 0.0;
  std::uint8_t mask = 0;
  int sensor_set = 0;
  std::uint64_t offset = 0;
};

// Names, units and standard names of the auxiliary CTD sensors, by CtdSensor.
struct SensorSpec {
  const char* name;
  const char* units;
  const char* standard_name;
  const char* long_name;
};
constexpr SensorSpec kSensors[kCtdSensorKinds] = {
    {"fluorescence", "V", "", "fluorometer output (Fluoro(V), FLUORO(V))"},
    {"oxygen", "umol L-1", "mole_concentration_of_dissolved_molecular_oxygen_in_sea_water",
     "dissolved oxygen (DOxy(umol/l))"},
    {"bphase", "degree", "", "oxygen optode blue phase (BPhase(deg))"},
    {"ppfd", "umol m-2 s-1", "downwelling_photosynthetic_photon_flux_in_sea_water",
     "photosynthetic photon flux density (PPFD(umol/m2/s))"},
    {"photo1", "1", "", "first raw light channel (text column Photo2)"},
    {"photo2", "1", "", "second raw light channel (text column Photo2)"},
    {"photo3", "1", "", "third raw light channel (text column Photo3)"},
    {"internal_temperature", "degree_C", "", "internal temperature of the tag (INTERNAL_TEMP(C))"},
};

std::string sensor_meanings() {
  std::string s;
  for (const SensorSpec& k : kSensors) s += (s.empty() ? "" : " ") + std::string(k.name);
  return s;
}

// Seconds of a GPS snapshot's date fields; false when they are no valid date and time.
bool gps_time(const std::uint8_t* head, double& seconds) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int y = 1900 + head[0], m = head[1], d = head[2];
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1] || head[3] > 23 || head[4] > 59 || head[5] > 59) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (m == 2 && d == 29 && !leap) return false;
  // Days since 1970-01-01 of a proleptic Gregorian date (years 1900..2155 here).
  const int yy = y - (m <= 2 ? 1 : 0);
  const int era = yy / 400;
  const int yoe = yy - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
  seconds = static_cast<double>(days * 86400 + head[3] * 3600 + head[4] * 60 + head[5]);
  return true;
}

}  // namespace

struct NetcdfOutput::Files {
  NetcdfSettings settings;
  std::string created;  // creation time, ISO 8601
  nc::Worker worker;
  std::unique_ptr<CtdFile> ctd;
  std::unique_ptr<DivesFile> dives;
  std::unique_ptr<AccFile> acc;
  std::unique_ptr<GpsFile> gps;
  std::int32_t tag_version = -1;
  Calibration calibration;
  std::string calibration_changes;
  long long calibration_change_count = 0;
  std::vector<CastMeta> casts;  // casts started and possibly still open, oldest first
  bool segment_open = false;       // a profile row is in progress
  std::uint32_t segment_cast = 0;  // its cast
  CastMeta segment;
  std::uint32_t segment_rows = 0;
  bool ending = false;
  std::string last_failure;

  std::vector<std::pair<std::string, std::string>> globals(const char* feature_type, const char* title) const {
    return {{"Conventions", "CF-1.10"},
            {"featureType", feature_type},
            {"title", title},
            {"source", "Skelv v" SKELV_VERSION_TEXT " from a tag memory image"},
            {"history", created + " " + settings.history},
            {"date_created", created},
            {"input_file", settings.input_name},
            {"calibration_at_start", calibration_text(settings.calibration)}};
  }

  std::size_t sample_block() const { return sample_block_for(settings.input_size); }
  std::size_t small_block() const { return std::max(kMinSmallBlock, sample_block() / 16); }

  std::string deployment() const {
    const std::size_t slash = settings.input_name.find_last_of("/\\");
    return slash == std::string::npos ? settings.input_name : settings.input_name.substr(slash + 1);
  }

  // The events and, in a time series file, the one series' name (the image's file name).
  void common(nc::Dataset& ds, Events& events, bool series = true) {
    events.add(ds, small_block());
    ds.put_scalar_text("deployment", "memory image of the deployment", series ? "timeseries_id" : "", deployment());
  }

  CtdFile& ctd_file() {
    if (ctd) return *ctd;
    ctd = std::make_unique<CtdFile>(worker, settings.ctd_path,
                                    globals("profile", "CTD profiles of a tag deployment"));
    CtdFile& f = *ctd;
    f.profile = f.ds.add_dim("profile", small_block());
    f.obs = f.ds.add_dim("obs", sample_block());
    VarSpec cast = variable("cast", Type::kInt, "1", "", "cast number in the run");
    cast.text_attrs = {{"cf_role", "profile_id"}};
    f.cast = f.ds.add_column(f.profile, cast);
    f.profile_time = f.ds.add_column(f.profile, time_var("profile_time", "time of the cast's first sample"));
    f.interval = f.ds.add_column(f.profile, plain("sampling_interval", Type::kDouble, "s", "", "sampling interval"));
    f.surface = f.ds.add_column(f.profile, plain("surface_pressure", Type::kFloat, "dbar",
                                                 "sea_water_pressure_at_sea_water_surface",
                                                 "absolute pressure at the surface (ABS_PRESSURE_AT_SURFACE)"));
    f.mask = f.ds.add_column(f.profile, variable("channel_mask", Type::kUByte, "1", "", "channel mask byte of the cast start"));
    VarSpec set = variable("sensor_set", Type::kShort, "1", "", "auxiliary sensors of the cast");
    set.int_attrs = {{"flag_masks", {1, 2, 4, 8, 16, 32, 64, 128}}};
    set.text_attrs = {{"flag_meanings", sensor_meanings()}};
    f.sensor_set = f.ds.add_column(f.profile, set);
    VarSpec rows = variable("row_size", Type::kInt, "1", "", "number of samples of the cast");
    rows.text_attrs = {{"sample_dimension", "obs"}};
    f.row_size = f.ds.add_column(f.profile, rows);
    f.profile_offset = f.ds.add_column(f.profile, variable("cast_offset", Type::kInt64, "1", "", "input byte offset after the cast start record"));

    VarSpec t = time_var("time", "time of the sample");
    t.text_attrs.push_back({"axis", "T"});
    f.time = f.ds.add_column(f.obs, t);
    VarSpec p = plain("pressure", Type::kFloat, "dbar", "sea_water_pressure_due_to_sea_water",
                      "pressure relative to the surface (PRESSURE_RE_SURFACE)");
    p.text_attrs = {{"positive", "down"}, {"axis", "Z"}};
    f.pressure = f.ds.add_column(f.obs, p);
    const auto data = [](VarSpec v) {
      v.text_attrs.push_back({"coordinates", "time pressure"});
      return v;
    };
    f.abs_pressure = f.ds.add_column(f.obs, data(plain("abs_pressure", Type::kFloat, "dbar", "sea_water_pressure",
                                                       "absolute pressure (ABS_PRESSURE)")));
    f.temperature = f.ds.add_column(f.obs, data(plain("temperature", Type::kFloat, "degree_C", "sea_water_temperature",
                                                      "sea water temperature, ITS-90 (TEMP(ITS-90))")));
    f.conductivity = f.ds.add_column(f.obs, data(plain("conductivity", Type::kFloat, "mS cm-1",
                                                       "sea_water_electrical_conductivity", "conductivity (COND)")));
    f.salinity = f.ds.add_column(f.obs, data(plain("salinity", Type::kFloat, "1", "sea_water_practical_salinity",
                                                   "practical salinity (PSS-78) from the lagged conductivity (SAL_LAGGED)")));
    for (std::size_t k = 0; k < kCtdSensorKinds; ++k) {
      const SensorSpec& s = kSensors[k];
      f.sensor[k] = f.ds.add_column(f.obs, data(plain(s.name, Type::kFloat, s.units, s.standard_name, s.long_name, true)));
    }
    common(f.ds, f.events, false);
    f.ds.define();
    return f;
  }

  DivesFile& dives_file() {
    if (dives) return *dives;
    dives = std::make_unique<DivesFile>(worker, settings.dives_path,
                                        globals("timeSeries", "Dive samples of a tag deployment"));
    DivesFile& f = *dives;
    f.obs = f.ds.add_dim("obs", sample_block());
    f.haul = f.ds.add_dim("haulout", small_block());
    f.start = f.ds.add_dim("start", small_block());
    VarSpec t = time_var("time", "time of the dive sample");
    t.text_attrs.push_back({"axis", "T"});
    f.time = f.ds.add_column(f.obs, t);
    const auto data = [](VarSpec v) {
      v.text_attrs.push_back({"coordinates", "time"});
      return v;
    };
    VarSpec depth = packed("depth", Type::kInt, "m", "depth", "depth (DEPTH; 0 in a dry period's temperature stream)", 0.001, 0.0, false);
    depth.text_attrs = {{"positive", "down"}, {"axis", "Z"}};
    f.depth = f.ds.add_column(f.obs, depth);
    f.temperature = f.ds.add_column(f.obs, data(packed("temperature", Type::kUShort, "degree_C", "", "temperature (TEMP(C))", 0.05, -273.15, true)));
    for (int i = 0; i < kMaxPhotoChannels; ++i) {
      const std::string n = std::to_string(i);
      f.photo[i] = f.ds.add_column(f.obs, data(plain("photo" + n, Type::kInt, "1", "", "photo channel " + n + ", raw (PHOTO" + n + ")", true)));
    }
    f.odometer = f.ds.add_column(f.obs, data(packed("odometer", Type::kUShort, "m", "", "odometer distance since the previous sample (ODO_DELTA)", 0.12, 0.0, true)));
    const char* axes[3] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
      const std::string n = axes[a];
      f.mag[a] = f.ds.add_column(f.obs, data(packed("mag_" + n, Type::kShort, "uT", "", "magnetic field along " + n + " (MAG" + char(n[0] - 32) + ")", 0.1, 0.0, true)));
    }
    f.mag_temperature = f.ds.add_column(f.obs, data(plain("mag_temperature", Type::kByte, "degree_C", "", "magnetometer temperature (MAG_TEMP(C))", true)));
    f.wetdry = f.ds.add_column(f.obs, data(plain("wetdry", Type::kShort, "1", "", "wet/dry state (WETDRY, regimes 6 and 8) or dryness (DRYNESS, regime 7)", true)));
    f.regime = f.ds.add_column(f.obs, data(variable("regime", Type::kByte, "1", "", "TDR regime of the sample's dive start")));
    f.haul_start = f.ds.add_column(f.haul, time_var("haulout_start", "start of the haul-out"));
    f.haul_end = f.ds.add_column(f.haul, time_var("haulout_end", "end of the haul-out"));
    f.start_time = f.ds.add_column(f.start, time_var("start_time", "time of the dive start, or the haul-out start of a dry start"));
    VarSpec kind = variable("start_kind", Type::kByte, "1", "", "kind of start record");
    kind.int_attrs = {{"flag_values", {0, 1}}};
    kind.text_attrs = {{"flag_meanings", "dive_start dry_start"}};
    f.start_kind = f.ds.add_column(f.start, kind);
    f.start_regime = f.ds.add_column(f.start, variable("start_regime", Type::kByte, "1", "", "TDR regime in force"));
    f.start_interval = f.ds.add_column(f.start, variable("start_interval", Type::kDouble, "s", "", "sampling interval of the start record"));
    f.start_offset = f.ds.add_column(f.start, variable("start_offset", Type::kInt64, "1", "", "input byte offset after the start record"));
    add_dive_table(f);
    common(f.ds, f.events);
    f.ds.define();
    return f;
  }

  // The table of dives: a row per dive, as the lines of the dives text file.
  void add_dive_table(DivesFile& f) const {
    f.dive = f.ds.add_dim("dive", small_block());
    const auto of_dive = [](VarSpec v) {
      v.text_attrs.push_back({"coordinates", "dive_start"});
      return v;
    };
    VarSpec number = variable("dive_number", Type::kInt, "1", "", "dive number in the run (DIVE)");
    number.text_attrs = {{"coordinates", "dive_start"}};
    f.dive_number = f.ds.add_column(f.dive, number);
    f.dive_start = f.ds.add_column(f.dive, time_var("dive_start", "time of the dive's first sample deeper than the dive threshold (START)"));
    f.dive_end = f.ds.add_column(f.dive, time_var("dive_end", "time of the dive's last sample deeper than the dive threshold (END)"));
    f.dive_duration = f.ds.add_column(f.dive, of_dive(plain("dive_duration", Type::kDouble, "s", "", "duration of the dive (DURATION)")));
    VarSpec max = packed("dive_max_depth", Type::kInt, "m", "depth", "maximum depth of the dive (MAX_DEPTH)", 0.001, 0.0, false);
    max.text_attrs = {{"positive", "down"}, {"cell_methods", "time: maximum"}, {"coordinates", "dive_start"}};
    f.dive_max_depth = f.ds.add_column(f.dive, max);
    f.dive_max_depth_time = f.ds.add_column(f.dive, time_var("dive_max_depth_time", "time of the dive's first sample at its maximum depth (MAX_DEPTH_TIME)"));
    f.dive_bottom_time = f.ds.add_column(f.dive, of_dive(plain("dive_bottom_time", Type::kDouble, "s", "", "time spent deeper than 80 % of the maximum depth (BOTTOM_TIME)")));
    f.dive_descent = f.ds.add_column(f.dive, of_dive(plain("dive_descent_rate", Type::kDouble, "m s-1", "", "descent rate between the dive threshold and 80 % of the maximum depth (DESCENT_RATE)")));
    f.dive_ascent = f.ds.add_column(f.dive, of_dive(plain("dive_ascent_rate", Type::kDouble, "m s-1", "", "ascent rate between 80 % of the maximum depth and the dive threshold (ASCENT_RATE)")));
    f.dive_temperature = f.ds.add_column(f.dive, of_dive(packed("dive_bottom_temperature", Type::kInt, "degree_C", "", "mean temperature of the bottom phase (BOTTOM_TEMP)", 0.01, 0.0, false)));
    f.dive_surface = f.ds.add_column(f.dive, of_dive(plain("dive_surface_interval", Type::kDouble, "s", "", "time from the dive's end to the next dive's start (SURFACE_INTERVAL)")));
    VarSpec cut = variable("dive_cut", Type::kByte, "1", "", "the dive was cut by a haul-out, a dry start, a gap or the end of the data (CUT)");
    cut.int_attrs = {{"flag_values", {0, 1}}};
    cut.text_attrs = {{"flag_meanings", "whole cut"}, {"coordinates", "dive_start"}};
    f.dive_cut = f.ds.add_column(f.dive, cut);
  }

  AccFile& acc_file() {
    if (acc) return *acc;
    acc = std::make_unique<AccFile>(worker, settings.accel_path,
                                    globals("timeSeries", "Accelerometer samples of a tag deployment"));
    AccFile& f = *acc;
    f.obs = f.ds.add_dim("obs", sample_block());
    VarSpec t = time_var("time", "time of the sample, spread evenly over its block of bursts");
    t.text_attrs.push_back({"axis", "T"});
    f.time = f.ds.add_column(f.obs, t);
    const char* names[3] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
      VarSpec v = plain(names[a], Type::kFloat, "standard_free_fall", "",
                        std::string("acceleration along ") + char(names[a][0] - 32) + " in g");
      v.text_attrs.push_back({"coordinates", "time"});
      f.axis[a] = f.ds.add_column(f.obs, v);
    }
    VarSpec burst = variable("burst", Type::kInt, "1", "", "number of the burst the sample came from (1: the run's first)");
    burst.text_attrs = {{"coordinates", "time"}};
    burst.deflate = true;  // long runs of one number
    f.burst = f.ds.add_column(f.obs, burst);
    common(f.ds, f.events);
    f.ds.define();
    return f;
  }

  GpsFile& gps_file() {
    if (gps) return *gps;
    gps = std::make_unique<GpsFile>(worker, settings.gps_path, globals("timeSeries", "GPS snapshots of a tag deployment"));
    GpsFile& f = *gps;
    f.snapshot = f.ds.add_dim("snapshot", small_block());
    f.entry = f.ds.add_dim("entry", sample_block());
    VarSpec t = time_var("time", "time of the snapshot");
    t.fill = true;
    t.text_attrs.push_back({"axis", "T"});
    f.time = f.ds.add_column(f.snapshot, t);
    VarSpec count = variable("entry_count", Type::kInt, "1", "", "number of entries of the snapshot");
    count.text_attrs = {{"sample_dimension", "entry"}, {"coordinates", "time"}};
    f.count = f.ds.add_column(f.snapshot, count);
    f.offset = f.ds.add_column(f.snapshot, variable("snapshot_offset", Type::kInt64, "1", "", "input byte offset after the snapshot header"));
    f.value = f.ds.add_column(f.entry, variable("entry_value", Type::kUByte, "1", "", "8-bit value of the entry"));
    f.word = f.ds.add_column(f.entry, variable("entry_word", Type::kInt, "1", "", "16-bit value of the entry"));
    common(f.ds, f.events);
    f.ds.define();
    return f;
  }

  void end_segment() {
    if (!segment_open || !ctd) return;
    nc::Dataset& ds = ctd->ds;
    ds.set(ctd->cast, segment.number);
    ds.set(ctd->profile_time, segment.time);
    ds.set(ctd->interval, segment.interval);
    ds.set(ctd->surface, segment.surface);
    ds.set(ctd->mask, segment.mask);
    ds.set(ctd->sensor_set, segment.sensor_set);
    ds.set(ctd->row_size, segment_rows);
    ds.set(ctd->profile_offset, static_cast<double>(segment.offset));
    ds.end_row(ctd->profile);
    segment_open = false;
    segment_rows = 0;
  }

  template <class F>
  void each_file(F f) {
    if (ctd) f(ctd->ds, ctd->events);
    if (dives) f(dives->ds, dives->events);
    if (acc) f(acc->ds, acc->events);
    if (gps) f(gps->ds, gps->events);
  }
};

NetcdfOutput::NetcdfOutput(NetcdfSettings settings, ReportFn report)
    : report_(std::move(report)), files_(std::make_unique<Files>()) {
  files_->settings = std::move(settings);
  files_->calibration = files_->settings.calibration;
  char created[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);
  files_->created = created;
}

NetcdfOutput::~NetcdfOutput() { files_->worker.finish(); }

void NetcdfOutput::info(const InfoRecord& item) {
  Files& f = *files_;
  f.tag_version = item.tag_version;
  if (item.calibration == f.calibration) return;
  f.calibration = item.calibration;
  if (++f.calibration_change_count <= static_cast<long long>(kMaxCalibrationLines)) {
    f.calibration_changes += offset_text(item.offset) + ": " + calibration_text(item.calibration) + "\n";
  }
}

// One row of the start dimension: a dive start (kind 0) or a dry start (kind 1).
void NetcdfOutput::start_row(int kind, double time, std::uint8_t regime, std::uint16_t interval, std::uint64_t offset) {
  DivesFile& f = files_->dives_file();
  f.ds.set(f.start_time, time);
  f.ds.set(f.start_kind, kind);
  f.ds.set(f.start_regime, regime);
  f.ds.set(f.start_interval, interval * 0.01);
  f.ds.set(f.start_offset, static_cast<double>(offset));
  f.ds.end_row(f.start);
}

void NetcdfOutput::dive_start(const DiveStart& item) { start_row(0, item.time, item.regime, item.interval, item.offset); }

void NetcdfOutput::dry_start(const DryStart& item) { start_row(1, item.time, item.regime, item.interval, item.offset); }

void NetcdfOutput::haulout(const Haulout& item) {
  DivesFile& f = files_->dives_file();
  f.ds.set(f.haul_start, item.start);
  f.ds.set(f.haul_end, item.end);
  f.ds.end_row(f.haul);
}

void NetcdfOutput::dive_sample(const DiveSample& item) {
  DivesFile& f = files_->dives_file();
  nc::Dataset& ds = f.ds;
  const TdrSample& s = item.sample;
  ds.set_as<double>(f.time, item.time);
  ds.set(f.depth, std::round(s.depth_m * 1000.0));
  if (item.has_temperature()) ds.set_as<std::uint16_t>(f.temperature, s.temp_raw);
  if (item.has_photo()) {
    for (int i = 0; i < item.photo_channels; ++i) ds.set_as<std::int32_t>(f.photo[i], s.photo[i]);
  }
  if (item.has_odometer()) ds.set_as<std::uint16_t>(f.odometer, s.odo_raw);
  if (item.has_magnetometer()) {
    for (int a = 0; a < 3; ++a) ds.set_as<std::int16_t>(f.mag[a], static_cast<std::int16_t>(s.mag[a]));
    ds.set_as<std::int8_t>(f.mag_temperature, s.mag_temp);
  }
  if (item.has_wetdry()) ds.set_as<std::int16_t>(f.wetdry, item.wetdry);
  ds.set_as<std::int8_t>(f.regime, static_cast<std::int8_t>(item.regime));
  ds.end_row(f.obs);
}

void NetcdfOutput::dive(const analysis::Dive& d) {
  if (files_->ending) return;  // the files are closed
  DivesFile& f = files_->dives_file();
  nc::Dataset& ds = f.ds;
  ds.set(f.dive_number, static_cast<double>(d.number));
  ds.set(f.dive_start, static_cast<double>(d.start_ms) * 0.001);
  ds.set(f.dive_end, static_cast<double>(d.end_ms) * 0.001);
  ds.set(f.dive_duration, static_cast<double>(d.end_ms - d.start_ms) * 0.001);
  ds.set(f.dive_max_depth, d.max_depth_mm);
  ds.set(f.dive_max_depth_time, static_cast<double>(d.max_depth_ms) * 0.001);
  if (d.has_bottom) ds.set(f.dive_bottom_time, static_cast<double>(d.bottom_ms) * 0.001);
  if (d.has_descent) ds.set(f.dive_descent, d.descent_rate);
  if (d.has_ascent) ds.set(f.dive_ascent, d.ascent_rate);
  if (d.has_temp) ds.set(f.dive_temperature, d.bottom_temp_centi);
  if (d.has_surface) ds.set(f.dive_surface, static_cast<double>(d.surface_ms) * 0.001);
  ds.set(f.dive_cut, d.cut ? 1 : 0);
  ds.end_row(f.dive);
}

void NetcdfOutput::ctd_cast(const CtdCast& item) {
  Files& f = *files_;
  f.ctd_file();
  CastMeta m;
  m.number = item.number;
  m.time = item.time;
  m.interval = item.interval * 0.01;
  m.surface = item.surface_pressure;
  m.mask = item.mask;
  for (std::size_t i = 0; i < item.columns.count && i < kCtdAuxColumns; ++i) {
    m.sensor_set |= 1 << static_cast<int>(item.columns.sensor[i]);
  }
  m.offset = item.offset;
  if (f.casts.size() >= kMaxOpenCasts) f.casts.erase(f.casts.begin());
  f.casts.push_back(m);
}

void NetcdfOutput::ctd_sample(const CtdSample& item) {
  Files& f = *files_;
  CtdFile& c = f.ctd_file();
  const CtdValues& v = item.values;
  const bool same_surface = v.surface_pressure == f.segment.surface ||
                            (std::isnan(v.surface_pressure) && std::isnan(f.segment.surface));
  if (!f.segment_open || item.cast != f.segment_cast || !same_surface) {
    // A new profile row: the cast's first sample, a cast going on after one nested in it (which
    // set the surface pressure anew), or a calibration change that moved the surface pressure.
    f.end_segment();
    f.segment = CastMeta{};
    f.segment.number = item.cast;
    while (!f.casts.empty() && f.casts.back().number > item.cast) f.casts.pop_back();
    if (!f.casts.empty() && f.casts.back().number == item.cast) f.segment = f.casts.back();
    f.segment.surface = v.surface_pressure;
    f.segment_cast = item.cast;
    f.segment_open = true;
  }
  ++f.segment_rows;
  nc::Dataset& ds = c.ds;
  ds.set_as<double>(c.time, item.time);
  ds.set_as<float>(c.pressure, static_cast<float>(v.rel_pressure));
  ds.set_as<float>(c.abs_pressure, static_cast<float>(v.abs_pressure));
  ds.set_as<float>(c.temperature, static_cast<float>(v.temperature));
  ds.set_as<float>(c.conductivity, static_cast<float>(v.conductivity));
  ds.set_as<float>(c.salinity, static_cast<float>(v.salinity));
  for (std::size_t i = 0; i < v.aux_count; ++i) {
    ds.set_as<float>(c.sensor[static_cast<int>(item.columns.sensor[i])], static_cast<float>(v.aux[i]));
  }
  ds.end_row(c.obs);
}

void NetcdfOutput::gps(const GpsSnapshot& item) {
  GpsFile& f = files_->gps_file();
  const int n = item.head[6];
  double t = 0.0;
  if (gps_time(item.head, t)) f.ds.set(f.time, t);
  f.ds.set(f.count, n);
  f.ds.set(f.offset, static_cast<double>(item.offset));
  f.ds.end_row(f.snapshot);
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* e = item.entries + 3 * i;
    f.ds.set(f.value, e[0]);
    f.ds.set(f.word, e[1] << 8 | e[2]);
    f.ds.end_row(f.entry);
  }
}

void NetcdfOutput::acc_burst(const AccBurst& /*item*/) { files_->acc_file(); }

void NetcdfOutput::acc_sample(const AccValues& item) {
  AccFile& f = files_->acc_file();
  f.ds.set_as<double>(f.time, item.time);
  f.ds.set_as<float>(f.axis[0], static_cast<float>(item.x));
  f.ds.set_as<float>(f.axis[1], static_cast<float>(item.y));
  f.ds.set_as<float>(f.axis[2], static_cast<float>(item.z));
  f.ds.set(f.burst, item.burst);
  f.ds.end_row(f.obs);
}

void NetcdfOutput::note(const Note& item) {
  Files& f = *files_;
  if (item.scope == NoteScope::kDiveFile) {
    if (f.dives) f.dives->events.put(f.dives->ds, item.offset, 0, item.text);
    return;
  }
  f.each_file([&](nc::Dataset& ds, Events& ev) { ev.put(ds, item.offset, 0, item.text); });
}

void NetcdfOutput::failure(const Failure& item) {
  Files& f = *files_;
  if (f.ending) return;
  f.last_failure = item.text;
  f.each_file([&](nc::Dataset& ds, Events& ev) { ev.put(ds, item.offset, 1, item.text); });
}

void NetcdfOutput::end_run(const RunEvents& events) {
  Files& f = *files_;
  f.end_segment();
  const RunResult outcome = result_of(events);
  std::string result = result_name(outcome);
  if (outcome == RunResult::kFailed) result += ": " + events.last_failure;
  while (!result.empty() && result.back() == '\n') result.pop_back();
  f.each_file([&](nc::Dataset& ds, Events&) {
    if (f.tag_version >= 0) {
      ds.put_global_int("tag_version", f.tag_version);
    } else {
      ds.put_global("tag_version", "unknown");
    }
    if (f.calibration_change_count > 0) {
      ds.put_global("calibration_changes", f.calibration_changes);
      ds.put_global_int("calibration_change_count", f.calibration_change_count);
    }
    ds.put_global_int("input_file_size", f.settings.input_size);
    ds.put_global("run_result", result);
    ds.close();
  });
  f.worker.finish();
  f.ending = true;
  f.each_file([&](nc::Dataset& ds, Events&) {
    if (ds.error().empty() || !report_) return;
    const std::string message = "Can't write NetCDF file " + ds.path() + " (" + ds.error() + ")\n";
    report_(message.c_str());
  });
}

}  // namespace skelv
