// IMAGE_dives.nc: the dive samples in the root group; the dive and dry starts, the haul-outs and
// the table of dives in groups of their own.
#include <cmath>
#include <string>

#include "output/netcdf/nc_files.h"
#include "output/netcdf/nc_vars.h"

namespace skelv::ncout {
namespace {

using namespace ncvars;

// The table of dives: one row per dive, the columns of the dives text file. New columns of
// analysis::Dive go here and in put_dive below.
DivesFile::DiveColumns add_dive_table(nc::Dataset& ds, std::size_t block) {
  DivesFile::DiveColumns c;
  const int group = ds.add_group("dives", "The table of dives (the lines of the dives text file)");
  c.dim = ds.add_dim("dive", block, group);
  const auto of_dive = [](VarSpec v) { return with_coordinates(std::move(v), "dive_start"); };
  c.number = ds.add_column(c.dim, of_dive(variable("dive_number", Type::kInt, "1", "", "dive number in the run (DIVE)")));
  c.start = ds.add_column(c.dim, time_var("dive_start", "time of the dive's first sample deeper than the dive threshold (START)"));
  c.end = ds.add_column(c.dim, of_dive(time_var("dive_end", "time of the dive's last sample deeper than the dive threshold (END)")));
  c.duration = ds.add_column(c.dim, of_dive(plain("dive_duration", Type::kDouble, "s", "", "duration of the dive (DURATION)")));
  VarSpec max = packed("dive_max_depth", "m", "depth", "maximum depth of the dive (MAX_DEPTH)", 0.001);
  max.text_attrs = {{"cell_methods", "time: maximum"}};  // over the dive's time
  c.max_depth = ds.add_column(c.dim, of_dive(max));
  c.max_depth_time = ds.add_column(c.dim, of_dive(time_var("dive_max_depth_time", "time of the dive's first sample at its maximum depth (MAX_DEPTH_TIME)")));
  c.descent_time = ds.add_column(c.dim, of_dive(plain("dive_descent_time", Type::kDouble, "s", "",
      "time from the dive's first sample to the first sample at 80 % of the maximum depth (DESCENT_TIME)")));
  c.descent = ds.add_column(c.dim, of_dive(plain("dive_descent_rate", Type::kDouble, "m s-1", "",
      "descent rate from the dive's first sample to the first sample at 80 % of the maximum depth (DESCENT_RATE)")));
  c.bottom_time = ds.add_column(c.dim, of_dive(plain("dive_bottom_time", Type::kDouble, "s", "",
      "time from the first to the last sample at or deeper than 80 % of the maximum depth (BOTTOM_TIME)")));
  c.ascent_time = ds.add_column(c.dim, of_dive(plain("dive_ascent_time", Type::kDouble, "s", "",
      "time from the last sample at 80 % of the maximum depth to the dive's last sample (ASCENT_TIME)")));
  c.ascent = ds.add_column(c.dim, of_dive(plain("dive_ascent_rate", Type::kDouble, "m s-1", "",
      "ascent rate from the last sample at 80 % of the maximum depth to the dive's last sample (ASCENT_RATE)")));
  c.temperature = ds.add_column(c.dim, of_dive(packed("dive_bottom_temperature", "degree_C", "",
      "mean temperature of the samples from the first to the last at 80 % of the maximum depth (BOTTOM_TEMP)", 0.01)));
  c.surface = ds.add_column(c.dim, of_dive(plain("dive_surface_interval", Type::kDouble, "s", "",
      "time from the dive's end to the next dive's start (SURFACE_INTERVAL)")));
  c.start_cut = ds.add_column(c.dim, of_dive(flags("dive_start_cut", Type::kByte,
      "the dive began unseen, right after a haul-out, a dry start, a gap or the start of the data (START_CUT)",
      "whole cut", 2)));
  c.end_cut = ds.add_column(c.dim, of_dive(flags("dive_end_cut", Type::kByte,
      "the dive was ended by a haul-out, a dry start, a gap or the end of the data (END_CUT)", "whole cut", 2)));
  return c;
}

void put_dive(nc::Dataset& ds, const DivesFile::DiveColumns& c, const analysis::Dive& d) {
  ds.set(c.number, static_cast<double>(d.number));
  ds.set(c.start, static_cast<double>(d.start_ms) * 0.001);
  ds.set(c.end, static_cast<double>(d.end_ms) * 0.001);
  ds.set(c.duration, static_cast<double>(d.end_ms - d.start_ms) * 0.001);
  ds.set(c.max_depth, d.max_depth_mm);
  ds.set(c.max_depth_time, static_cast<double>(d.max_depth_ms) * 0.001);
  if (d.has_descent_time) ds.set(c.descent_time, static_cast<double>(d.descent_ms) * 0.001);
  if (d.has_descent) ds.set(c.descent, d.descent_rate);
  if (d.has_bottom) ds.set(c.bottom_time, static_cast<double>(d.bottom_ms) * 0.001);
  if (d.has_ascent_time) ds.set(c.ascent_time, static_cast<double>(d.ascent_ms) * 0.001);
  if (d.has_ascent) ds.set(c.ascent, d.ascent_rate);
  if (d.has_temp) ds.set(c.temperature, d.bottom_temp_centi);
  if (d.has_surface) ds.set(c.surface, static_cast<double>(d.surface_ms) * 0.001);
  ds.set(c.start_cut, d.start_cut ? 1 : 0);
  ds.set(c.end_cut, d.end_cut ? 1 : 0);
  ds.end_row(c.dim);
}

// Kelvin of zero degrees Celsius in the tag's temperature counts (0.05 K): 273.15 / 0.05.
constexpr std::int32_t kZeroCelsiusCounts = 5463;
constexpr std::int32_t kIntFill = -2147483647;  // the int's _FillValue

// Millimetres, rounded half away from zero; a depth beyond an int's range (no 16-bit count
// reaches it) reads as the fill. (Rounded here in place of std::round, a library call on plain
// x86-64: this runs once per sample.)
std::int32_t depth_mm(double depth_m) {
  const double x = depth_m * 1000.0;
  if (!(std::fabs(x) < 2e9)) return kIntFill;  // also not a number
  auto mm = static_cast<std::int64_t>(x);  // towards zero; x - mm is exact
  const double rest = x - static_cast<double>(mm);
  if (rest >= 0.5) ++mm;
  if (rest <= -0.5) --mm;
  return mm > -2000000000 && mm < 2000000000 ? static_cast<std::int32_t>(mm) : kIntFill;
}

}  // namespace

DivesFile::DivesFile(const FileStart& start) : ds(start.worker, start.path, with_title(start, "Dive samples of a tag deployment")) {
  const std::size_t small = small_block_for(start.input_size);
  events.add(ds, small);
  obs = ds.add_dim("obs", sample_block_for(start.input_size));
  time = ds.add_column(obs, time_var("time", "time of the dive sample"));
  const auto data = [](VarSpec v) { return with_coordinates(std::move(v), "time"); };
  // Depth is a measured series here, not a vertical coordinate: see the README (cdo).
  depth = ds.add_column(obs, data(packed("depth", "m", "depth", "depth (DEPTH; 0 in a dry period's temperature stream)", 0.001)));
  temperature = ds.add_column(obs, data(packed("temperature", "degree_C", "", "temperature (TEMP(C))", 0.05, true)));
  for (int i = 0; i < kMaxPhotoChannels; ++i) {
    const std::string n = std::to_string(i);
    photo[i] = ds.add_column(obs, data(plain("photo" + n, Type::kInt, "1", "", "photo channel " + n + ", raw (PHOTO" + n + ")", true)));
  }
  odometer = ds.add_column(obs, data(packed("odometer", "m", "", "odometer distance since the previous sample (ODO_DELTA)", 0.12, true)));
  const char* axes[3] = {"x", "y", "z"};
  for (int a = 0; a < 3; ++a) {
    const std::string n = axes[a];
    mag[a] = ds.add_column(obs, data(packed("mag_" + n, "uT", "", "magnetic field along " + n + " (MAG" + char(n[0] - 32) + ")", 0.1, true)));
  }
  mag_temperature = ds.add_column(obs, data(plain("mag_temperature", Type::kByte, "degree_C", "", "magnetometer temperature (MAG_TEMP(C))", true)));
  wetdry = ds.add_column(obs, data(plain("wetdry", Type::kShort, "1", "", "wet/dry state (WETDRY, regimes 6 and 8) or dryness (DRYNESS, regime 7)", true)));
  regime = ds.add_column(obs, data(variable("regime", Type::kByte, "1", "", "TDR regime of the sample's dive start")));
  if (start.corrected_depths) {
    // The corrected depth of a sample is known only once the samples around it are in.
    corrected_obs = ds.add_twin_dim(obs);
    depth_corrected = ds.add_column(corrected_obs, data(packed("depth_corrected", "m", "depth",
        "depth corrected for the sensor's zero offset (the dive table's depths; fill in a dry period)", 0.001)));
    depth_offset = ds.add_column(corrected_obs, data(packed("depth_offset", "m", "",
        "the sensor's zero offset subtracted from the depth", 0.001)));
  }

  const int haul_group = ds.add_group("haulouts", "Haul-outs between dives (the HAULOUT lines)");
  haul = ds.add_dim("haulout", small, haul_group);
  VarSpec haul_from = time_var("haulout_start", "start of the haul-out (missing when it began before any time was known)");
  haul_from.fill = true;
  haul_start = ds.add_column(haul, haul_from);
  haul_end = ds.add_column(haul, with_coordinates(time_var("haulout_end", "end of the haul-out"), "haulout_start"));

  const int start_group = ds.add_group("starts", "Dive and dry start records");
  start_dim = ds.add_dim("start", small, start_group);
  start_time = ds.add_column(start_dim, time_var("start_time", "time of the dive start, or the haul-out start of a dry start"));
  const auto of_start = [](VarSpec v) { return with_coordinates(std::move(v), "start_time"); };
  start_kind = ds.add_column(start_dim, of_start(flags("start_kind", Type::kByte, "kind of start record", "dive_start dry_start", 2)));
  start_regime = ds.add_column(start_dim, of_start(variable("start_regime", Type::kByte, "1", "", "TDR regime in force")));
  start_interval = ds.add_column(start_dim, of_start(variable("start_interval", Type::kDouble, "s", "", "sampling interval of the start record")));
  start_offset = ds.add_column(start_dim, of_start(variable("start_offset", Type::kDouble, "1", "", "input byte offset after the start record")));

  dives = add_dive_table(ds, small);
  ds.define();
  at.time = ds.stage<double>(time);
  at.depth = ds.stage<std::int32_t>(depth);
  at.temperature = ds.stage<std::int32_t>(temperature);
  for (int i = 0; i < kMaxPhotoChannels; ++i) at.photo[i] = ds.stage<std::int32_t>(photo[i]);
  at.odometer = ds.stage<std::int32_t>(odometer);
  for (int a = 0; a < 3; ++a) at.mag[a] = ds.stage<std::int32_t>(mag[a]);
  at.mag_temperature = ds.stage<std::int8_t>(mag_temperature);
  at.wetdry = ds.stage<std::int16_t>(wetdry);
  at.regime = ds.stage<std::int8_t>(regime);
  if (start.corrected_depths) {
    at.depth_corrected = ds.stage<std::int32_t>(depth_corrected);
    at.depth_offset = ds.stage<std::int32_t>(depth_offset);
  }
}

void DivesFile::start(StartKind kind, double t, std::uint8_t r, std::uint16_t i, std::uint64_t offset) {
  ds.set(start_time, t);
  ds.set(start_kind, static_cast<int>(kind));
  ds.set(start_regime, r);
  ds.set(start_interval, i * 0.01);
  ds.set(start_offset, static_cast<double>(offset));
  ds.end_row(start_dim);
}

void DivesFile::haulout(const Haulout& item) {
  // As the dive table sees it: never over the dive samples before it; unknown before any time was.
  const analysis::HauloutSpan span = analysis::haulout_span(clock, item.start, item.end);
  if (span.start_known) ds.set(haul_start, span.start);
  ds.set(haul_end, span.end);
  ds.end_row(haul);
}

void DivesFile::corrected(const analysis::CorrectedSample& item) {
  if (item.kind == analysis::ZocKind::kBreak || depth_corrected < 0) return;
  // Rows are the samples in order; a sample without a corrected depth leaves its row the fill.
  while (ds.rows(corrected_obs) < item.index) ds.end_row(corrected_obs);
  if (item.kind == analysis::ZocKind::kSample && !item.dry) {
    const std::size_t r = ds.row(corrected_obs);
    at.depth_corrected[r] = item.corrected_mm;
    at.depth_offset[r] = item.offset_mm;
  }
  ds.end_row(corrected_obs);
}

void DivesFile::sample(const DiveSample& item) {
  analysis::haulout_clock_sample(clock, item.time, item.depth_m());
  const TdrSample& s = item.sample;
  const std::size_t r = ds.row(obs);
  at.time[r] = item.time;
  at.depth[r] = depth_mm(s.depth_m);
  if (item.has_temperature()) at.temperature[r] = std::int32_t{s.temp_raw} - kZeroCelsiusCounts;
  if (item.has_photo()) {
    for (int i = 0; i < item.photo_channels; ++i) at.photo[i][r] = s.photo[i];
  }
  if (item.has_odometer()) at.odometer[r] = s.odo_raw;
  if (item.has_magnetometer()) {
    for (int a = 0; a < 3; ++a) at.mag[a][r] = static_cast<std::int16_t>(s.mag[a]);
    at.mag_temperature[r] = s.mag_temp;
  }
  if (item.has_wetdry()) at.wetdry[r] = item.wetdry;
  at.regime[r] = static_cast<std::int8_t>(item.regime);
  ds.end_row(obs);
}

void DivesFile::pad_corrected() {
  if (depth_corrected < 0) return;
  while (ds.rows(corrected_obs) < ds.rows(obs)) ds.end_row(corrected_obs);
}

void DivesFile::dive(const analysis::Dive& d) { put_dive(ds, dives, d); }

}  // namespace skelv::ncout
