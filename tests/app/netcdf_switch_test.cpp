// The datasets of a whole run with -netcdf.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace skelv
