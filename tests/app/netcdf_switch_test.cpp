// The datasets of a whole run with -netcdf.
#include <gtest/gtest.h>
#ifdef SKELV_TEST_NETCDF
#include <netcdf.h>
#endif

#include <chrono>
#include <string>
#include <vector>

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
// A GPS snapshot's time in the dataset is its date and time in seconds since 1970, worked out here
// by the standard library's calendar: the first second and the last of every month of years the
// snapshot's year byte can give (1900 to 2155), leap years and not; a date that is none (29
// February of a year that is not leap, day 0 or 32, month 0 or 13, 31 April, hour 24, minute or
// second 60) reads as the fill value.
TEST(NetcdfSwitch, GpsTimesAreTheirDatesInSecondsSince1970) {
  using namespace std::chrono;
  struct Row {
    test::TagTime t;
    double seconds;  // the expected value, or NC_FILL_DOUBLE
  };
  const auto at = [](test::TagTime t) {
    const sys_days day{year{t.year} / t.month / t.day};
    return static_cast<double>(day.time_since_epoch().count()) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  };
  std::vector<Row> rows;
  for (int y : {1900, 1969, 1970, 2000, 2024, 2026, 2100, 2155}) {
    for (unsigned m = 1; m <= 12; ++m) {
      const unsigned last = static_cast<unsigned>(year_month_day_last{year{y} / month{m} / std::chrono::last}.day());
      const test::TagTime first{y, static_cast<int>(m), 1, 0, 0, 0}, end{y, static_cast<int>(m), static_cast<int>(last), 23, 59, 59};
      rows.push_back({first, at(first)});
      rows.push_back({end, at(end)});
    }
  }
  for (const test::TagTime t : {test::TagTime{2026, 2, 29}, {1900, 2, 29}, {2100, 2, 29}, {2026, 4, 31}, {2026, 0, 1}, {2026, 13, 1},
                                {2026, 1, 0}, {2026, 1, 32}, {2026, 1, 1, 24}, {2026, 1, 1, 0, 60}, {2026, 1, 1, 0, 0, 60}}) {
    rows.push_back({t, NC_FILL_DOUBLE});
  }
  test::TempDir dir;
  test::ImageBuilder img;
  for (const Row& row : rows) img.gps(row.t, {});
  img.eof().write_to(dir.file("tag.bin"));
  ASSERT_EQ(test::run_skelv({"tag.bin", "-netcdf"}, dir.path()).status, 0);
  int ncid = -1, varid = -1;
  ASSERT_EQ(nc_open(dir.file("tag_gps.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(ncid, "time", &varid), NC_NOERR);
  std::vector<double> times(rows.size() + 1, 0.0);
  std::size_t n = 0;
  int dimid = -1;
  ASSERT_EQ(nc_inq_dimid(ncid, "obs", &dimid), NC_NOERR);
  ASSERT_EQ(nc_inq_dimlen(ncid, dimid, &n), NC_NOERR);
  ASSERT_EQ(n, rows.size());
  ASSERT_EQ(nc_get_var_double(ncid, varid, times.data()), NC_NOERR);
  nc_close(ncid);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const test::TagTime& t = rows[i].t;
    EXPECT_EQ(times[i], rows[i].seconds) << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
  }
}
#endif

}  // namespace
}  // namespace skelv
