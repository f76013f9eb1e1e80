// The -netcdf switch on the command line and the datasets of a whole run.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/command_line.h"
#include "support/test_support.h"

namespace skelv {
namespace {

TEST(NetcdfSwitch, CombinesWithOffsetAndScanInAnyOrder) {
  struct Case {
    std::vector<const char*> args;
    bool netcdf, scan;
    std::int64_t offset;
  };
  const Case cases[] = {
      {{"Skelv", "tag.bin", "-netcdf"}, true, false, 0},
      {{"Skelv", "tag.bin", "--netcdf"}, true, false, 0},
      // The switch is no offset: the offset before it stays.
      {{"Skelv", "tag.bin", "0x400", "-netcdf", "-scan"}, true, true, 1024},
      {{"Skelv", "tag.bin", "-scan", "-netcdf", "77"}, true, true, 77},
      // Only the exact words count; anything else is an offset as before.
      {{"Skelv", "tag.bin", "0x10", "-netcdfx"}, false, false, 0},
      {{"Skelv", "tag.bin", "0x10", "-NETCDF"}, false, false, 0},
  };
  for (const Case& c : cases) {
    skelv::Run run;
    const CommandLine cl = parse_command_line(static_cast<int>(c.args.size()), c.args.data(), run);
    EXPECT_EQ(cl.action, Action::kRun);
    EXPECT_EQ(std::tuple(cl.netcdf, cl.scan, cl.offset), std::tuple(c.netcdf, c.scan, c.offset)) << c.args.back();
  }
}

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
