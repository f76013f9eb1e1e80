// The -netcdf switch on the command line and the datasets of a whole run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "support/test_support.h"

namespace skelv {
namespace {

CommandLine parse(std::vector<const char*> args, Run& run) {
  args.insert(args.begin(), "Skelv");
  return parse_command_line(static_cast<int>(args.size()), args.data(), run);
}

TEST(NetcdfSwitch, CombinesWithOffsetAndScanInAnyOrder) {
  struct Case {
    std::vector<const char*> args;
    bool netcdf;
    bool scan;
    std::int64_t offset;
  };
  const Case cases[] = {
      {{"tag.bin", "-netcdf"}, true, false, 0},
      {{"tag.bin", "--netcdf"}, true, false, 0},
      // The switch is no offset: the offset before it stays.
      {{"tag.bin", "0x400", "-netcdf", "-scan"}, true, true, 1024},
      {{"tag.bin", "-scan", "-netcdf", "77"}, true, true, 77},
      {{"tag.bin", "77"}, false, false, 77},
      // Only the exact words count; anything else is an offset as before.
      {{"tag.bin", "0x10", "-netcdfx"}, false, false, 0},
      {{"tag.bin", "0x10", "-NETCDF"}, false, false, 0},
  };
  for (const Case& c : cases) {
    skelv::Run run;
    const CommandLine cl = parse(c.args, run);
    EXPECT_EQ(cl.action, Action::kRun);
    EXPECT_EQ(cl.netcdf, c.netcdf) << c.args.back();
    EXPECT_EQ(cl.scan, c.scan) << c.args.back();
    EXPECT_EQ(cl.offset, c.offset) << c.args.back();
  }
}

TEST(NetcdfSwitch, WritesTheDatasetsOfTheRecordKindsBesideTheTextFiles) {
  test::TempDir dir;
  test::ImageBuilder img;
  img.dive_start(2, test::TagTime{2025, 11, 30, 6, 0, 0, 0}, 100).u16(100).step(1).eof();
  img.write_to(dir.file("tag.bin"));
  const test::ProcessResult r = test::run_skelv({"tag.bin", "-netcdf"}, dir.path());
#ifdef SKELV_TEST_NETCDF
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::read_file(dir.file("tag_tdr.txt")),
            "DATE(UTC)\tDEPTH(m)\n2025/11/30 06:00:00.000\t10.000\n2025/11/30 06:00:01.000\t10.100\n");
  EXPECT_TRUE(test::file_exists(dir.file("tag_dives.nc")));
  // Only the dives file: the image holds no CTD, GPS or accelerometer record.
  EXPECT_FALSE(test::file_exists(dir.file("tag_ctd.nc")));
  EXPECT_FALSE(test::file_exists(dir.file("tag_gps.nc")));
  EXPECT_FALSE(test::file_exists(dir.file("tag_accel.nc")));
  // The NetCDF files' signature: HDF5.
  EXPECT_EQ(test::read_file(dir.file("tag_dives.nc")).substr(0, 8), "\x89HDF\r\n\x1a\n");
#else
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("without NetCDF support"), std::string::npos);
  EXPECT_NE(r.out.find("libnetcdf-dev"), std::string::npos);
  EXPECT_FALSE(test::file_exists(dir.file("tag_tdr.txt")));
#endif
}

}  // namespace
}  // namespace skelv
