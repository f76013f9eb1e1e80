// The program on hand-written files in Skelv's formats: the page, its panels and its summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "quicklook/page.h"
#include "quicklook/quicklook.h"
#include "quicklook_test_util.h"
#include "support/test_support.h"

namespace skelv::quicklook {
namespace {

using skelv::test::read_file;
using skelv::test::TempDir;
using skelv::test::write_file;
using test::have_xmllint;
using test::occurrences;
using test::xml_well_formed;

constexpr char kTdr[] =
    "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS\n"
    "2021/03/14 09:00:00.000\t0.000\t20.00\t0.00\t1.0\t2.0\t3.0\t11\t1\n"
    "2021/03/14 09:00:01.000\t12.000\t15.00\t0.12\t1.0\t2.0\t3.0\t11\t0\n"
    "2021/03/14 09:00:02.000\t30.000\t10.00\t0.24\t1.0\t2.0\t3.0\t11\t0\n"
    "2021/03/14 09:00:03.000\t0.000\t19.00\t0.36\t1.0\t2.0\t3.0\t11\t1\n"
    "HAULOUT: 2021/03/14 09:00:04 2021/03/14 09:59:59\n"
    "2021/03/14 10:00:00.000\t0.000\t18.00\t0.00\t1.0\t2.0\t3.0\t11\t1\n"
    "@000001F0: ACC OVERFLOW: WARNING\n";

constexpr char kCtd[] =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)\tTEMP(ITS-90)"
    "\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)\n"
    "2021/03/14 09:10:00\t0.00\t0.20\t0.20\t12.000\t38.0000\t35.0000\n"
    "2021/03/14 09:10:01\t2.00\t2.20\t0.20\t11.000\t38.0000\t35.1000\n"
    "2021/03/14 09:10:02\t4.00\t4.20\t0.20\t10.000\t38.0000\t35.2000\n"
    "2021/03/14 09:40:00\t0.00\t0.30\t0.30\t13.000\t38.0000\t35.0000\n"
    "2021/03/14 09:40:01\t3.00\t3.30\t0.30\t12.000\t38.0000\t35.1000\n"
    "@000001F0: ACC OVERFLOW: WARNING\n";

constexpr char kGps[] =
    "2021/03/14 09:00:03 2 3 0 12 0123 31 abcd\n"
    "2021/03/14 10:00:00 0 3 0\n"
    "@000001F0: ACC OVERFLOW: WARNING\n";

constexpr char kAcc[] =
    "DATE(UTC)\tX\tY\tZ\n"
    "2021/03/14 09:00:01.000\t0.0000\t0.5000\t-1.0000\n"
    "2021/03/14 09:00:01.250\t0.1000\t0.4000\t-0.9000\n"
    "2021/03/14 09:00:01.500\t0.2000\t0.3000\t-0.8000\n"
    "2021/03/14 09:00:01.750\t0.3000\t0.2000\t-0.7000\n"
    "@000001F0: ACC OVERFLOW: WARNING\n"
    "2021/03/14 09:00:02.000\t0.1";  // cut short

class QuicklookTest : public ::testing::Test {
 protected:
  // Runs the program on `image`; keeps what it printed.
  int run(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"skelv-quicklook"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = quicklook_main(static_cast<int>(argv.size()), argv.data(), out, err);
    printed = slurp(out);
    complaints = slurp(err);
    return status;
  }
  static std::string slurp(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
  }
  std::string image() const { return dir.file("tag17.bin"); }
  std::string page_path() const { return dir.file("tag17_quicklook.html"); }
  void expect_well_formed(const std::string& path) {
    if (have_xmllint()) {
      EXPECT_TRUE(xml_well_formed(path));
    } else {
      std::fprintf(stderr, "xmllint not found: well-formedness not checked\n");
    }
  }

  TempDir dir;
  std::string printed, complaints;
};

TEST_F(QuicklookTest, DrawsEveryPanelFromTheFourFiles) {
  write_file(dir.file("tag17_tdr.txt"), kTdr);
  write_file(dir.file("tag17_ctd.txt"), kCtd);
  write_file(dir.file("tag17_gps.txt"), kGps);
  write_file(dir.file("tag17_accel.txt"), kAcc);
  ASSERT_EQ(run({image()}), 0) << complaints;
  const std::string page = read_file(page_path());
  EXPECT_EQ(printed, "Wrote " + page_path() + " (" + std::to_string(page.size()) + " bytes)\n");
  expect_well_formed(page_path());
  EXPECT_EQ(page.find("<script"), std::string::npos);
  // Nothing is fetched from elsewhere.
  for (const char* link : {"src=", "href=", "@import", "url(http"}) EXPECT_EQ(page.find(link), std::string::npos) << link;

  for (const char* part : {"<section id=\"summary\">", "<section id=\"dive\">", "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"dive-profile\"",
                           "id=\"dive-temperature\"", "id=\"dive-wetdry\"", "<section id=\"gps\">", "id=\"gps-timeline\"",
                           "<section id=\"ctd\">", "id=\"ctd-casts\"", "<section id=\"accel\">", "id=\"accel-xyz\""}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  for (const char* series : {"depth", "temp", "wetdry", "accx", "accy", "accz"}) {
    EXPECT_EQ(occurrences(page, std::string("<path class=\"series ") + series + "\""), 1) << series;
  }
  EXPECT_EQ(occurrences(page, "<path class=\"cast\""), 4);  // two casts, temperature and salinity
  // The haul-out shades the depth and temperature panels.
  EXPECT_EQ(occurrences(page, "<rect class=\"haulout\" x="), 2);

  // Summary, from the lines above: 09:00:00 (first TDR line) to 10:00:00 (last TDR and GPS line).
  for (const char* row : {
           "<tr><th scope=\"row\">Time span (UTC)</th><td>2021-03-14 09:00:00 to 2021-03-14 10:00:00 (01:00:00)</td></tr>",
           "<tr><th scope=\"row\">Dive samples</th><td>5</td></tr>",
           "<tr><th scope=\"row\">Dives</th><td>1 (deeper than 2 m)</td></tr>",
           "<tr><th scope=\"row\">Maximum depth</th><td>30.0 m at 2021-03-14 09:00:02</td></tr>",
           "<tr><th scope=\"row\">Haul-outs</th><td>1</td></tr>",
           "<tr><th scope=\"row\">CTD casts</th><td>2 (5 samples, deepest 4.0 dbar)</td></tr>",
           "<tr><th scope=\"row\">GPS snapshots</th><td>2</td></tr>",
           "<tr><th scope=\"row\">Accelerometer samples</th><td>4</td></tr>",
           "<tr><th scope=\"row\">Diagnostic notes</th><td>4</td></tr>",
           // Lines, samples, headers, HAULOUT, notes, unreadable, cut-off last line.
           "<tr><td>tag17_tdr.txt</td><td class=\"n\">8</td><td class=\"n\">5</td><td class=\"n\">1</td>"
           "<td class=\"n\">1</td><td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
           "<tr><td>tag17_ctd.txt</td><td class=\"n\">7</td><td class=\"n\">5</td><td class=\"n\">1</td>"
           "<td class=\"n\">0</td><td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
           "<tr><td>tag17_gps.txt</td><td class=\"n\">3</td><td class=\"n\">2</td><td class=\"n\">0</td>"
           "<td class=\"n\">0</td><td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td></tr>",
           "<tr><td>tag17_accel.txt</td><td class=\"n\">7</td><td class=\"n\">4</td><td class=\"n\">1</td>"
           "<td class=\"n\">0</td><td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">1</td></tr>",
           "<tr><td><code>ACC OVERFLOW: WARNING</code></td><td class=\"n\">4</td><td class=\"n\">0x1F0</td>"
           "<td>TDR, CTD, GPS, Accelerometer</td></tr>",
       }) {
    EXPECT_NE(page.find(row), std::string::npos) << row;
  }
}

TEST_F(QuicklookTest, LeavesOutPanelsWithoutData) {
  write_file(dir.file("tag17_gps.txt"), kGps);
  write_file(dir.file("tag17_ctd.txt"), "");  // created, but nothing in it
  ASSERT_EQ(run({image()}), 0) << complaints;
  const std::string page = read_file(page_path());
  expect_well_formed(page_path());
  EXPECT_NE(page.find("<section id=\"gps\">"), std::string::npos);
  for (const char* absent : {"<section id=\"dive\">", "<section id=\"ctd\">", "<section id=\"accel\">"}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(page.find("<tr><td>tag17_tdr.txt</td><td colspan=\"7\" class=\"missing\">not found</td></tr>"),
            std::string::npos);
  EXPECT_NE(page.find("<tr><th scope=\"row\">CTD casts</th><td>0 (0 samples)</td></tr>"), std::string::npos);
}

TEST_F(QuicklookTest, NamesThePageLikeTheTextFiles) {
  // The same rules as Skelv's names: "_compressed.dat" and what follows goes.
  write_file(dir.file("tag17_gps.txt"), kGps);
  ASSERT_EQ(run({dir.file("tag17_compressed.dat.old")}), 0) << complaints;
  EXPECT_NE(read_file(page_path()), "<missing>");
}

TEST_F(QuicklookTest, EscapesNamesOnThePage) {
  const std::string name = "a&b<c>\"d'\x01\xff";
  write_file(dir.file(name + "_gps.txt"), kGps);
  ASSERT_EQ(run({dir.file(name + ".bin")}), 0) << complaints;
  const std::string path = dir.file(name + "_quicklook.html");
  const std::string page = read_file(path);
  EXPECT_NE(page.find("<h1>Quick look: a&amp;b&lt;c&gt;&quot;d&#39;??.bin</h1>"), std::string::npos);
  expect_well_formed(path);
}

// The error paths.

TEST_F(QuicklookTest, NoFilesAtAllIsAnError) {
  EXPECT_EQ(run({image()}), 1);
  const std::string base = dir.file("tag17");
  EXPECT_EQ(complaints, "skelv-quicklook: no converted files of " + image() + ": none of " + base + "_tdr.txt, " +
                            base + "_ctd.txt, " + base + "_gps.txt, " + base + "_accel.txt exists\n");
  EXPECT_EQ(read_file(page_path()), "<missing>");
}

TEST_F(QuicklookTest, WantsExactlyOneImage) {
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(complaints.rfind("Usage: skelv-quicklook IMAGE\n", 0), 0u);
  EXPECT_EQ(run({image(), image()}), 1);
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(printed.rfind("Usage: skelv-quicklook IMAGE\n", 0), 0u);
}

TEST_F(QuicklookTest, ReportsAPageItCannotWrite) {
  write_file(dir.file("tag17_gps.txt"), kGps);
  // A folder in the page's place.
  ASSERT_EQ(std::system(("mkdir '" + page_path() + "'").c_str()), 0);
  EXPECT_EQ(run({image()}), 1);
  EXPECT_EQ(complaints, "skelv-quicklook: can't write " + page_path() + "\n");
}

TEST_F(QuicklookTest, ANameTooLongIsAnError) {
  EXPECT_EQ(run({std::string(1020, 'n')}), 1);
  EXPECT_EQ(complaints, "skelv-quicklook: file name too long\n");
}

// Many lines with the most varied content the page can show stay under 2 MB: every column of
// every trace busy, thousands of casts and haul-outs, more note texts than the table lists.
TEST_F(QuicklookTest, ThePageStaysSmallWhateverTheInput) {
  std::mt19937 rng(3);
  auto value = [&rng](int scale) { return static_cast<double>(rng() % 100000) / 100000.0 * scale; };
  char line[256];
  std::string tdr = "DATE(UTC)\tDEPTH(m)\tTEMP(C)\tWETDRY\n";
  // 2021-03-14 plus i * 7 s, written as day and seconds of the day.
  auto stamp = [&line](int i, bool ms) {
    const long s = 7L * i;
    return std::snprintf(line, sizeof line, "2021/03/%02ld %02ld:%02ld:%02ld%s", 14 + s / 86400, s / 3600 % 24,
                         s / 60 % 60, s % 60, ms ? ".123" : "");
  };
  for (int i = 0; i < 200000; ++i) {
    int n = stamp(i, true);
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\t%.3f\t%.2f\t%d\n", value(500), value(30) - 2,
                  static_cast<int>(rng() % 256));
    tdr += line;
    if (i % 97 == 0) {
      tdr += "HAULOUT: 2021/03/14 00:00:00 2021/03/14 00:00:01\n";
      tdr.append("@").append(std::to_string(10000000 + i)).append(": note number ").append(std::to_string(i % 40)).append("\n");
    }
  }
  write_file(dir.file("tag17_tdr.txt"), tdr);
  std::string ctd;
  for (int i = 0; i < 60000; ++i) {
    int n = stamp(i, false);
    // A new surface pressure every 20 lines: 3000 casts.
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\t%.2f\t0\t%.2f\t%.3f\t1\t%.4f\n", value(2000),
                  (i / 20) * 0.01, value(30), value(40));
    ctd += line;
  }
  write_file(dir.file("tag17_ctd.txt"), ctd);
  std::string gps, acc;
  for (int i = 0; i < 50000; ++i) {
    stamp(i, false);
    gps += std::string(line) + " 0 3 0\n";
    const int n = stamp(i, true);
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\t%.4f\t%.4f\t%.4f\n", value(4) - 2,
                  value(4) - 2, value(4) - 2);
    acc += line;
  }
  write_file(dir.file("tag17_gps.txt"), gps);
  write_file(dir.file("tag17_accel.txt"), acc);
  ASSERT_EQ(run({image()}), 0) << complaints;
  const std::string page = read_file(page_path());
  EXPECT_LT(page.size(), 2u << 20);
  EXPECT_NE(page.find("<tr><th scope=\"row\">CTD casts</th><td>3\u2009000 (60\u2009000 samples"), std::string::npos);
  EXPECT_NE(page.find("<tr><td>other texts</td>"), std::string::npos);
  expect_well_formed(page_path());
}

// Damage on purpose: cut files and flipped bytes give a page all the same.
TEST_F(QuicklookTest, DrawsCutAndDamagedFiles) {
  const std::string files[] = {kTdr, kCtd, kGps, kAcc};
  const char* suffix[] = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};
  std::mt19937 rng(11);
  for (int round = 0; round < 120; ++round) {
    for (int k = 0; k < 4; ++k) {
      std::string text = files[k];
      if (round % 2 == 0) {
        text.resize(rng() % (text.size() + 1));  // every length is a possible end of file
      } else {
        for (int flips = 0; flips < 4; ++flips) {
          const char bytes[] = {'\0', '\t', '\n', '\r', '@', '/', ':', '.', '-', '9', '\xff', '\x80'};
          text[rng() % text.size()] = bytes[rng() % sizeof bytes];
        }
      }
      write_file(dir.file(std::string("tag17") + suffix[k]), text);
    }
    ASSERT_EQ(run({image()}), 0) << round << complaints;
    const std::string page = read_file(page_path());
    ASSERT_LT(page.size(), 2u << 20);
    EXPECT_NE(page.find("</html>"), std::string::npos);
    if (round % 20 == 1) expect_well_formed(page_path());
  }
}

TEST(AppendEscaped, KeepsValidUtf8AndReplacesTheRest) {
  std::string out;
  // "é" (C3 A9) and "€" (E2 82 AC) stay; a lone continuation byte, an overlong "/" (C0 AF), a
  // surrogate (ED A0 80) and a cut sequence (E2 82) become '?' byte by byte.
  append_escaped(out, "\xC3\xA9\xE2\x82\xAC|\x80|\xC0\xAF|\xED\xA0\x80|\xE2\x82");
  EXPECT_EQ(out, "\xC3\xA9\xE2\x82\xAC|?|??|???|??");
}

}  // namespace
}  // namespace skelv::quicklook
