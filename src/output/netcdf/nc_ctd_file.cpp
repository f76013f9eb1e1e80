// IMAGE_ctd.nc: the CTD samples in the root group, the casts in the `casts` group.
#include <string>

#include "output/netcdf/nc_files.h"
#include "output/netcdf/nc_vars.h"

namespace skelv::ncout {
namespace {

using namespace ncvars;

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
    {"photo1", "1", "", "first raw light channel (text column Photo1)"},
    {"photo2", "1", "", "second raw light channel (text column Photo2)"},
    {"photo3", "1", "", "third raw light channel (text column Photo3)"},
    {"internal_temperature", "degree_C", "", "internal temperature of the tag (INTERNAL_TEMP(C))"},
};

std::string sensor_meanings() {
  std::string s;
  for (const SensorSpec& k : kSensors) {
    if (!s.empty()) s += ' ';
    s += k.name;
  }
  return s;
}

constexpr char kSampleCoordinates[] = "time pressure";
constexpr char kCastCoordinates[] = "cast_time";

}  // namespace

CtdFile::CtdFile(const FileStart& start) : ds(start.worker, start.path, with_title(start, "CTD profiles of a tag deployment")) {
  events.add(ds, small_block_for(start.input_size));
  obs = ds.add_dim("obs", sample_block_for(start.input_size));
  time = ds.add_column(obs, time_var("time", "time of the sample (the text cuts it to the second)"));
  // The vertical coordinate: in units of pressure, so it needs no `positive`.
  pressure = ds.add_column(obs, variable("pressure", Type::kFloat, "dbar", "sea_water_pressure_due_to_sea_water",
                                      "pressure relative to the surface (PRESSURE_RE_SURFACE)"));
  const auto data = [](VarSpec v) { return with_coordinates(std::move(v), kSampleCoordinates); };
  abs_pressure = ds.add_column(obs, data(plain("abs_pressure", Type::kFloat, "dbar", "sea_water_pressure",
                                               "absolute pressure (ABS_PRESSURE)")));
  surface = ds.add_column(obs, data(plain("surface_pressure", Type::kFloat, "dbar", "",
                                          "absolute pressure at the surface of the cast (ABS_PRESSURE_AT_SURFACE)")));
  temperature = ds.add_column(obs, data(plain("temperature", Type::kFloat, "degree_C", "sea_water_temperature",
                                              "sea water temperature, ITS-90 (TEMP(ITS-90))")));
  conductivity = ds.add_column(obs, data(plain("conductivity", Type::kFloat, "mS cm-1", "sea_water_electrical_conductivity",
                                               "conductivity (COND)")));
  salinity = ds.add_column(obs, data(plain("salinity", Type::kFloat, "1", "sea_water_practical_salinity",
                                           "practical salinity (PSS-78) from the lagged conductivity (SAL_LAGGED)")));
  for (std::size_t k = 0; k < kCtdSensorKinds; ++k) {
    const SensorSpec& s = kSensors[k];
    sensor[k] = ds.add_column(obs, data(plain(s.name, Type::kFloat, s.units, s.standard_name, s.long_name, true)));
  }
  sample_cast = ds.add_column(obs, data(variable("cast", Type::kInt, "1", "",
                                                 "number of the sample's cast (cast_number in the casts group)")));

  const int group = ds.add_group("casts", "CTD casts, one row per cast start");
  cast_dim = ds.add_dim("cast", small_block_for(start.input_size), group);
  const auto of_cast = [](VarSpec v) { return with_coordinates(std::move(v), kCastCoordinates); };
  cast_number = ds.add_column(cast_dim, of_cast(variable("cast_number", Type::kInt, "1", "", "cast number in the run")));
  cast_time = ds.add_column(cast_dim, time_var("cast_time", "time of the cast's first sample"));
  interval = ds.add_column(cast_dim, of_cast(variable("sampling_interval", Type::kDouble, "s", "", "sampling interval")));
  mask = ds.add_column(cast_dim, of_cast(variable("channel_mask", Type::kUByte, "1", "", "channel mask byte of the cast start")));
  VarSpec set = variable("sensor_set", Type::kShort, "1", "", "auxiliary sensors of the cast");
  set.int_attrs = {{"flag_masks", {1, 2, 4, 8, 16, 32, 64, 128}}};
  set.text_attrs = {{"flag_meanings", sensor_meanings()}};
  sensor_set = ds.add_column(cast_dim, of_cast(set));
  cast_offset = ds.add_column(cast_dim, of_cast(variable("cast_offset", Type::kDouble, "1", "",
                                                         "input byte offset after the cast start record")));
  ds.define();
  at.time = ds.stage<double>(time);
  at.pressure = ds.stage<float>(pressure);
  at.abs_pressure = ds.stage<float>(abs_pressure);
  at.surface = ds.stage<float>(surface);
  at.temperature = ds.stage<float>(temperature);
  at.conductivity = ds.stage<float>(conductivity);
  at.salinity = ds.stage<float>(salinity);
  for (std::size_t k = 0; k < kCtdSensorKinds; ++k) at.sensor[k] = ds.stage<float>(sensor[k]);
  at.cast = ds.stage<std::int32_t>(sample_cast);
}

void CtdFile::cast(const CtdCast& item) {
  int set = 0;
  for (std::size_t i = 0; i < item.columns.count && i < kCtdAuxColumns; ++i) {
    set |= 1 << static_cast<int>(item.columns.sensor[i]);
  }
  ds.set(cast_number, item.number);
  ds.set(cast_time, item.time);
  ds.set(interval, item.interval * 0.01);
  ds.set(mask, item.mask);
  ds.set(sensor_set, set);
  ds.set(cast_offset, static_cast<double>(item.offset));
  ds.end_row(cast_dim);
}

void CtdFile::sample(const CtdSample& item) {
  const CtdValues& v = item.values;
  const std::size_t r = ds.row(obs);
  at.time[r] = item.time;
  at.pressure[r] = static_cast<float>(v.rel_pressure);
  at.abs_pressure[r] = static_cast<float>(v.abs_pressure);
  at.surface[r] = static_cast<float>(v.surface_pressure);
  at.temperature[r] = static_cast<float>(v.temperature);
  at.conductivity[r] = static_cast<float>(v.conductivity);
  at.salinity[r] = static_cast<float>(v.salinity);
  for (std::size_t i = 0; i < v.aux_count; ++i) at.sensor[static_cast<int>(item.columns.sensor[i])][r] = static_cast<float>(v.aux[i]);
  at.cast[r] = static_cast<std::int32_t>(item.cast);
  ds.end_row(obs);
}

}  // namespace skelv::ncout
