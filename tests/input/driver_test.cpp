// The driver's shutdown: write errors surface as failures; positions past 4 GiB stay true.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "input/driver.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using DriverTest = DecodeTest;

// Section: failures.

TEST_F(DriverTest, OutputThatCannotBeWrittenFailsTheRun) {
  if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", run.gps_name);
  ImageBuilder image;
  image.gps({2020, 1, 2, 3, 4, 5}, {}).eof();
  EXPECT_FALSE(decode(image));
  EXPECT_EQ(failure(), std::string("Can't write GPS data file ") + run.gps_name + "\n");
  EXPECT_EQ(run.gps_count, 1u);  // the record was decoded and counted all the same
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
