// The driver's shutdown: write errors surface as failures; positions past 4 GiB stay true.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "input/driver.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using DriverTest = DecodeTest;

// Section: failures.

TEST_F(DriverTest, OutputThatCannotBeWrittenFailsTheRunAndTheOthersAreComplete) {
  if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // A regime 2 dive (interval 1 s) holding a snapshot, a profile and a one-sample burst.
  ImageBuilder image;
  image.dive_start(2, {2020, 1, 2, 3, 4, 5}, 100).u16(50).gps({2020, 1, 2, 3, 4, 6}, {{5, 0x000A}});
  image.ctd_start(0, {2020, 1, 2, 3, 4, 5}, 100, 600, {900, 23000, 200}).ctd_end();
  image.acc_start(256, 256, 256).acc_end().step(1).eof();
  // Depth 50 and 51 tenths of a metre at 03:04:05 and :06. The profile's sample with the
  // default calibration: (900 - 600) / 30 = 10 dbar, (23000 - 8000) / 1000 = 15 C, 0 mS/cm.
  // The burst spans the dive interval up to the dive clock (03:04:04 to :05); 256 / 256 - 16 = -15 g.
  const std::string tdr_text = "DATE(UTC)\tDEPTH(m)\n2020/01/02 03:04:05.000\t5.000\n2020/01/02 03:04:06.000\t5.100\n";
  const std::string ctd_text =
      kCtdHeader + "\n2020/01/02 03:04:05\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000\n";
  const std::string gps_text = "2020/01/02 03:04:06 1 3 0 5 000a\n";
  const std::string acc_text = "DATE(UTC)\tX\tY\tZ\n2020/01/02 03:04:04.000\t-15.0000\t-15.0000\t-15.0000\n";
  struct Output {
    const char* kind;
    const char* name;
    std::string text;
  };
  const Output outputs[] = {{"TDR", run.tdr_name, tdr_text}, {"CTD", run.ctd_name, ctd_text},
                            {"GPS", run.gps_name, gps_text}, {"ACC", run.acc_name, acc_text}};
  for (const Output& full : outputs) {  // the output that is a link to /dev/full
    SCOPED_TRACE(full.kind);
    st = DecoderState{};
    st.console = [](const char*) {};
    for (const Output& o : outputs) std::remove(o.name);
    std::filesystem::create_symlink("/dev/full", full.name);
    EXPECT_FALSE(decode(image));
    EXPECT_EQ(failure(), std::string("Can't write ") + full.kind + " data file " + full.name + "\n");
    // Every record was decoded and counted all the same, and the other files are whole.
    EXPECT_EQ(run.tdr_count, 2u);
    EXPECT_EQ(run.ctd_count, 1u);
    EXPECT_EQ(run.gps_count, 1u);
    EXPECT_EQ(run.acc_count, 1u);
    for (const Output& o : outputs) {
      if (&o != &full) {
        EXPECT_EQ(read_file(o.name), o.text) << o.kind;
      }
    }
  }
}

TEST_F(DriverTest, OutputThatCannotBeCreatedIsTriedAgainAtEachRecord) {
  std::filesystem::create_directory(run.gps_name);  // a folder where the file should be
  ImageBuilder image;
  image.gps({2020, 1, 2, 3, 4, 5}, {}).gps({2020, 1, 2, 3, 4, 6}, {}).eof();
  EXPECT_FALSE(decode(image));
  EXPECT_EQ(failure(), std::string("Can't create GPS data file ") + run.gps_name + "\n");
  EXPECT_EQ(run.gps_count, 2u);
  EXPECT_FALSE(st.gps_started);
}

// Section: large images.

TEST_F(DriverTest, PositionsPast4GiBAreReportedInFull) {
  // A sparse image: a snapshot and an unknown code at 4 GiB + 16.
  const std::uint64_t at = (std::uint64_t{1} << 32) + 16;
  ImageBuilder tail;
  tail.gps({2020, 1, 2, 3, 4, 5}, {}).code(0xF4);
  const int fd = ::open(run.input_name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, tail.bytes().data(), tail.size(), static_cast<off_t>(at)),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  EXPECT_FALSE(decode_file(st, run, nullptr, static_cast<std::int64_t>(at - 3), false));
  // 0xF4 stands at at + 8; the offset after it is at + 9 = 4294967321.
  EXPECT_EQ(failure(), "Unknown code f4 at byte 4294967321\n");
  EXPECT_EQ(run.byte_count, 4294967321u);
  EXPECT_EQ(run.gps_count, 1u);
}

}  // namespace
}  // namespace skelv::test
