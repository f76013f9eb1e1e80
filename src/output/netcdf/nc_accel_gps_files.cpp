// IMAGE_accel.nc (the accelerometer samples) and IMAGE_gps.nc (the GPS snapshots in the root
// group, their entries in the `entries` group).
#include <string>

#include "output/netcdf/nc_files.h"
#include "output/netcdf/nc_vars.h"

namespace skelv::ncout {
namespace {

using namespace ncvars;

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

nc::TextAttrs with_title(const FileStart& start, const char* title) {
  nc::TextAttrs g = start.globals;
  g.insert(g.begin() + 1, {"title", title});
  return g;
}

AccFile::AccFile(const FileStart& start) : ds(start.worker, start.path, with_title(start, "Accelerometer samples of a tag deployment")) {
  events.add(ds, small_block_for(start.input_size));
  obs = ds.add_dim("obs", sample_block_for(start.input_size));
  time = ds.add_column(obs, time_var("time", "time of the sample, spread evenly over its block of bursts"));
  const char* names[3] = {"x", "y", "z"};
  for (int a = 0; a < 3; ++a) {
    axis[a] = ds.add_column(obs, with_coordinates(plain(names[a], Type::kFloat, "standard_free_fall", "",
        std::string("acceleration along ") + char(names[a][0] - 32) + " in g"), "time"));
  }
  VarSpec b = variable("burst", Type::kInt, "1", "", "number of the burst the sample came from (1: the run's first)");
  burst = ds.add_column(obs, with_coordinates(b, "time"));
  ds.define();
  at.time = ds.stage<double>(time);
  for (int a = 0; a < 3; ++a) at.axis[a] = ds.stage<float>(axis[a]);
  at.burst = ds.stage<std::int32_t>(burst);
}

void AccFile::sample(const AccValues& item) {
  const std::size_t r = ds.row(obs);
  at.time[r] = item.time;
  at.axis[0][r] = static_cast<float>(item.x);
  at.axis[1][r] = static_cast<float>(item.y);
  at.axis[2][r] = static_cast<float>(item.z);
  at.burst[r] = static_cast<std::int32_t>(item.burst);
  ds.end_row(obs);
}

GpsFile::GpsFile(const FileStart& start) : ds(start.worker, start.path, with_title(start, "GPS snapshots of a tag deployment")) {
  const std::size_t small = small_block_for(start.input_size);
  events.add(ds, small);
  obs = ds.add_dim("obs", small);
  VarSpec t = time_var("time", "time of the snapshot (missing when its date is none)");
  t.fill = true;
  time = ds.add_column(obs, t);
  count = ds.add_column(obs, with_coordinates(variable("entry_count", Type::kInt, "1", "", "number of entries of the snapshot"), "time"));
  offset = ds.add_column(obs, with_coordinates(variable("snapshot_offset", Type::kDouble, "1", "",
                                                        "input byte offset after the snapshot header"), "time"));
  const int group = ds.add_group("entries", "The entries of the snapshots, in order");
  entry = ds.add_dim("entry", sample_block_for(start.input_size), group);
  entry_snapshot = ds.add_column(entry, variable("snapshot", Type::kInt, "1", "", "index of the entry's snapshot along obs, from 0"));
  value = ds.add_column(entry, variable("entry_value", Type::kUByte, "1", "", "8-bit value of the entry"));
  word = ds.add_column(entry, variable("entry_word", Type::kInt, "1", "", "16-bit value of the entry"));
  ds.define();
}

void GpsFile::snapshot(const GpsSnapshot& item) {
  const int n = item.head[6];
  const double index = static_cast<double>(ds.rows(obs));
  double t = 0.0;
  if (gps_time(item.head, t)) ds.set(time, t);
  ds.set(count, n);
  ds.set(offset, static_cast<double>(item.offset));
  ds.end_row(obs);
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* e = item.entries + 3 * i;
    ds.set(entry_snapshot, index);
    ds.set(value, e[0]);
    ds.set(word, e[1] << 8 | e[2]);
    ds.end_row(entry);
  }
}

}  // namespace skelv::ncout
