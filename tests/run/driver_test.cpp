// The driver's shutdown: write errors surface as failures; positions past 4 GiB stay true.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "run/driver.h"
#include "output/out_file.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using DriverTest = DecodeTest;

TEST_F(DriverTest, OutputThatCannotBeCreatedOrWrittenFailsTheRunAndTheOthersAreComplete) {
  // A regime 2 dive (interval 1 s) holding a snapshot, a profile and a one-sample burst.
  ImageBuilder image;
  image.dive_start(2, {2020, 1, 2, 3, 4, 5}, 100).u16(50).gps({2020, 1, 2, 3, 4, 6}, {{5, 0x000A}});
  image.ctd_start(0, {2020, 1, 2, 3, 4, 5}, 100, 600, {900, 23000, 200}).ctd_end();
  image.acc_start(256, 256, 256).acc_end().step(1).eof();
  // Depth 50 and 51 tenths of a metre at 03:04:05 and :06. The profile's sample with the
  // default calibration: (900 - 600) / 30 = 10 dbar, (23000 - 8000) / 1000 = 15 C, 0 mS/cm.
  // The burst spans the dive interval up to the dive clock (03:04:04 to :05); 256 / 256 - 16 = -15 g.
  const struct {
    const char* kind;
    const char* name;
    std::string text;
  } outputs[] = {
      {"TDR", run.tdr_name, "DATE(UTC)\tDEPTH(m)\n2020/01/02 03:04:05.000\t5.000\n2020/01/02 03:04:06.000\t5.100\n"},
      {"CTD", run.ctd_name, kCtdHeader + "\n2020/01/02 03:04:05\t10.00\t10.00\t0.00\t15.000\t0.0000\t0.0000\n"},
      {"GPS", run.gps_name, "2020/01/02 03:04:06 1 3 0 5 000a\n"},
      {"ACC", run.acc_name, "DATE(UTC)\tX\tY\tZ\n2020/01/02 03:04:04.000\t-15.0000\t-15.0000\t-15.0000\n"}};
  for (const auto& bad : outputs) {
    SCOPED_TRACE(bad.kind);
    fresh();
    for (const auto& o : outputs) std::filesystem::remove_all(o.name);
    make_uncreatable(bad.name);
    EXPECT_FALSE(decode(image));
    EXPECT_EQ(failure(), std::string("Can't create ") + bad.kind + " data file " + bad.name + "\n");
    for (const auto& o : outputs) EXPECT_TRUE(&o == &bad || read_file(o.name) == o.text) << o.kind;
  }
  // Files may not grow past 40 bytes: the TDR, accelerometer and CTD files can't be written
  // (closed in that order), the 33 bytes of the GPS file can. Every failure is kept, each
  // failed file keeps no partial data, and every record was still decoded and counted.
  fresh();
  for (const auto& o : outputs) std::filesystem::remove_all(o.name);
  image.write_to(run.input_name);
  {
    FileSizeLimit limit(40);
    EXPECT_FALSE(decode_input());
  }
  std::vector<std::string> failures;
  for (const Event& e : rs->events.list) failures.push_back(e.text);
  EXPECT_EQ(failures, (std::vector<std::string>{std::string("Can't write TDR data file ") + run.tdr_name + "\n",
                                                std::string("Can't write ACC data file ") + run.acc_name + "\n",
                                                std::string("Can't write CTD data file ") + run.ctd_name + "\n"}));
  EXPECT_EQ(read_file(run.gps_name), outputs[2].text);
  for (const char* name : {run.tdr_name, run.ctd_name, run.acc_name}) {
    EXPECT_FALSE(file_exists(name)) << name;
    EXPECT_FALSE(file_exists(std::string(name) + ".partial")) << name;
  }
  EXPECT_EQ(std::vector<std::uint32_t>({run.tdr_count, run.ctd_count, run.gps_count, run.acc_count}),
            std::vector<std::uint32_t>({2, 1, 1, 1}));
}

TEST_F(DriverTest, OutputThatCouldNotBeCreatedIsCreatedAtTheNextRecordOfItsKind) {
  // A record of each kind finds its file uncreatable; 520 wet/dry records later the progress
  // report at 1024 mends the name, and a second record of the kind creates the file. The bursts,
  // in a dive at 03:04:05, span the second before it and form one block.
  ImageBuilder pad;
  for (int i = 0; i < 520; ++i) pad.wetdry(0);
  const TagTime t{2020, 1, 2, 3, 4, 5};
  const struct {
    const char* name;
    ImageBuilder first, second;
    std::string text;
  } rows[] = {
      {run.tdr_name, ImageBuilder().dive_start(2, t, 100).u16(50), ImageBuilder().dive_start(2, t, 100).u16(60),
       "DATE(UTC)\tDEPTH(m)\n2020/01/02 03:04:05.000\t6.000\n"},
      {run.ctd_name, ImageBuilder().ctd_start(0, t, 100, 600, {900, 23000, 200}).ctd_end(),
       ImageBuilder().ctd_start(0, t, 100, 600, {930, 23000, 200}).ctd_end(),
       kCtdHeader + "\n2020/01/02 03:04:05\t11.00\t11.00\t0.00\t15.000\t0.0000\t0.0000\n"},
      {run.gps_name, ImageBuilder().gps(t, {}), ImageBuilder().gps(t, {{1, 2}}), "2020/01/02 03:04:05 1 3 0 1 0002\n"},
      {run.acc_name, ImageBuilder().dive_start(2, t, 100).u16(50).acc_start(256, 256, 256).acc_end(),
       ImageBuilder().acc_start(512, 512, 512).acc_end(),
       "DATE(UTC)\tX\tY\tZ\n2020/01/02 03:04:04.000\t-15.0000\t-15.0000\t-15.0000\n"
       "2020/01/02 03:04:04.500\t-14.0000\t-14.0000\t-14.0000\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    make_uncreatable(row.name);
    on_progress = [&row] { std::filesystem::remove(row.name); };
    EXPECT_FALSE(decode(ImageBuilder(row.first).raw(pad.bytes()).raw(row.second.bytes()).eof()));
    EXPECT_EQ(failure().rfind("Can't create ", 0), 0u) << failure();
    EXPECT_EQ(read_file(row.name), row.text);
    std::filesystem::remove(row.name);
  }
}

TEST_F(DriverTest, FormattedTextLongerThanTheSmallBufferIsWrittenWhole) {
  ASSERT_TRUE(out_open(rs->text.gps_file.file, run.gps_name));
  const std::string text(5000, 'g');
  out_printf(rs->text.gps_file.file, "<%s>%d", text.c_str(), 7);
  out_puts(rs->text.gps_file.file, "|");
  EXPECT_EQ(gps(), "<" + text + ">7|");
  out_close(rs->text.gps_file.file);
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
  EXPECT_FALSE(decode_file(*rs, nullptr, static_cast<std::int64_t>(at - 3), false));
  // 0xF4 stands at at + 8; the offset after it is at + 9 = 4294967321.
  EXPECT_EQ(failure(), "Unknown code f4 at byte 4294967321\n");
  EXPECT_EQ(run.byte_count, 4294967321u);
  EXPECT_EQ(run.gps_count, 1u);
}

}  // namespace
}  // namespace skelv::test
