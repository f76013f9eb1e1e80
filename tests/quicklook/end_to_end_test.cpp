// skelv-quicklook as a program: on what Skelv converts from a built image, with no files at all,
// and on large and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

using skelv::test::read_file;
using skelv::test::TempDir;
using Output = skelv::test::ProcessResult;

constexpr const char* kQuicklook = "'" SKELV_QUICKLOOK_EXE "' ";
constexpr const char* kSuffix[] = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};

Output sh(const TempDir& dir, const std::string& command) {  // with standard error
  return skelv::test::run_command(dir.path(), command + " 2>&1");
}

Output ql(const TempDir& dir, const std::string& args) { return sh(dir, kQuicklook + args); }

void expect_well_formed(const TempDir& dir) {  // also the check that texts from the files are escaped
  const Output lint = sh(dir, "xmllint --noout tag17_quicklook.html");
  EXPECT_EQ(lint.status, 0) << lint.out;
}

// tag17.bin, converted by Skelv. Dive 1 (regime 1) from 09:00:00, a sample a second: 0, 30, 0 m
// (raw 0.1 m) at temperature raw 5863 (5863 × 0.05 − 273.15 = 20.00 °C). Between its second and
// third samples: a GPS snapshot, a CTD cast of three samples from 09:05:00 (pressure raw 606 rising
// by 60, 2 dbar, a sample over a surface of 606) and an accelerometer burst of two samples. Then a
// dry period of one sample (a HAULOUT line) and dive 2 from 10:00:00: 0, 40, 40, 0 m.
void convert_deployment(const TempDir& dir) {
  skelv::test::ImageBuilder img;
  skelv::test::InfoBlock info;
  info.tag_version = 170;
  info.tdr_interval = 100;
  info.ctd_interval = 100;
  img.info(info).dive_start(1, {2021, 3, 14, 9, 0, 0}, 100).u16(0).u16(5863).change(0, 300).step(0);
  img.gps({2021, 3, 14, 9, 0, 2}, {{12, 0x0123}});
  img.ctd_start(1, {2021, 3, 14, 9, 5, 0}, 100, 606, {606, 20000, 30840});
  img.step(60).step(-100).step(-50).step(60).step(-100).step(-50).ctd_end();
  img.acc_start(4352, 4096, 3840).step(10).step(-10).step(5).acc_end().change(300, 0).step(0);
  img.dry_start(100).u16(5900);
  img.dive_start(1, {2021, 3, 14, 10, 0, 0}, 100).u16(0).u16(5863).change(0, 400).step(0).step(0).step(0);
  img.change(400, 0).step(0);
  img.eof().write_to(dir.file("tag17.bin"));
  const Output skelv = skelv::test::run_skelv({"tag17.bin"}, dir.path());
  ASSERT_EQ(skelv.status, 0) << skelv.out;
  ASSERT_EQ(skelv.out.find("Failure"), std::string::npos) << skelv.out;
}

TEST(EndToEnd, ConvertsAndDrawsADeployment) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(convert_deployment(dir));
  const Output run = ql(dir, "tag17.bin");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string page = read_file(dir.file("tag17_quicklook.html"));
  EXPECT_EQ(run.out, "Wrote tag17_quicklook.html (" + std::to_string(page.size()) + " bytes)\n");
  expect_well_formed(dir);
  for (const char* part : {
           "id=\"dive-profile\"", "<path class=\"series depth\"", "<rect class=\"haulout\" fill=",
           "id=\"dive-temperature\"", "<path class=\"series temp\"", "id=\"gps-timeline\"", "id=\"ctd-casts\"",
           "<path class=\"cast\"", "id=\"accel-xyz\"", "<path class=\"series accx\"", "<path class=\"series accy\"",
           "<path class=\"series accz\"",
           // Lines, samples, headers, HAULOUT, notes, unreadable, cut-off last line: 3 + 1 + 4 samples.
           "<tr><td>tag17_tdr.txt</td><td class=\"n\">10</td><td class=\"n\">8</td><td class=\"n\">1</td>"
           "<td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
           "<tr><td>tag17_ctd.txt</td><td class=\"n\">4</td><td class=\"n\">3</td><td class=\"n\">1</td>",
           "<tr><td>tag17_gps.txt</td><td class=\"n\">1</td><td class=\"n\">1</td><td class=\"n\">0</td>",
           "<tr><td>tag17_accel.txt</td><td class=\"n\">3</td><td class=\"n\">2</td><td class=\"n\">1</td>",
           "<tr><th scope=\"row\">Dives</th><td>2 deeper than 2 m, 0 of them cut by a haul-out, a gap or the "
           "end of the data</td></tr>",
           // The first sample at the maximum depth.
           "<tr><th scope=\"row\">Maximum depth</th><td>40.0 m at 2021-03-14 10:00:01</td></tr>",
           // The one cast is the last: the darkest colour, (8, 48, 107).
           "<path class=\"cast\" stroke=\"#08306b\"",
           // Pressure (726 − 606) / 30 = 4 dbar at the last of the three samples.
           "<tr><th scope=\"row\">CTD casts</th><td>1 (3 samples, deepest 4.0 dbar)</td></tr>",
       }) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  // Regime 1 has no wet/dry column; the page is self-contained and has no scripts.
  for (const char* absent : {"id=\"dive-wetdry\"", "<script", "src=", "href="}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
}

TEST(Quicklook, HelpVersionBadArgumentsAndNoConvertedFiles) {
  TempDir dir;
  for (const char* help : {"--help", "-help"}) {
    const auto r = ql(dir, help);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: skelv-quicklook IMAGE [-dive-threshold M] [-dive-min-duration S]", 0), 0u) << r.out;
  }
  const Output version = ql(dir, "--version");
  EXPECT_EQ(std::to_string(version.status) + " " + version.out, "0 skelv-quicklook v78\n");
  for (const char* bad : {"tag.bin -dive-threshold", "tag.bin -dive-threshold deep", "tag.bin -x", "a.bin b.bin", ""}) {
    EXPECT_EQ(ql(dir, bad).status, 1) << bad;
  }
  const Output none = ql(dir, "tag17.bin");
  EXPECT_EQ(std::to_string(none.status) + " " + none.out,
            "1 skelv-quicklook: no converted files of tag17.bin: none of tag17_tdr.txt, tag17_ctd.txt, "
            "tag17_gps.txt, tag17_accel.txt exists\n");
  EXPECT_FALSE(skelv::test::file_exists(dir.file("tag17_quicklook.html")));
}

// Regime 6 (depth and wet/dry state, 1 s): 0, 10, 10, 0, 0, 0, 0 m, in an image whose name holds
// a character of four UTF-8 bytes (U+1F422), kept as it is on the page. A line shows the state as
// it stands once the next sample has been read: 1, 0, 0, 1, 7, 1, 1 (a state record before the dive
// start would be passed over while looking for the first start record); 7, seen once, is named too.
TEST(Quicklook, PageNamesWhatEachWetDryValueStoodForAndTakesTheThreshold) {
  TempDir dir;
  skelv::test::ImageBuilder img;
  img.dive_start(6, {2021, 3, 14, 9, 0, 0}, 100).u16(0).wetdry(1).change(0, 100).wetdry(0).step(0);
  const std::string tag = "tag\xF0\x9F\x90\xA2";
  img.change(100, 0).wetdry(1).step(0).wetdry(7).step(0).wetdry(1).step(0).eof().write_to(dir.file(tag + ".bin"));
  ASSERT_EQ(skelv::test::run_skelv({tag + ".bin"}, dir.path()).status, 0);
  ASSERT_EQ(ql(dir, tag + ".bin").status, 0);
  std::string page = read_file(dir.file(tag + "_quicklook.html"));
  EXPECT_NE(page.find("<title>Quick look: " + tag + ".bin</title>"), std::string::npos);
  for (const char* part : {
           ">WETDRY: 1 dry or at the surface, 0 wet, 7 dry or at the surface</text>",
           "<tr><td class=\"n\">0</td><td class=\"n\">2</td><td class=\"n\">100.0 %</td><td>wet</td></tr>",
           "<tr><td class=\"n\">1</td><td class=\"n\">4</td><td class=\"n\">0.0 %</td><td>dry or at the surface</td></tr>",
           "<tr><td class=\"n\">7</td><td class=\"n\">1</td><td class=\"n\">0.0 %</td><td>dry or at the surface</td></tr>",
           "<td>1 deeper than 2 m, 0 of them cut", "id=\"day-strips\"", ">2021-03-14</text>", "id=\"dive-clock\"",
           "id=\"dive-histograms\"", "<h3>Ten deepest dives</h3>",
           "<tr><td class=\"n\">1</td><td>2021-03-14 09:00:01</td><td class=\"n\">00:00:01</td><td class=\"n\">10.0 m</td>"
           "<td class=\"n\">00:00:01</td><td></td></tr>",
       }) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  // Deeper than 10 m: no dive at all, and no dive panels.
  ASSERT_EQ(ql(dir, tag + ".bin --dive-threshold 10").status, 0);
  page = read_file(dir.file(tag + "_quicklook.html"));
  EXPECT_NE(page.find("<td>0 deeper than 10 m, 0 of them cut"), std::string::npos);
  EXPECT_EQ(page.find("id=\"dive-clock\""), std::string::npos);
  EXPECT_NE(page.find("<th>Deeper than 10 m</th>"), std::string::npos);
}

// A tag switched on ashore: a dry start before any time is known. Then regime 2 from 09:00:00,
// a sample a second, on a surface that reads 3 m: 3, 3, 13, 3, 3 m.
TEST(Quicklook, HaulOutBeforeAnyTimeHasNoStartAndTheDepthsTakeTheDiveSwitches) {
  TempDir dir;
  skelv::test::ImageBuilder img;
  img.dry_start(6000).dive_start(2, {2021, 3, 14, 9, 0, 0}, 100).u16(30).step(0).step(100).step(-100).step(0);
  img.eof().write_to(dir.file("tag.bin"));
  ASSERT_EQ(skelv::test::run_skelv({"tag.bin"}, dir.path()).status, 0);
  // The TDR file holds it as Skelv writes it, from 1969/12/31 23:59:00 (0 - 60 s).
  EXPECT_NE(read_file(dir.file("tag_tdr.txt")).find("HAULOUT: 1969/12/31 23:59:00 2021/03/14 08:59:59\n"),
            std::string::npos);
  ASSERT_EQ(ql(dir, "tag.bin -zoc 3").status, 0);
  const std::string page = read_file(dir.file("tag_quicklook.html"));
  for (const char* part : {
           "<td>2021-03-14 09:00:00 to 2021-03-14 09:00:04 (00:00:04)</td>",
           "<td>1 (1 began before any time was known: start unknown)</td>",
           "<td>zero-offset corrected: 3 m subtracted (-zoc 3)</td>",
           "<td>1 deeper than 2 m, 0 of them cut", "<td>10.0 m at 2021-03-14 09:00:02</td>",
       }) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(page.find("1969"), std::string::npos);
  EXPECT_EQ(page.find("<rect class=\"haulout\""), std::string::npos);
}

// Many lines with the most varied content the page can show stay under 2 MB: every column of
// every trace busy, 300 casts of 200 samples (a new surface pressure every 200 lines), thousands
// of haul-outs, more note texts than the table lists (with markup to escape in them).
TEST(Quicklook, ThePageStaysSmallWhateverTheInput) {
  std::mt19937 rng(3);
  auto num = [&rng](double scale) { return static_cast<double>(rng() % 100000) / 100000.0 * scale; };
  std::string files[4] = {"DATE(UTC)\tDEPTH(m)\tTEMP(C)\tWETDRY\n"};
  char t[32], line[160];
  auto put = [&](int k, const char* format, auto... values) {
    std::snprintf(line, sizeof line, format, t, values...);
    files[k] += line;
  };
  for (long i = 0; i < 200000; ++i) {
    const long s = 7 * i;  // 2021-03-14 00:00:00 and 7 s a line
    std::snprintf(t, sizeof t, "2021/03/%02ld %02ld:%02ld:%02ld", 14 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
    put(0, "%s.123\t%.3f\t%.2f\t%u\n", num(500), num(30) - 2, static_cast<unsigned>(rng() % 256));
    if (i % 97 == 0) put(0, "HAULOUT: %s %s\n@%08ld: note <%ld> & more\n", t, i, i % 40);
    if (i < 60000) put(1, "%s\t%.2f\t0\t%.2f\t%.3f\t1\t%.4f\n", num(2000), i / 200 * 0.01, num(30), num(40));
    if (i < 50000) put(2, "%s 0 3 0\n");
    if (i < 3) files[2] += "2021/00/14 00:00:00 0 3 0\n";  // month 0: no valid time
    if (i < 50000) put(3, "%s.123\t%.4f\t%.4f\t%.4f\n", num(4) - 2, num(4) - 2, num(4) - 2);
  }
  TempDir dir;
  for (int k = 0; k < 4; ++k) skelv::test::write_file(dir.file(std::string("tag17") + kSuffix[k]), files[k]);
  const Output run = ql(dir, "tag17.bin");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string page = read_file(dir.file("tag17_quicklook.html"));
  EXPECT_LT(page.size(), 2u << 20);
  // 300 casts: every 8th is drawn, 38 of them (every 4th would be 75, more than 40).
  // A long record is drawn as envelopes, and 50 000 snapshots as their number per 2 h (16 days
  // of TDR lines over about 1000 pixels: bars of at least 4 pixels).
  for (const char* part : {"<tr><th scope=\"row\">CTD casts</th><td>300 (60\u2009000 samples", "<tr><td>other texts</td>",
                           "one cast in every 8 is drawn (38 of 300)", "50\u2009003 (3 without a valid time)",
                           "<path class=\"series wetdry\"", "<path class=\"series accz\"", "<path class=\"envelope depth\"",
                           "<rect class=\"envelope depth legend\"",
                           // The notes came from the TDR file alone.
                           "<tr><td><code>note &lt;0&gt; &amp; more</code></td>", "</td><td>TDR</td></tr>",
                           ">snapshots per 2 h (UTC)</text>"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  expect_well_formed(dir);
}

// Converted files cut anywhere or with flipped bytes still give a whole page.
TEST(Quicklook, DrawsCutAndDamagedFiles) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(convert_deployment(dir));
  std::string files[4];
  for (int k = 0; k < 4; ++k) files[k] = read_file(dir.file(std::string("tag17") + kSuffix[k]));
  const char bytes[] = {'\0', '\t', '\n', '\r', '@', '/', ':', '.', '-', '9', '\xff', '\x80'};
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    for (int k = 0; k < 4; ++k) {
      std::string text = files[k];
      if (round % 2 == 0) text.resize(rng() % (text.size() + 1));
      for (int flip = 0; round % 2 == 1 && flip < 4; ++flip) text[rng() % text.size()] = bytes[rng() % sizeof bytes];
      skelv::test::write_file(dir.file(std::string("tag17") + kSuffix[k]), text);
    }
    const Output run = ql(dir, "tag17.bin");
    ASSERT_EQ(run.status, 0) << round << run.out;
    EXPECT_NE(read_file(dir.file("tag17_quicklook.html")).find("</html>"), std::string::npos) << round;
    if (round % 10 == 1) expect_well_formed(dir);
  }
}

}  // namespace
}  // namespace skelv::quicklook
