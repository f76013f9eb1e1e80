// The datasets of a whole run with -netcdf.
#include <gtest/gtest.h>
#ifdef SKELV_TEST_NETCDF
#include <netcdf.h>
#endif

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "damaged_image_fixture.h"
#include "support/test_support.h"

namespace skelv {
namespace {

// The text files beside the datasets are checked against a plain run by the read-back test.
TEST(NetcdfSwitch, WritesTheDatasetsOfTheRecordKindsInTheImageOnly) {
  test::TempDir dir;
  test::ImageBuilder img;
  img.dive_start(2, test::TagTime{2025, 11, 30, 6, 0, 0, 0}, 100).u16(100).step(1).eof();
  img.write_to(dir.file("tag.bin"));
  const test::ProcessResult r = test::run_skelv({"tag.bin", "-netcdf"}, dir.path());
#ifdef SKELV_TEST_NETCDF
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(test::file_exists(dir.file("tag_dives.nc")));
  for (const char* kind : {"ctd", "gps", "accel"}) EXPECT_FALSE(test::file_exists(dir.file(std::string("tag_") + kind + ".nc")));
#else
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("without NetCDF support"), std::string::npos);
  EXPECT_NE(r.out.find("libnetcdf-dev"), std::string::npos);
  EXPECT_FALSE(test::file_exists(dir.file("tag_tdr.txt")));
#endif
}

#ifdef SKELV_TEST_NETCDF
// The values of the one-dimensional variable `var` of `file` (in `group`, when given) as doubles;
// empty when the file can't be read.
std::vector<double> column(const std::string& file, const char* group, const char* var) {
  int ncid = -1, id = -1, varid = -1, dimid = -1;
  std::size_t n = 0;
  if (nc_open(file.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return {};
  id = ncid;
  std::vector<double> values;
  if ((group == nullptr || nc_inq_grp_ncid(ncid, group, &id) == NC_NOERR) && nc_inq_varid(id, var, &varid) == NC_NOERR &&
      nc_inq_vardimid(id, varid, &dimid) == NC_NOERR && nc_inq_dimlen(id, dimid, &n) == NC_NOERR) {
    values.resize(n);
    if (n > 0 && nc_get_var_double(id, varid, values.data()) != NC_NOERR) values.clear();
  }
  nc_close(ncid);
  return values;
}

// A GPS snapshot's time in the dataset is its date and time in seconds since 1970, worked out here
// by the standard library's calendar: the first second and the last of every month of years the
// snapshot's year byte can give (1900 to 2155), leap years and not; a date that is none (29
// February of a year that is not leap, day 0 or 32, month 0 or 13, 31 April, hour 24, minute or
// second 60) reads as the fill value.
TEST(NetcdfSwitch, GpsTimesAreTheirDatesInSecondsSince1970) {
  using namespace std::chrono;
  std::vector<test::TagTime> dates;
  std::vector<double> expected;  // seconds, or NC_FILL_DOUBLE
  for (int y : {1900, 1969, 1970, 2000, 2024, 2026, 2100, 2155}) {
    for (int m = 1; m <= 12; ++m) {
      const sys_days first{year{y} / m / 1}, last{year{y} / m / std::chrono::last};
      const int days = static_cast<int>((last - first).count()) + 1;
      dates.insert(dates.end(), {{y, m, 1, 0, 0, 0}, {y, m, days, 23, 59, 59}});
      expected.insert(expected.end(), {first.time_since_epoch().count() * 86400.0, last.time_since_epoch().count() * 86400.0 + 86399});
    }
  }
  for (const test::TagTime t : {test::TagTime{2026, 2, 29}, {1900, 2, 29}, {2100, 2, 29}, {2026, 4, 31}, {2026, 0, 1}, {2026, 13, 1},
                                {2026, 1, 0}, {2026, 1, 32}, {2026, 1, 1, 24}, {2026, 1, 1, 0, 60}, {2026, 1, 1, 0, 0, 60}}) {
    dates.push_back(t);
    expected.push_back(NC_FILL_DOUBLE);
  }
  test::TempDir dir;
  test::ImageBuilder img;
  for (const test::TagTime& t : dates) img.gps(t, {});
  img.eof().write_to(dir.file("tag.bin"));
  ASSERT_EQ(test::run_skelv({"tag.bin", "-netcdf"}, dir.path()).status, 0);
  const std::vector<double> times = column(dir.file("tag_gps.nc"), nullptr, "time");
  ASSERT_EQ(times.size(), dates.size());
  for (std::size_t i = 0; i < dates.size(); ++i) {
    const test::TagTime& t = dates[i];
    EXPECT_EQ(times[i], expected[i]) << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
  }
}

// A damaged stretch's last byte in the events group, past the first 256 MiB, where its offset
// takes all eight hexadecimal digits: the deployment of the damage tests, whose unknown code 5
// [44] is a stretch of one byte, written 0x10000000 bytes into a sparse image and decoded from
// there (-recover -netcdf 0x10000000).
TEST(NetcdfSwitch, DamagedStretchesPast256MiBKeepTheirLastByte) {
  constexpr std::uint64_t kAt = 0x10000000;
  test::TempDir dir;
  {
    const std::vector<std::uint8_t> bytes = test::deployment({0x05}).bytes();
    std::ofstream image(dir.file("tag.bin"), std::ios::binary);
    image.seekp(static_cast<std::streamoff>(kAt));
    image.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ASSERT_EQ(test::run_skelv({"tag.bin", "0x10000000", "-recover", "-netcdf"}, dir.path()).status, 3);
  const std::vector<double> first = column(dir.file("tag_dives.nc"), "events", "event_offset");
  const std::vector<double> last = column(dir.file("tag_dives.nc"), "events", "event_last_offset");
  const double stretch = static_cast<double>(kAt + 44);
  const auto it = std::find(first.begin(), first.end(), stretch);
  ASSERT_NE(it, first.end());
  ASSERT_EQ(last.size(), first.size());
  EXPECT_EQ(last[static_cast<std::size_t>(it - first.begin())], stretch);
}
#endif

}  // namespace
}  // namespace skelv
