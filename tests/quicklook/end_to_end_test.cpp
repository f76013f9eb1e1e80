// Both programs in a row: Skelv converts a built image, skelv-quicklook draws the result.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "quicklook_test_util.h"
#include "support/image_builder.h"
#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

using skelv::test::ImageBuilder;
using skelv::test::InfoBlock;
using skelv::test::read_file;
using skelv::test::run_skelv;
using skelv::test::TempDir;

struct Output {
  int status = -1;
  std::string text;  // standard output and standard error together
};

Output run_quicklook(const std::vector<std::string>& args, const std::string& cwd) {
  int pipefd[2];
  if (::pipe(pipefd) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipefd[1], STDOUT_FILENO);
    ::dup2(pipefd[1], STDERR_FILENO);
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    static char exe[] = SKELV_QUICKLOOK_EXE;
    std::vector<char*> argv{exe};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(exe, argv.data());
    ::_exit(127);
  }
  ::close(pipefd[1]);
  Output result;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipefd[0], buf, sizeof buf)) > 0) result.text.append(buf, static_cast<std::size_t>(n));
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void expect_well_formed(const std::string& path) {
  if (test::have_xmllint()) {
    EXPECT_TRUE(test::xml_well_formed(path)) << path;
  } else {
    std::fprintf(stderr, "xmllint not found: well-formedness not checked\n");
  }
}

void expect_all(const std::string& page, std::initializer_list<const char*> parts) {
  for (const char* part : parts) EXPECT_NE(page.find(part), std::string::npos) << part;
}

// A deployment with every kind of record: two dives in regime 1 (depth and temperature, one
// sample a second) with a dry period between them, and inside the first dive a GPS snapshot, a
// CTD cast and an accelerometer burst.
TEST(EndToEnd, ConvertsAndDrawsADeployment) {
  TempDir dir;
  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 100;
  img.info(info);
  const std::size_t first_dive = img.size();
  // Dive 1 from 09:00:00: depth 0, 5, 15, 30, 15, 5, 0 m (raw 0.1 m); temperature raw 5863
  // (5863 × 0.05 − 273.15 = 20.00 °C) falling by 1 °C (20 raw) a sample and rising again.
  img.dive_start(1, {2021, 3, 14, 9, 0, 0}, 100).u16(0).u16(5863);
  const std::uint16_t depth1[] = {0, 50, 150, 300, 150, 50, 0};
  const std::uint16_t temp1[] = {5863, 5843, 5823, 5803, 5823, 5843, 5863};
  for (int k = 1; k < 7; ++k) {
    if (k == 4) {
      // Between samples 3 and 4: a snapshot; a CTD cast from 09:05:00 of six samples, pressure raw
      // 606 rising by 60 (2 dbar) a sample over a surface of 606; a burst of four samples.
      img.gps({2021, 3, 14, 9, 0, 2}, {{12, 0x0123}});
      img.ctd_start(1, {2021, 3, 14, 9, 5, 0}, 100, 606, {606, 20000, 30840});
      for (int s = 0; s < 5; ++s) img.step(60).step(-100).step(-50);
      img.ctd_end();
      img.acc_start(4352, 4096, 3840);
      for (int s = 0; s < 3; ++s) img.step(10).step(-10).step(5);
      img.acc_end();
    }
    img.change(depth1[k - 1], depth1[k]).change(temp1[k - 1], temp1[k]);
  }
  // The dry period of regime 1 carries temperature only: three samples.
  img.dry_start(100).u16(5900).step(10).step(10);
  // Dive 2 from 10:00:00: 0, 10, 40, 10, 0 m.
  img.dive_start(1, {2021, 3, 14, 10, 0, 0}, 100).u16(0).u16(5863);
  const std::uint16_t depth2[] = {0, 100, 400, 100, 0};
  for (int k = 1; k < 5; ++k) img.change(depth2[k - 1], depth2[k]).step(0);
  img.eof();
  img.write_to(dir.file("tag17.bin"));

  const skelv::test::ProcessResult skelv = run_skelv({"tag17.bin"}, dir.path());
  ASSERT_EQ(skelv.status, 0) << skelv.out;
  if (skelv.out.find("Failure: Unknown code fb at byte " + std::to_string(first_dive + 1)) != std::string::npos) {
    GTEST_SKIP() << "this Skelv refuses dive starts: no dive, CTD or accelerometer streams yet";
  }
  ASSERT_EQ(skelv.out.find("Failure"), std::string::npos) << skelv.out;

  const Output ql = run_quicklook({"tag17.bin"}, dir.path());
  ASSERT_EQ(ql.status, 0) << ql.text;
  const std::string page_path = dir.file("tag17_quicklook.html");
  const std::string page = read_file(page_path);
  EXPECT_EQ(ql.text, "Wrote tag17_quicklook.html (" + std::to_string(page.size()) + " bytes)\n");
  expect_well_formed(page_path);
  expect_all(page, {"id=\"dive-profile\"", "<path class=\"series depth\"", "<rect class=\"haulout\" x=",
                    "id=\"dive-temperature\"", "<path class=\"series temp\"", "id=\"gps-timeline\"",
                    "id=\"ctd-casts\"", "id=\"accel-xyz\"", "<path class=\"series accx\"",
                    "<path class=\"series accy\"", "<path class=\"series accz\""});
  EXPECT_EQ(page.find("id=\"dive-wetdry\""), std::string::npos);  // regime 1 has no wet/dry column
  EXPECT_EQ(test::occurrences(page, "<path class=\"cast\""), 2);    // one cast: temperature, salinity
  expect_all(page, {
      // Dive 1: 7 lines, the dry period 3, dive 2 5; a header and a HAULOUT line.
      "<tr><td>tag17_tdr.txt</td><td class=\"n\">17</td><td class=\"n\">15</td><td class=\"n\">1</td>"
      "<td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
      "<tr><td>tag17_ctd.txt</td><td class=\"n\">7</td><td class=\"n\">6</td><td class=\"n\">1</td>"
      "<td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
      "<tr><td>tag17_gps.txt</td><td class=\"n\">1</td><td class=\"n\">1</td><td class=\"n\">0</td>",
      "<tr><td>tag17_accel.txt</td><td class=\"n\">5</td><td class=\"n\">4</td><td class=\"n\">1</td>",
      "<tr><th scope=\"row\">Dives</th><td>2 (deeper than 2 m)</td></tr>",
      "<tr><th scope=\"row\">Maximum depth</th><td>40.0 m at 2021-03-14 10:00:02</td></tr>",
      // Pressure (906 − 606) / 30 = 10 dbar at the last of the six samples.
      "<tr><th scope=\"row\">CTD casts</th><td>1 (6 samples, deepest 10.0 dbar)</td></tr>",
      "<tr><th scope=\"row\">GPS snapshots</th><td>1</td></tr>",
      "<tr><th scope=\"row\">Accelerometer samples</th><td>4</td></tr>",
      "<tr><th scope=\"row\">Diagnostic notes</th><td>0</td></tr>",
  });
}

// What this Skelv writes today from information, GPS and wet/dry records alone.
TEST(EndToEnd, DrawsTheGpsTimesOfAnImageWithoutStreams) {
  TempDir dir;
  ImageBuilder img;
  InfoBlock info;
  info.tag_version = 170;
  img.info(info);
  img.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}, {31, 0xabcd}});
  img.wetdry(1).gps({2021, 3, 14, 10, 0, 0}, {}).eof();
  img.write_to(dir.file("tag17.bin"));
  const skelv::test::ProcessResult skelv = run_skelv({"tag17.bin"}, dir.path());
  ASSERT_EQ(skelv.status, 0) << skelv.out;
  ASSERT_EQ(read_file(dir.file("tag17_gps.txt")), "2021/03/14 09:26:53 2 3 0 12 0123 31 abcd\n"
                                                  "2021/03/14 10:00:00 0 3 0\n");

  const Output ql = run_quicklook({dir.file("tag17.bin")}, "/");
  ASSERT_EQ(ql.status, 0) << ql.text;
  const std::string page = read_file(dir.file("tag17_quicklook.html"));
  expect_well_formed(dir.file("tag17_quicklook.html"));
  expect_all(page, {"<section id=\"summary\">", "<section id=\"gps\">", "id=\"gps-timeline\"",
                    "<tr><th scope=\"row\">GPS snapshots</th><td>2</td></tr>",
                    "<tr><th scope=\"row\">Time span (UTC)</th><td>2021-03-14 09:26:53 to 2021-03-14 10:00:00 "
                    "(00:33:07)</td></tr>"});
  for (const char* absent : {"<section id=\"dive\">", "<section id=\"ctd\">", "<section id=\"accel\">"}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
  // Two snapshots 1987 s apart: two ticks on the timeline.
  const std::size_t ticks = page.find("<path class=\"gps\" d=\"");
  ASSERT_NE(ticks, std::string::npos);
  const std::string d = page.substr(ticks, page.find('"', ticks + 21) - ticks);
  EXPECT_EQ(test::occurrences(d, "M"), 2) << d;
}

TEST(EndToEnd, NoConvertedFilesGiveStatusOne) {
  TempDir dir;
  const Output ql = run_quicklook({"tag17.bin"}, dir.path());
  EXPECT_EQ(ql.status, 1);
  EXPECT_EQ(ql.text, "skelv-quicklook: no converted files of tag17.bin: none of tag17_tdr.txt, tag17_ctd.txt, "
                     "tag17_gps.txt, tag17_accel.txt exists\n");
  const Output usage = run_quicklook({}, dir.path());
  EXPECT_EQ(usage.status, 1);
}

}  // namespace
}  // namespace skelv::quicklook
