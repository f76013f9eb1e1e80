#include "ctd/ctd_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dive/codec.h"
#include "records/handlers.h"
#include "support/ctd_builder.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

constexpr char kHeader[] =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
    "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)\n";
// 2020-01-01 00:00:00 UTC: 50 years of which 12 leap, (50 * 365 + 12) * 86400 s.
constexpr double kT0 = 1577836800.0;
const TagTime kStart{2020, 1, 1, 0, 0, 0};

// A line at the surface pressure 600 with temperature and conductivity raw 8000 and 200 (0 and 0):
// only the stamp and the pressure (both pressure columns) vary.
std::string surface_line(const char* stamp, const char* pressure) {
  return std::string(stamp) + "\t" + pressure + "\t" + pressure + "\t0.00\t0.000\t0.0000\t0.0000\n";
}

class CtdStreamTest : public DecodeTest {
 protected:
  // Decodes `bytes` as the samples of an open profile after `first` (1 s apart, from kT0, surface
  // raw 600) with the CTD file open.
  std::uint8_t stream(const ImageBuilder& bytes, std::vector<std::uint16_t> first, const CtdColumns& columns = {}) {
    attach(bytes.bytes());
    out_open(st.ctd_file, run.ctd_name);
    st.ctd_open = true;
    st.ctd_time = kT0;
    st.surface_pressure_raw = 600;
    data = first;
    data.resize(kCtdValues);
    return decode_ctd_stream(st, run, columns, 1.0, data.data());
  }
  std::string lines() {
    out_close(st.ctd_file);
    return ctd();
  }
  std::vector<std::uint16_t> data;
};

TEST_F(CtdStreamTest, EndRightAfterTheFirstSampleWritesNoLine) {
  ImageBuilder b;
  b.ctd_end().u8(0x42);
  EXPECT_EQ(stream(b, {600, 8000, 200}), 0x42);  // the byte after 0xFD is the next code
  EXPECT_FALSE(st.ctd_open);
  EXPECT_EQ(st.byte_offset, 2u);
  EXPECT_EQ(st.ctd_time, kT0);
  EXPECT_EQ(lines(), "");
}

TEST_F(CtdStreamTest, InputEndingRightAfterTheEndCodeReturnsIt) {
  ImageBuilder b;
  b.ctd_end();
  EXPECT_EQ(stream(b, {600, 8000, 200}), 0xFD);
  EXPECT_TRUE(st.end_of_input);
  EXPECT_FALSE(st.ctd_open);
}

TEST_F(CtdStreamTest, SamplesThenEndAreStampedOneIntervalApart) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 50, 600, {600, 8000, 200});  // 0.5 s
  std::vector<std::uint16_t> previous{600, 8000, 200};
  ctd_samples(b, previous, {{603, 8000, 200}, {606, 8000, 200}, {609, 8000, 200}});  // 0.1 dbar apart
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), kHeader + surface_line("2020/01/01 00:00:00", "0.00") +  // start
                       surface_line("2020/01/01 00:00:00", "0.10") +        // start + 0.5 s
                       surface_line("2020/01/01 00:00:01", "0.20") +        // start + 1.0 s
                       surface_line("2020/01/01 00:00:01", "0.30"));        // start + 1.5 s
  EXPECT_EQ(run.ctd_count, 4u);
  EXPECT_DOUBLE_EQ(st.ctd_time, kT0 + 1.5);
  EXPECT_FALSE(st.ctd_open);
  EXPECT_EQ(failure(), "");
}

TEST_F(CtdStreamTest, RepeatedTenthsOfASecondKeepTheirWholeSeconds) {
  // Twenty-five samples 0.1 s apart: sample k is stamped with the second of k / 10, although ten
  // additions of 0.1 need not reach a whole second exactly.
  ImageBuilder b;
  for (int k = 1; k <= 25; ++k) b.step(0).step(0).step(0);
  b.ctd_end().u8(0x42);
  attach(b.bytes());
  out_open(st.ctd_file, run.ctd_name);
  st.ctd_open = true;
  st.ctd_time = kT0;
  st.surface_pressure_raw = 600;
  std::uint16_t sample[kCtdValues] = {600, 8000, 200};
  EXPECT_EQ(decode_ctd_stream(st, run, CtdColumns{}, 0.1, sample), 0x42);
  std::string expected;
  for (int k = 1; k <= 25; ++k) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2020/01/01 00:00:%02d", k / 10);
    expected += surface_line(stamp, "0.00");
  }
  out_close(st.ctd_file);
  EXPECT_EQ(ctd(), expected);
}

TEST_F(CtdStreamTest, CodeInALaterChannelIsConsumedAndTheChannelKeepsItsValue) {
  for (std::uint8_t code : {0xFD, 0xFB, 0xFE, 0xFF}) {
    SCOPED_TRACE(code);
    DecodeTest::st = DecoderState{};
    st.console = [this](const char* text) { console += text; };
    ImageBuilder b;
    b.step(3).u8(code).step(0);          // pressure +3, the code where the temperature step was due
    b.step(3).escaped(9000).step(0);     // the next sample: pressure +3, temperature 1 degree C
    b.ctd_end().u8(0x42);
    EXPECT_EQ(stream(b, {600, 8000, 200}), 0x42);
    // Had the code been passed over, the step 0 would be the temperature and the next sample
    // would start one byte late.
    EXPECT_EQ(lines(), "2020/01/01 00:00:01\t0.10\t0.10\t0.00\t0.000\t0.0000\t0.0000\n"
                       "2020/01/01 00:00:02\t0.20\t0.20\t0.00\t1.000\t0.0000\t0.0000\n");
  }
}

TEST_F(CtdStreamTest, GpsSnapshotInsideAProfile) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {600, 8000, 200});
  std::vector<std::uint16_t> previous{600, 8000, 200};
  ctd_samples(b, previous, {{603, 8000, 200}});
  const std::size_t gps_code_at = b.size();
  b.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}});
  ctd_samples(b, previous, {{606, 8000, 200}});
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  char note[40];
  std::snprintf(note, sizeof note, "@%08zX GPS F2!", gps_code_at + 1);  // offset just after the 0xF2
  EXPECT_EQ(console, note);
  EXPECT_EQ(gps(), "2021/03/14 09:26:53 1 3 0 12 0123\n");
  EXPECT_EQ(ctd(), kHeader + surface_line("2020/01/01 00:00:00", "0.00") +
                       surface_line("2020/01/01 00:00:01", "0.10") + surface_line("2020/01/01 00:00:02", "0.20"));
}

TEST_F(CtdStreamTest, NestedProfileSharesClockSurfaceAndLagButNotItsSamples) {
  ImageBuilder b;
  // Outer profile: 1 s apart, surface raw 600; 10 dbar, 15 degrees C, 40 mS/cm.
  b.ctd_start(0, kStart, 100, 600, {900, 23000, 32200});
  std::vector<std::uint16_t> outer{900, 23000, 32200};
  ctd_samples(b, outer, {{930, 23000, 32200}});
  // Nested profile at 01:00:00, 0.5 s apart, surface raw 630 (1 dbar); 20 dbar, 10 degrees C, 30 mS/cm.
  b.ctd_start(0, {2020, 1, 1, 1, 0, 0}, 50, 630, {1200, 18000, 24200});
  std::vector<std::uint16_t> nested{1200, 18000, 24200};
  ctd_samples(b, nested, {{1203, 18000, 24200}});
  b.ctd_end();
  // The outer profile goes on from its own last sample and ends with its own 0xFD.
  ctd_samples(b, outer, {{960, 23000, 32200}});
  b.ctd_end().u8(0x42);

  std::vector<std::uint8_t> after_code(b.bytes().begin() + 1, b.bytes().end());
  attach(after_code);
  EXPECT_EQ(handle_ctd_start(st, run), 0x42);
  EXPECT_FALSE(st.ctd_open);
  out_close(st.ctd_file);
  // Salinities: PSS-78 evaluated separately. The outer lag is exp(-1); the nested profile resets
  // the filter with exp(-0.5), so the last line lags 40 behind the nested 30: 40 - 10 exp(-0.5).
  // The last line is stamped with the nested clock, 01:00:00.5 + 1 s, and the nested surface.
  EXPECT_EQ(ctd(), std::string(kHeader) +
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
                       "2020/01/01 00:00:01\t11.00\t11.00\t0.00\t15.000\t40.0000\t32.3493\n"
                       "2020/01/01 01:00:00\t19.00\t20.00\t1.00\t10.000\t30.0000\t26.8522\n"
                       "2020/01/01 01:00:00\t19.10\t20.10\t1.00\t10.000\t30.0000\t26.8521\n"
                       "2020/01/01 01:00:01\t11.00\t12.00\t1.00\t15.000\t40.0000\t26.9481\n");
}

TEST_F(CtdStreamTest, ProfileCutShortByAnotherCodeStaysOpen) {
  for (std::uint8_t code : {0xFB, 0xFE, 0xFF}) {
    SCOPED_TRACE(code);
    DecodeTest::st = DecoderState{};
    ImageBuilder b;
    b.step(3).step(0).step(0).u8(code).ctd_end().u8(0x05);
    EXPECT_EQ(stream(b, {600, 8000, 200}), code);
    EXPECT_TRUE(st.ctd_open);
    // Any stream that meets 0xFD later ends there.
    std::uint16_t value = 100;
    EXPECT_EQ(read_rel(st, value, run, false), 0xFD);
    EXPECT_EQ(value, 100);
    EXPECT_EQ(lines(), surface_line("2020/01/01 00:00:01", "0.10"));
  }
}

TEST_F(CtdStreamTest, ProfileEndedByItsEndCodeIsClosed) {
  ImageBuilder b;
  b.ctd_end().u8(0x42).ctd_end().u8(0x05);
  EXPECT_EQ(stream(b, {600, 8000, 200}), 0x42);
  // With no profile open a later 0xFD is passed over: 0x05 is a step.
  std::uint16_t value = 100;
  EXPECT_EQ(read_rel(st, value, run, false), 0);
  EXPECT_EQ(value, 105);
}

TEST_F(CtdStreamTest, InputEndingInsideASampleStillWritesIt) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {600, 8000, 200});
  std::vector<std::uint16_t> previous{600, 8000, 200};
  ctd_samples(b, previous, {{603, 8000, 200}});
  b.step(3).escaped(9000);  // pressure and temperature; the conductivity never comes
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), kHeader + surface_line("2020/01/01 00:00:00", "0.00") +
                       surface_line("2020/01/01 00:00:01", "0.10") +
                       "2020/01/01 00:00:02\t0.20\t0.20\t0.00\t1.000\t0.0000\t0.0000\n");
  EXPECT_EQ(run.ctd_count, 3u);
}

TEST_F(CtdStreamTest, SixAuxiliaryChannelsPerSample) {
  CtdColumns six;
  six.count = 6;
  ImageBuilder b;
  b.step(1).step(0).step(0).step(1).step(2).step(3).step(4).step(5).step(6);
  b.ctd_end().u8(0x42);
  EXPECT_EQ(stream(b, {600, 8000, 200, 10, 20, 30, 40, 50, 60}, six), 0x42);
  EXPECT_EQ(lines(), "2020/01/01 00:00:01\t0.03\t0.03\t0.00\t0.000\t0.0000\t0.0000"
                     "\t11.0000\t22.0000\t33.0000\t44.0000\t55.0000\t66.0000\n");
}

TEST_F(CtdStreamTest, StopNoteBeforeTheLine14169OfTheRun) {
  std::vector<std::uint32_t> stop_at;  // lines written when "Stop" appeared
  st.console = [&](const char* text) {
    console += text;
    stop_at.push_back(st.ctd_count);
  };
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {600, 8000, 200});
  for (int k = 0; k < 14200; ++k) b.step(0).step(0).step(0);
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(console, "Stop");
  EXPECT_EQ(stop_at, std::vector<std::uint32_t>{14168});
  EXPECT_EQ(run.ctd_count, 14201u);
}

TEST_F(CtdStreamTest, NoStopNoteWhenLine14169StartsAProfile) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, {600, 8000, 200});
  for (int k = 0; k < 14167; ++k) b.step(0).step(0).step(0);  // 14168 lines
  b.ctd_end().ctd_start(0, kStart, 100, 600, {600, 8000, 200});
  for (int k = 0; k < 5; ++k) b.step(0).step(0).step(0);
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(console, "");
  EXPECT_EQ(run.ctd_count, 14174u);
}

// Damaged input.

TEST_F(CtdStreamTest, EveryPrefixOfAnImageDecodesAndKeepsItsHeader) {
  ImageBuilder b;
  b.ctd_start(0x13, kStart, 100, 600, {900, 23000, 32200, 1000, 2000, 30000});
  std::vector<std::uint16_t> previous{900, 23000, 32200, 1000, 2000, 30000};
  ctd_samples(b, previous, {{930, 23100, 32000, 1010, 2020, 30030}});
  b.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}});
  b.ctd_start(2, kStart, 100, 600, {700, 8000, 200, 5});
  b.wetdry(1);
  ctd_samples(b, previous, {{999, 24000, 40000, 1, 2, 60000}});
  b.ctd_end().ctd_end().eof();
  const std::vector<std::uint8_t> full = b.bytes();
  const std::string kHeaderWithoutEnd(kHeader, sizeof kHeader - 2);
  for (std::size_t n = 0; n <= full.size(); ++n) {
    SCOPED_TRACE(n);
    DecodeTest::st = DecoderState{};
    st.console = [](const char*) {};
    ImageBuilder prefix;
    prefix.raw(std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_TRUE(decode(prefix));
    const std::string text = ctd();
    if (text != "<missing>") {
      EXPECT_EQ(text.rfind(kHeaderWithoutEnd, 0), 0u);
    }
    std::remove(run.ctd_name);
  }
}

}  // namespace
}  // namespace skelv::test
