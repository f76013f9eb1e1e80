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
  int ncid = -1, events = -1, varid = -1, dimid = -1;
  ASSERT_EQ(nc_open(dir.file("tag_dives.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  ASSERT_EQ(nc_inq_grp_ncid(ncid, "events", &events), NC_NOERR);
  std::size_t n = 0;
  ASSERT_EQ(nc_inq_dimid(events, "event", &dimid), NC_NOERR);
  ASSERT_EQ(nc_inq_dimlen(events, dimid, &n), NC_NOERR);
  std::vector<double> first(n), last(n);
  ASSERT_EQ(nc_inq_varid(events, "event_offset", &varid), NC_NOERR);
  ASSERT_EQ(nc_get_var_double(events, varid, first.data()), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(events, "event_last_offset", &varid), NC_NOERR);
  ASSERT_EQ(nc_get_var_double(events, varid, last.data()), NC_NOERR);
  nc_close(ncid);
  const double stretch = static_cast<double>(kAt + 44);
  const auto it = std::find(first.begin(), first.end(), stretch);
  ASSERT_NE(it, first.end());
  EXPECT_EQ(last[static_cast<std::size_t>(it - first.begin())], stretch);
}
#endif

}  // namespace
}  // namespace skelv
