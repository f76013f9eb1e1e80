// Dive and dry starts decoded from whole images: the TDR file of each regime, haul-outs,
// unknown regimes, cut records and a TDR file that can't be created.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "dive/tdr_stream.h"
#include "input/byte_source.h"
#include "input/driver.h"
#include "records/handlers.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every dive below starts at 2020/01/02 03:04:05 with 1 s per sample unless it says otherwise.
const TagTime kStart{2020, 1, 2, 3, 4, 5};
const std::string kDay = "2020/01/02 ";

class DiveStartTest : public DecodeTest {
 protected:
  // A clean state and no output files, for tests that decode several images.
  void fresh() {
    st = DecoderState{};
    st.console = [this](const char* text) { console += text; };
    std::remove(run.tdr_name);
    std::remove(run.gps_name);
  }
};

TEST_F(DiveStartTest, EachRegimeWritesItsHeaderAndColumns) {
  const std::string h = "DATE(UTC)\tDEPTH(m)";
  const std::string t0 = kDay + "03:04:05.000\t";
  const std::string t1 = kDay + "03:04:06.000\t";
  const std::string t2 = kDay + "03:04:07.000\t";
  struct Row {
    std::uint8_t regime;
    std::uint8_t photo_channels;
    Bytes stream;  // after the dive start, up to the end of data
    std::string file;
  };
  const Row rows[] = {
      // Depth 100, temperature 6000 (26.85 C); depth +5, temperature -2 (26.75 C).
      {1, 0, {0x00, 0x64, 0x17, 0x70, 0x05, 0x7A, 0xFF},
       h + "\tTEMP(C)\n" + t0 + "10.000\t26.85\n" + t1 + "10.500\t26.75\n"},
      {2, 0, {0x00, 0x64, 0x05, 0xFF}, h + "\n" + t0 + "10.000\n" + t1 + "10.500\n"},
      {3, 0, {0x00, 0x64, 0x05, 0xFF}, h + "\n" + t0 + "10.000\n" + t1 + "10.500\n"},
      // Photo 7 and 12345; then 7 - 3 and 12345 + 0.
      {3, 2, {0x00, 0x64, 0x00, 0x07, 0x30, 0x39, 0x05, 0x7B, 0x00, 0xFF},
       h + "\tPHOTO0\tPHOTO1\n" + t0 + "10.000\t    7\t12345\n" + t1 + "10.500\t    4\t12345\n"},
      {3, 4, {0x00, 0x64, 0, 1, 0, 2, 0, 3, 0, 4, 0x00, 1, 1, 1, 1, 0xFF},
       h + "\tPHOTO0\tPHOTO1\tPHOTO2\tPHOTO3\n" + t0 + "10.000\t    1\t    2\t    3\t    4\n" + t1 +
           "10.000\t    2\t    3\t    4\t    5\n"},
      // Six channels announced: all six are read, four are named and printed.
      {3, 6, {0x00, 0x64, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0x00, 1, 1, 1, 1, 1, 1, 0xFF},
       h + "\tPHOTO0\tPHOTO1\tPHOTO2\tPHOTO3\n" + t0 + "10.000\t    1\t    2\t    3\t    4\n" + t1 +
           "10.000\t    2\t    3\t    4\t    5\n"},
      {5, 0, {0x00, 0x64, 0x05, 0xFF}, "DATE(UTC)\tDEPTH(cm)\n" + t0 + "10.000\n" + t1 + "10.500\n"},
      // A wet/dry record before the second further sample shows from the first one's line on.
      {6, 0, {0x00, 0x64, 0x05, 0xF7, 0x01, 0x05, 0xFF},
       h + "\tWETDRY\n" + t0 + "10.000\t0\n" + t1 + "10.500\t1\n" + t2 + "11.000\t1\n"},
      // Opening: depth 100, temperature 6000, odometer 25 (3.00 m), magnetometer 2, -10, -32768
      // and -3 C. Then +5, -2, +1 (3.12 m), -5 (-3), +10 (0), -1 (wraps to 32767), 30 C.
      {7, 0, {0x00, 0x64, 0x17, 0x70, 0x00, 0x19, 0x00, 0x02, 0xFF, 0xF6, 0x80, 0x00, 0xFD,
              0x05, 0x7A, 0x01, 0x7D, 0x0A, 0x79, 0x1E, 0xF7, 0x02, 0xFF},
       h + "\tTEMP(C)\tODO_DELTA(m)\tMAGX(uT)\tMAGY(uT)\tMAGZ(uT)\tMAG_TEMP(C)\tDRYNESS\n" + t0 +
           "10.000\t26.85\t3.00\t0.2\t-1.0\t-3276.8\t-3\t0\n" + t1 + "10.500\t26.75\t3.12\t-0.3\t0.0\t3276.7\t30\t2\n"},
      // Depth 123 with 255 mm (12.555 m); then the same depth with 10 mm, closed at the next
      // depth read, which drops the millimetres (12.300 m).
      {8, 0, {0x00, 0x7B, 0xFF, 0x00, 0x0A, 0xFF},
       "DATE(UTC)\tDEPTH(mm)\tWETDRY\n" + t0 + "12.555\t0\n" + t1 + "12.300\t0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "regime " << int{row.regime} << ", " << int{row.photo_channels} << " photo");
    fresh();
    InfoBlock info;
    info.photo_channels = row.photo_channels;
    ImageBuilder b;
    b.info(info).dive_start(row.regime, kStart, 100).raw(row.stream);
    EXPECT_TRUE(decode(b));
    EXPECT_EQ(tdr(), row.file);
  }
}

TEST_F(DiveStartTest, ForcedAbsoluteValuesFollowTheTagVersion) {
  // The same stream bytes: two-byte values for tags 132 and 133, steps for any other.
  const Bytes stream = {0x00, 0x64, 0x17, 0x70, 0x00, 0x69, 0x17, 0x6E, 0xFF};
  const std::string h = "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n" + kDay + "03:04:05.000\t10.000\t26.85\n";
  // 105 and 5998 (26.75 C); as steps: 100 + 0, 6000 + 105 (32.10 C), then 100 + 23, 6105 + 110 (37.60 C).
  const std::string forced = h + kDay + "03:04:06.000\t10.500\t26.75\n";
  const std::string relative = h + kDay + "03:04:06.000\t10.000\t32.10\n" + kDay + "03:04:07.000\t12.300\t37.60\n";
  const std::pair<std::uint16_t, std::string> rows[] = {{131, relative}, {132, forced}, {133, forced}, {134, relative}};
  for (const auto& [version, file] : rows) {
    SCOPED_TRACE(version);
    fresh();
    InfoBlock info;
    info.tag_version = version;
    ImageBuilder b;
    b.info(info).dive_start(1, kStart, 100).raw(stream);
    EXPECT_TRUE(decode(b));
    EXPECT_EQ(tdr(), file);
  }
}

TEST_F(DiveStartTest, DryStartInRegimeOneCarriesATemperatureStream) {
  ImageBuilder b;
  b.dive_start(1, kStart, 100).raw({0x00, 0x64, 0x17, 0x70, 0x05, 0x7A});
  // 2 s per sample; temperature 6000, then +10 (6010: 27.35 C).
  b.dry_start(200).raw({0x17, 0x70, 0x0A}).eof();
  EXPECT_TRUE(decode(b));
  // The dry stream starts at the time of the dive's closing line. Its pending haul-out is
  // never written, as no dive start follows.
  EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n" + kDay + "03:04:05.000\t10.000\t26.85\n" + kDay +
                       "03:04:06.000\t10.500\t26.75\n" + kDay + "03:04:06.000\t0.000\t26.85\n" + kDay +
                       "03:04:08.000\t0.000\t27.35\n");
  EXPECT_EQ(run.tdr_count, 4u);
}

TEST_F(DiveStartTest, HaulOutLineStandsBetweenTheDives) {
  ImageBuilder b;
  b.dive_start(2, {2020, 1, 2, 11, 59, 58}, 100).raw({0x00, 0x64, 0x01, 0x01});  // last sample 12:00:00
  b.dry_start(100);
  // A later dive start with another regime writes no second header, only its own columns.
  b.dive_start(1, {2020, 1, 2, 13, 0, 0}, 100).raw({0x00, 0xC8, 0x17, 0x70}).eof();
  EXPECT_TRUE(decode(b));
  // Haul-out from 12:00:00 + 2 * 1 s - 60 s to 13:00:00 - 1 s.
  EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\n" + kDay + "11:59:58.000\t10.000\n" + kDay + "11:59:59.000\t10.100\n" +
                       kDay + "12:00:00.000\t10.200\n" + "HAULOUT: 2020/01/02 11:59:02 2020/01/02 12:59:59\n" + kDay +
                       "13:00:00.000\t20.000\t26.85\n");
}

TEST_F(DiveStartTest, DivesBefore1970PrintTheirDates) {
  ImageBuilder b;
  b.dive_start(2, {1969, 12, 31, 23, 59, 59}, 50).raw({0x00, 0x64, 0x05, 0x05}).eof();  // 0.5 s
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\n1969/12/31 23:59:59.000\t10.000\n1969/12/31 23:59:59.500\t10.500\n"
                   "1970/01/01 00:00:00.000\t11.000\n");
}

TEST_F(DiveStartTest, DryStartOutsideRegimesOneToThreeAndFiveReadsTheNextCode) {
  const std::pair<int, Bytes> rows[] = {
      {0, {}},  // no dive start yet
      {2, {0x00, 0x64}}, {3, {0x00, 0x64}}, {5, {0x00, 0x64}}, {6, {0x00, 0x64}}, {8, {0x00, 0x64, 0x00}}};
  for (const auto& [regime, opening] : rows) {
    SCOPED_TRACE(regime);
    fresh();
    ImageBuilder b;
    if (regime != 0) b.dive_start(static_cast<std::uint8_t>(regime), kStart, 100).raw(opening);
    b.dry_start(100).gps({2020, 1, 2, 5, 6, 7}, {}).eof();
    EXPECT_TRUE(decode(b));
    EXPECT_EQ(gps(), "2020/01/02 05:06:07 0 3 0\n");
  }
}

// Failures and damaged input.

TEST_F(DiveStartTest, UnknownRegimeWritesItsLinesAndFailsTheRun) {
  for (const std::uint8_t regime : {4, 0, 9, 255}) {
    SCOPED_TRACE(int{regime});
    fresh();
    ImageBuilder b;
    b.dive_start(regime, kStart, 100).raw({0x00, 0x64, 0x05}).eof();
    EXPECT_FALSE(decode(b));
    // The start record is 11 bytes (0xb); nothing after it is read.
    EXPECT_EQ(tdr(), "***Unknown TDR regime " + std::to_string(regime) + " ***\nb: Illegal stream contents (0)\n");
    EXPECT_EQ(failure(), "Unknown TDR regime " + std::to_string(regime) + " at byte 11\n");
    EXPECT_EQ(run.byte_count, 11u);
  }
}

TEST_F(DiveStartTest, DiveStartCutShortWritesNothing) {
  ImageBuilder full;
  full.dive_start(2, kStart, 100);  // 11 bytes
  const Bytes start = full.bytes();
  ImageBuilder pending;  // a dive and a dry start: a haul-out line is pending
  pending.dive_start(2, kStart, 100).raw({0x00, 0x64}).dry_start(100);
  for (std::size_t cut = 1; cut < start.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Bytes part(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(cut));
    fresh();
    EXPECT_TRUE(decode(ImageBuilder().raw(part)));
    EXPECT_FALSE(file_exists(run.tdr_name));
    fresh();
    EXPECT_TRUE(decode(ImageBuilder(pending).raw(part)));
    EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\n" + kDay + "03:04:05.000\t10.000\n");
  }
}

TEST_F(DiveStartTest, TdrFileThatCantBeCreatedFailsTheRunAndDecodingGoesOn) {
  std::filesystem::create_directory(run.tdr_name);
  ImageBuilder b;
  b.dive_start(2, kStart, 100).raw({0x00, 0x64}).gps({2020, 1, 2, 5, 6, 7}, {}).step(5).eof();
  EXPECT_FALSE(decode(b));
  EXPECT_EQ(failure(), std::string("Can't create TDR data file ") + run.tdr_name + "\n");
  EXPECT_EQ(gps(), "2020/01/02 05:06:07 0 3 0\n");
  EXPECT_EQ(run.tdr_count, 0u);
  EXPECT_EQ(run.byte_count, b.size());
}

TEST_F(DiveStartTest, NextDiveStartTriesToCreateTheFileAgain) {
  std::filesystem::create_directory(run.tdr_name);
  ImageBuilder b;  // the two dive starts after their code bytes
  b.u8(2).time(kStart).u16(100).raw({0x00, 0x64}).code(0xFB);
  b.u8(1).time(kStart).u16(100).raw({0x00, 0xC8, 0x17, 0x70}).eof();
  attach(b.bytes());
  EXPECT_EQ(handle_dive_start(st, run), 0xFB);
  EXPECT_FALSE(st.run_ok);
  std::filesystem::remove(run.tdr_name);
  EXPECT_EQ(handle_dive_start(st, run), 0xFF);
  out_close(st.tdr_file);
  // The header is the one of the dive start that created the file.
  EXPECT_EQ(tdr(), "DATE(UTC)\tDEPTH(m)\tTEMP(C)\n" + kDay + "03:04:05.000\t20.000\t26.85\n");
}

TEST_F(DiveStartTest, ProgressAndSummaryCountTdrLines) {
  ImageBuilder b;
  b.dive_start(2, kStart, 100).raw({0x00, 0x64}).zeros(1100).eof();
  EXPECT_TRUE(decode(b));
  // The 1011th further sample ends at offset 11 + 2 + 1011 = 1024, before the line of the
  // 1010th is written: the opening and 1009 further lines are counted.
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0], (ProgressCall{1024, 1010, 0, 0, 0}));
  EXPECT_EQ(run.tdr_count, 1101u);  // the opening, 1099 further and the closing line

  b.write_to(dir.file("tag.bin"));
  const ProcessResult r = run_skelv({"tag.bin"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("TDR      1010 | CTD"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  tag_tdr.txt: 1101 TDR records\n"), std::string::npos) << r.out;
}

TEST_F(DiveStartTest, DamagedImagesKeepTheLinesAlreadyWritten) {
  InfoBlock info;
  info.photo_channels = 2;
  ImageBuilder b;
  b.info(info).dive_start(3, kStart, 100).raw({0x00, 0x64, 0x00, 0x07, 0x00, 0x08, 0x05});
  b.gps({2020, 1, 2, 5, 6, 7}, {{1, 2}}).raw({0x01, 0x02}).wetdry(1).raw({0x05, 0x00, 0x00});
  b.dry_start(100).dive_start(1, kStart, 50).raw({0x00, 0x64, 0x17, 0x70, 0x05, 0x7A});
  b.dry_start(100).raw({0x17, 0x70, 0x01, 0x02}).eof();
  const Bytes image = b.bytes();
  fresh();
  ASSERT_TRUE(decode(b));
  const std::string whole = tdr();
  for (std::size_t cut = 0; cut < image.size(); ++cut) {
    SCOPED_TRACE(cut);
    fresh();
    EXPECT_TRUE(decode(ImageBuilder().raw(Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut)))));
    // Every line but the closing one of the cut stream is a line of the whole run.
    const std::string part = file_exists(run.tdr_name) ? tdr() : "";
    const std::size_t last = part.rfind('\n', part.empty() ? 0 : part.size() - 2);
    const std::string kept = last == std::string::npos ? "" : part.substr(0, last + 1);
    EXPECT_EQ(whole.compare(0, kept.size(), kept), 0) << part;
  }
  for (std::size_t i = 0; i < image.size(); ++i) {
    Bytes flipped = image;
    flipped[i] ^= 0xFF;
    fresh();
    decode(ImageBuilder().raw(flipped));  // any result, but a defined one
  }
}

}  // namespace
}  // namespace skelv::test
