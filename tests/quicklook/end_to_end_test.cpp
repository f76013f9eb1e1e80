// skelv-quicklook as a program: on what Skelv converts from a built image, with no files at all,
// and on large and damaged files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/image_builder.h"
#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

using skelv::test::ImageBuilder;
using skelv::test::read_file;
using skelv::test::TempDir;
using skelv::test::write_file;

using Output = skelv::test::ProcessResult;

constexpr const char* kSuffix[] = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};

Output sh(const std::string& command) {
  Output r;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

Output quicklook(const TempDir& dir, const std::string& image) {
  const std::string cd = std::string("cd '").append(dir.path()).append("' && ");
  return sh(cd + "'" SKELV_QUICKLOOK_EXE "' " + image + " 2>&1");
}

void expect_well_formed(const std::string& path) {
  const Output lint = sh(std::string("xmllint --noout '").append(path).append("' 2>&1"));
  if (lint.status == 127) {
    std::fprintf(stderr, "xmllint not found: well-formedness not checked\n");
  } else {
    EXPECT_EQ(lint.status, 0) << path << "\n" << lint.out;
  }
}

// tag17.bin, converted by Skelv: two dives in regime 1 (depth and temperature, a sample a second)
// with a dry period between them, and inside the first dive a GPS snapshot, a CTD cast and an
// accelerometer burst.
void convert_deployment(const TempDir& dir) {
  ImageBuilder img;
  skelv::test::InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 100;
  img.info(info);
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
      img.ctd_end().acc_start(4352, 4096, 3840);
      for (int s = 0; s < 3; ++s) img.step(10).step(-10).step(5);
      img.acc_end();
    }
    img.change(depth1[k - 1], depth1[k]).change(temp1[k - 1], temp1[k]);
  }
  // The dry period of regime 1 carries temperature only: three samples. Then dive 2 from
  // 10:00:00: 0, 10, 40, 10, 0 m.
  img.dry_start(100).u16(5900).step(10).step(10);
  img.dive_start(1, {2021, 3, 14, 10, 0, 0}, 100).u16(0).u16(5863);
  const std::uint16_t depth2[] = {0, 100, 400, 100, 0};
  for (int k = 1; k < 5; ++k) img.change(depth2[k - 1], depth2[k]).step(0);
  img.eof().write_to(dir.file("tag17.bin"));
  const Output skelv = skelv::test::run_skelv({"tag17.bin"}, dir.path());
  ASSERT_EQ(skelv.status, 0) << skelv.out;
  ASSERT_EQ(skelv.out.find("Failure"), std::string::npos) << skelv.out;
}

TEST(EndToEnd, ConvertsAndDrawsADeployment) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(convert_deployment(dir));
  const Output ql = quicklook(dir, "tag17.bin");
  ASSERT_EQ(ql.status, 0) << ql.out;
  const std::string page = read_file(dir.file("tag17_quicklook.html"));
  EXPECT_EQ(ql.out, "Wrote tag17_quicklook.html (" + std::to_string(page.size()) + " bytes)\n");
  expect_well_formed(dir.file("tag17_quicklook.html"));
  for (const char* part : {
           "id=\"dive-profile\"", "<path class=\"series depth\"", "<rect class=\"haulout\" x=",
           "id=\"dive-temperature\"", "<path class=\"series temp\"", "id=\"gps-timeline\"", "id=\"ctd-casts\"",
           "<path class=\"cast\"", "id=\"accel-xyz\"", "<path class=\"series accx\"", "<path class=\"series accy\"",
           "<path class=\"series accz\"",
           // Lines, samples, headers, HAULOUT, notes, unreadable, cut-off last line. Dive 1 has 7
           // lines, the dry period 3, dive 2 5; a header and a HAULOUT line.
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
       }) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  // Regime 1 has no wet/dry column; the page is self-contained and has no scripts.
  for (const char* absent : {"id=\"dive-wetdry\"", "<script", "src=", "href="}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
}

TEST(Quicklook, NoConvertedFilesGiveStatusOne) {
  TempDir dir;
  const Output ql = quicklook(dir, "tag17.bin");
  EXPECT_EQ(ql.status, 1);
  EXPECT_EQ(ql.out, "skelv-quicklook: no converted files of tag17.bin: none of tag17_tdr.txt, tag17_ctd.txt, "
                    "tag17_gps.txt, tag17_accel.txt exists\n");
  EXPECT_FALSE(skelv::test::file_exists(dir.file("tag17_quicklook.html")));
  EXPECT_EQ(quicklook(dir, "").status, 1);  // no image named
}

// Many lines with the most varied content the page can show stay under 2 MB: every column of
// every trace busy, hundreds of casts of hundreds of samples, thousands of haul-outs, more note
// texts than the table lists (with markup to escape in them).
TEST(Quicklook, ThePageStaysSmallWhateverTheInput) {
  std::mt19937 rng(3);
  auto num = [&rng](double scale) { return static_cast<double>(rng() % 100000) / 100000.0 * scale; };
  char t[32], line[160];
  auto put = [&line](std::string& to, const char* format, auto... values) {
    std::snprintf(line, sizeof line, format, values...);
    to += line;
  };
  std::string tdr = "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tWETDRY\n", ctd, gps, acc;
  for (long i = 0; i < 200000; ++i) {
    const long s = 7 * i;  // 2021-03-14 00:00:00 and 7 s a line
    std::snprintf(t, sizeof t, "2021/03/%02ld %02ld:%02ld:%02ld", 14 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
    put(tdr, "%s.123\t%.3f\t%.2f\t%u\n", t, num(500), num(30) - 2, static_cast<unsigned>(rng() % 256));
    if (i % 97 == 0) put(tdr, "HAULOUT: %s %s\n@%08ld: note <%ld> & more\n", t, t, i, i % 40);
    // A new surface pressure every 200 lines: 300 casts, each drawn in columns of 2 samples.
    if (i < 60000) put(ctd, "%s\t%.2f\t0\t%.2f\t%.3f\t1\t%.4f\n", t, num(2000), i / 200 * 0.01, num(30), num(40));
    if (i < 50000) put(gps, "%s 0 3 0\n", t);
    if (i < 50000) put(acc, "%s.123\t%.4f\t%.4f\t%.4f\n", t, num(4) - 2, num(4) - 2, num(4) - 2);
  }
  TempDir dir;
  const std::string* files[] = {&tdr, &ctd, &gps, &acc};
  for (int k = 0; k < 4; ++k) write_file(dir.file(std::string("tag17").append(kSuffix[k])), *files[k]);
  const Output ql = quicklook(dir, "tag17.bin");
  ASSERT_EQ(ql.status, 0) << ql.out;
  const std::string page = read_file(dir.file("tag17_quicklook.html"));
  EXPECT_LT(page.size(), 2u << 20);
  for (const char* part : {"<tr><th scope=\"row\">CTD casts</th><td>300 (60\u2009000 samples", "<tr><td>other texts</td>",
                           "<path class=\"series wetdry\"", "<path class=\"series accz\""}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  expect_well_formed(dir.file("tag17_quicklook.html"));
}

// Converted files cut anywhere or with flipped bytes still give a whole page.
TEST(Quicklook, DrawsCutAndDamagedFiles) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(convert_deployment(dir));
  std::string files[4];
  for (int k = 0; k < 4; ++k) files[k] = read_file(dir.file(std::string("tag17").append(kSuffix[k])));
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    for (int k = 0; k < 4; ++k) {
      std::string text = files[k];
      if (round % 2 == 0) {
        text.resize(rng() % (text.size() + 1));
      } else {
        const char bytes[] = {'\0', '\t', '\n', '\r', '@', '/', ':', '.', '-', '9', '\xff', '\x80'};
        for (int flips = 0; flips < 4; ++flips) text[rng() % text.size()] = bytes[rng() % sizeof bytes];
      }
      write_file(dir.file(std::string("tag17").append(kSuffix[k])), text);
    }
    const Output ql = quicklook(dir, "tag17.bin");
    ASSERT_EQ(ql.status, 0) << round << ql.out;
    const std::string page = read_file(dir.file("tag17_quicklook.html"));
    ASSERT_LT(page.size(), 2u << 20);
    EXPECT_NE(page.find("</html>"), std::string::npos);
    if (round % 10 == 1) expect_well_formed(dir.file("tag17_quicklook.html"));
  }
}

}  // namespace
}  // namespace skelv::quicklook
