// Dive and dry starts with their sample streams: the TDR file of each regime, records inside
// dive streams, haul-outs and unknown regimes. Cut records and regime 7 haul-outs: the whole runs.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_support.h"

namespace skelv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every dive starts at 2020/01/02 03:04:05 with 1 s per sample unless it says otherwise.
const TagTime kStart{2020, 1, 2, 3, 4, 5};
const std::string kH = "DATE(UTC)\tDEPTH(m)";

// A TDR file: `header` (if any), then the `lines` stamped 03:04:05.000, 03:04:06.000 and on.
std::string file(const std::string& header, const std::vector<std::string>& lines) {
  std::string text = header.empty() ? "" : header + "\n";
  int s = 5;
  for (const std::string& line : lines) text += "2020/01/02 03:04:0" + std::to_string(s++) + ".000\t" + line + "\n";
  return text;
}

struct Regime {
  std::uint8_t regime, photo_channels;
  Bytes stream;  // after the dive start
  std::string tdr;
};
const std::string kPhoto4 = file(kH + "\tPHOTO0\tPHOTO1\tPHOTO2\tPHOTO3",
                                 {"10.000\t    1\t    2\t    3\t    4", "10.000\t    2\t    3\t    4\t    5"});
// Regime 3, one photo channel: depth 100, photo 7, +1, +1, then an information record inside the
// stream. From it on, values are forced-absolute (tag versions 132, 133) and two photo channels are
// read; the running stream keeps its interval, and the depth value that the record interrupts is
// still a step. The header stays; the second sample's line is written after it, with two channels.
Bytes info_inside(std::uint16_t version) {
  return ImageBuilder().u16(100).u16(7).step(1).step(1)
      .info({.tag_version = version, .tdr_interval = 500, .photo_channels = 2}).step(1).forced(9).forced(32).eof().bytes();
}
const std::string kInfoInside = file(kH + "\tPHOTO0", {"10.000\t    7", "10.100\t    8\t    0", "10.200\t    9\t   32"});
const Regime kRegimes[] = {
    // Depth 100, temperature 6000 (300 K: 26.85 C); then +5 and -2 (26.75 C).
    {1, 0, {0x00, 0x64, 0x17, 0x70, 0x05, 0x7A, 0xFF}, file(kH + "\tTEMP(C)", {"10.000\t26.85", "10.500\t26.75"})},
    {2, 0, {0x00, 0x64, 0x05, 0xFF}, file(kH, {"10.000", "10.500"})},
    {3, 0, {0x00, 0x64, 0x05, 0xFF}, file(kH, {"10.000", "10.500"})},
    // Photo 7 and 65535; then +5, -3, +0; then +1, +2 and the end at the second channel: the
    // closing line, with the new depth and first channel and the old second one, takes the
    // place of the second sample's line.
    {3, 2, {0x00, 0x64, 0x00, 0x07, 0xFF, 0xFF, 0x05, 0x7B, 0x00, 0x01, 0x02, 0xFF},
     file(kH + "\tPHOTO0\tPHOTO1", {"10.000\t    7\t65535", "10.600\t    6\t65535"})},
    {3, 4, {0x00, 0x64, 0, 1, 0, 2, 0, 3, 0, 4, 0x00, 1, 1, 1, 1, 0xFF}, kPhoto4},
    // Six channels announced: all six are read, four are named and printed.
    {3, 6, {0x00, 0x64, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0x00, 1, 1, 1, 1, 1, 1, 0xFF}, kPhoto4},
    // Opening depth 24576 taken as it comes; escaped 21000 kept; +1 (21001) and -6 (wraps to
    // 65530) are above 21000 and read 0; +5 goes on from 0.
    {5, 0, {0x60, 0x00, 0xFA, 0x52, 0x08, 0x01, 0x7E, 0x05, 0xFF},
     file("DATE(UTC)\tDEPTH(cm)", {"2457.600", "2100.000", "0.000", "0.000", "0.500"})},
    // A line is written after the next sample is read: the wet/dry record inside the third
    // sample already shows in the second one's line.
    {6, 0, {0x00, 0x64, 0x05, 0xF7, 0xFF, 0x05, 0xFF},
     file(kH + "\tWETDRY", {"10.000\t0", "10.500\t255", "11.000\t255"})},
    // Depth 123 + 255 mm; 123 + 10 mm; 124 + 1 mm, closed at the next depth read, which
    // recomputes the depth without its millimetres.
    {8, 0, {0x00, 0x7B, 0xFF, 0x00, 0x0A, 0x01, 0x01, 0xFF},
     file("DATE(UTC)\tDEPTH(mm)\tWETDRY", {"12.555\t0", "12.310\t0", "12.400\t0"})},
    // Depth 100, temperature 6000, odometer 25 (3.00 m), magnetometer 2, -10, -32768, -3 C. Then
    // +5, -2, +1 (3.12 m), -5 (-3), +10 (0), -1 (wraps to 32767), 30 C; a wet/dry record. Then
    // steps of 0 with codes skipped between (0xF9, 0xFD with no burst or profile open, 0xF1, 0xF4).
    {7, 0, {0x00, 0x64, 0x17, 0x70, 0x00, 0x19, 0x00, 0x02, 0xFF, 0xF6, 0x80, 0x00, 0xFD, 0x05, 0x7A, 0x01, 0x7D,
            0x0A, 0x79, 0x1E, 0xF7, 0x02, 0x00, 0x00, 0xF9, 0xFD, 0x00, 0xF1, 0xF4, 0x00, 0x00, 0x00, 0x1F, 0xFF},
     file(kH + "\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS",
          {"10.000\t26.85\t3.00\t0.2\t-1.0\t-3276.8\t-3\t0", "10.500\t26.75\t3.12\t-0.3\t0.0\t3276.7\t30\t2",
           "10.500\t26.75\t3.12\t-0.3\t0.0\t3276.7\t31\t2"})},
    {3, 1, info_inside(132), kInfoInside}, {3, 1, info_inside(133), kInfoInside},
};

class DiveStartTest : public DecodeTest {
 protected:
  void fresh_run() {  // for tests that decode several images
    fresh();
    std::remove(run.tdr_name);
  }
};

TEST_F(DiveStartTest, EachRegimeWritesItsHeaderAndColumns) {
  for (const Regime& r : kRegimes) {
    SCOPED_TRACE(::testing::Message() << "regime " << int{r.regime} << ", " << int{r.photo_channels} << " photo");
    fresh_run();
    ImageBuilder image;
    EXPECT_TRUE(decode(image.info({.photo_channels = r.photo_channels}).dive_start(r.regime, kStart, 100).raw(r.stream)));
    EXPECT_EQ(tdr(), r.tdr);
  }
}

TEST_F(DiveStartTest, DryStreamOfRegime1AndHaulOutLine) {
  // Regime 1 ending at 12:00:00, its dry stream (2 s per sample; temperature 20, then 30),
  // regime 2 dives at 13:00:00 and 13:00:10, a dry start.
  EXPECT_TRUE(decode(ImageBuilder()
                         .dive_start(1, {2020, 1, 2, 11, 59, 58}, 100)
                         .raw({0x00, 0x64, 0x17, 0x70, 0x01, 0x00, 0x01, 0x00})
                         .dry_start(200).raw({0x00, 0x14, 0x0A})
                         .dive_start(2, {2020, 1, 2, 13, 0, 0}, 100).raw({0x00, 0xC8})
                         .dive_start(2, {2020, 1, 2, 13, 0, 10}, 100).raw({0x00, 0x64})
                         .dry_start(100).gps({2020, 1, 2, 13, 0, 5}, {}).eof()));
  // The dry stream starts at the dive's closing line: -272.15 C is 20 * 0.05 - 273.15. Haul-out
  // from 12:00:00 + 2 * 1 s (the interval before the dry start) - 60 s to 13:00:00 - 1 s. The
  // regime 2 dives write no header and only one haul-out; the pending one at the end is never written.
  EXPECT_EQ(tdr(), kH + "\tTEMP(C)\n2020/01/02 11:59:58.000\t10.000\t26.85\n"
                        "2020/01/02 11:59:59.000\t10.100\t26.85\n2020/01/02 12:00:00.000\t10.200\t26.85\n"
                        "2020/01/02 12:00:00.000\t0.000\t-272.15\n2020/01/02 12:00:02.000\t0.000\t-271.65\n"
                        "HAULOUT: 2020/01/02 11:59:02 2020/01/02 12:59:59\n2020/01/02 13:00:00.000\t20.000\n"
                        "2020/01/02 13:00:10.000\t10.000\n");
  EXPECT_EQ(gps(), "2020/01/02 13:00:05 0 3 0\n");  // the regime 2 dry start read the next code
}

// Failures.

TEST_F(DiveStartTest, UnknownRegimeWritesItsLinesAndFailsTheRun) {
  for (const std::uint8_t regime : {4, 0, 9, 255}) {
    SCOPED_TRACE(int{regime});
    fresh_run();
    EXPECT_FALSE(decode(ImageBuilder().dive_start(regime, kStart, 100).raw({0x00, 0x64, 0x05}).eof()));
    // The start record is 11 bytes (0xb); nothing after it is read.
    EXPECT_EQ(tdr(), "***Unknown TDR regime " + std::to_string(regime) + " ***\nb: Illegal stream contents (0)\n");
    EXPECT_EQ(failure(), "Unknown TDR regime " + std::to_string(regime) + " at byte 11\n");
    EXPECT_EQ(run.byte_count, 11u);
  }
  const ProcessResult r = run_skelv({"tag.bin"}, dir.path());  // the last image, regime 255
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Failure: Unknown TDR regime 255 at byte 11\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace skelv::test
