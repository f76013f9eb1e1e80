#include "ctd/ctd_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ctd/ctd_expect.h"
#include "dive/codec.h"
#include "records/handlers.h"
#include "support/ctd_builder.h"
#include "support/test_support.h"

namespace skelv::test {
namespace {

using Sample = std::vector<std::uint16_t>;
const Sample kSurface{600, 8000, 200};  // 0 dbar, 0 degrees C, 0 mS/cm with the default calibration

// A line at surface pressure raw 600, 0 degrees C and 0 mS/cm: only the stamp and pressure vary.
std::string surface_line(const std::string& stamp, const char* pressure) {
  return stamp + "\t" + pressure + "\t" + pressure + "\t0.00\t0.000\t0.0000\t0.0000\n";
}

class CtdStreamTest : public DecodeTest {
 protected:
  void fresh_state() {
    DecodeTest::st = DecoderState{};
    st.console = [](const char*) {};
  }
  // Decodes `bytes` as the samples of an open profile after `first`, `interval` s apart from kT0,
  // with the CTD file open.
  std::uint8_t stream(const ImageBuilder& bytes, Sample first, const CtdColumns& columns = {},
                      double interval = 1.0) {
    attach(bytes.bytes());
    out_open(st.ctd_file, run.ctd_name);
    st.ctd_open = true;
    st.ctd_time = kT0;
    st.surface_pressure_raw = 600;
    data = first;
    data.resize(kCtdValues);
    return decode_ctd_stream(st, run, columns, interval, data.data());
  }
  std::string lines() {
    out_close(st.ctd_file);
    return ctd();
  }
  Sample data;
};

TEST_F(CtdStreamTest, EndRightAfterTheFirstSampleWritesNoLine) {
  ImageBuilder b;
  b.ctd_end().u8(0x42);
  EXPECT_EQ(stream(b, kSurface), 0x42);  // the byte after 0xFD is the next code
  EXPECT_FALSE(st.ctd_open);
  EXPECT_EQ(st.byte_offset, 2u);
  EXPECT_EQ(lines(), "");
  // Input ending right after 0xFD: the code stays 0xFD.
  fresh_state();
  ImageBuilder last;
  EXPECT_EQ(stream(last.ctd_end(), kSurface), 0xFD);
  EXPECT_TRUE(st.end_of_input);
  EXPECT_FALSE(st.ctd_open);
}

TEST_F(CtdStreamTest, SamplesAreStampedOneIntervalApart) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 50, 600, kSurface);  // 0.5 s
  Sample previous = kSurface;
  ctd_samples(b, previous, {{603, 8000, 200}, {606, 8000, 200}, {609, 8000, 200}});  // 0.1 dbar apart
  b.ctd_end().eof();
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), kCtdHeader + "\n" + surface_line("2020/01/01 00:00:00", "0.00") +
                       surface_line("2020/01/01 00:00:00", "0.10") +    // + 0.5 s
                       surface_line("2020/01/01 00:00:01", "0.20") +    // + 1.0 s
                       surface_line("2020/01/01 00:00:01", "0.30"));    // + 1.5 s
  EXPECT_EQ(run.ctd_count, 4u);
  EXPECT_FALSE(st.ctd_open);
}

TEST_F(CtdStreamTest, RepeatedTenthsOfASecondKeepTheirWholeSeconds) {
  // Sample k, 0.1 s apart, is stamped with the second of k / 10, although ten additions of 0.1
  // need not reach a whole second exactly.
  ImageBuilder b;
  std::string expected;
  for (int k = 1; k <= 25; ++k) {
    b.step(0).step(0).step(0);
    expected += surface_line("2020/01/01 00:00:0" + std::to_string(k / 10), "0.00");
  }
  EXPECT_EQ(stream(b.ctd_end().u8(0x42), kSurface, CtdColumns{}, 0.1), 0x42);
  EXPECT_EQ(lines(), expected);
}

TEST_F(CtdStreamTest, CodeInALaterChannelIsConsumedAndTheChannelKeepsItsValue) {
  for (std::uint8_t code : {0xFD, 0xFB, 0xFE, 0xFF}) {
    SCOPED_TRACE(code);
    fresh_state();
    ImageBuilder b;
    b.step(3).u8(code).step(0);       // pressure +3, the code where the temperature step was due
    b.step(3).escaped(9000).step(0);  // next sample: pressure +3, temperature 1 degree C
    EXPECT_EQ(stream(b.ctd_end().u8(0x42), kSurface), 0x42);
    // Had the code been passed over, the step 0 would be the temperature and the next sample
    // would start one byte late.
    EXPECT_EQ(lines(), surface_line("2020/01/01 00:00:01", "0.10") +
                           "2020/01/01 00:00:02\t0.20\t0.20\t0.00\t1.000\t0.0000\t0.0000\n");
  }
}

TEST_F(CtdStreamTest, GpsSnapshotInsideAProfile) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, kSurface);
  Sample previous = kSurface;
  ctd_samples(b, previous, {{603, 8000, 200}});
  const std::size_t gps_code_at = b.size();
  b.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}});
  ctd_samples(b, previous, {{606, 8000, 200}});
  EXPECT_TRUE(decode(b.ctd_end().eof()));
  char note[40];
  std::snprintf(note, sizeof note, "@%08zX GPS F2!", gps_code_at + 1);  // offset just after the 0xF2
  EXPECT_EQ(console, note);
  EXPECT_EQ(gps(), "2021/03/14 09:26:53 1 3 0 12 0123\n");
  EXPECT_EQ(ctd(), kCtdHeader + "\n" + surface_line("2020/01/01 00:00:00", "0.00") +
                       surface_line("2020/01/01 00:00:01", "0.10") + surface_line("2020/01/01 00:00:02", "0.20"));
}

TEST_F(CtdStreamTest, NestedProfileSharesClockSurfaceAndLagButNotItsSamples) {
  ImageBuilder b;
  // Outer profile: 1 s apart, surface raw 600; 10 dbar, 15 degrees C, 40 mS/cm.
  b.u8(0).time(kStart).u16(100).u16(600).u16(900).u16(23000).u16(32200);
  Sample outer{900, 23000, 32200};
  ctd_samples(b, outer, {{930, 23000, 32200}});
  // Nested at 01:00:00, 0.5 s apart, surface raw 630 (1 dbar); 20 dbar, 10 degrees C, 30 mS/cm.
  b.ctd_start(0, {2020, 1, 1, 1, 0, 0}, 50, 630, {1200, 18000, 24200});
  Sample nested{1200, 18000, 24200};
  ctd_samples(b, nested, {{1203, 18000, 24200}});
  // The outer profile goes on from its own last sample and ends with its own 0xFD.
  ctd_samples(b.ctd_end(), outer, {{960, 23000, 32200}});
  attach(b.ctd_end().u8(0x42).bytes());
  EXPECT_EQ(handle_ctd_start(st, run), 0x42);
  EXPECT_FALSE(st.ctd_open);
  out_close(st.ctd_file);
  // Salinities: PSS-78 evaluated separately. The nested profile resets the filter with exp(-0.5),
  // so the last line lags 40 behind the nested 30: 40 - 10 exp(-0.5) = 33.9347. The last line is
  // stamped with the nested clock, 01:00:00.5 + 1 s, and carries the nested surface.
  EXPECT_EQ(ctd(), kCtdHeader + "\n" +
                       "2020/01/01 00:00:00\t10.00\t10.00\t0.00\t15.000\t40.0000\t32.3497\n"
                       "2020/01/01 00:00:01\t11.00\t11.00\t0.00\t15.000\t40.0000\t32.3493\n"
                       "2020/01/01 01:00:00\t19.00\t20.00\t1.00\t10.000\t30.0000\t26.8522\n"
                       "2020/01/01 01:00:00\t19.10\t20.10\t1.00\t10.000\t30.0000\t26.8521\n"
                       "2020/01/01 01:00:01\t11.00\t12.00\t1.00\t15.000\t40.0000\t26.9481\n");
}

TEST_F(CtdStreamTest, ProfileCutShortByAnotherCodeStaysOpen) {
  struct Row {
    std::uint8_t code;
    std::uint8_t result;
    bool open;
    std::uint8_t later_rel;  // read_rel on a later "0xFD 0x05"
    std::uint16_t later_value;
  };
  const Row rows[] = {
      {0xFB, 0xFB, true, 0xFD, 100},  // any stream that meets 0xFD later ends there
      {0xFE, 0xFE, true, 0xFD, 100},
      {0xFF, 0xFF, true, 0xFD, 100},
      {0xFD, 0x42, false, 0, 105},    // closed: a later 0xFD is passed over and 0x05 is a step
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    fresh_state();
    ImageBuilder b;
    b.step(3).step(0).step(0).u8(r.code);
    if (r.code == 0xFD) b.u8(0x42);
    EXPECT_EQ(stream(b.ctd_end().u8(0x05), kSurface), r.result);
    EXPECT_EQ(st.ctd_open, r.open);
    std::uint16_t value = 100;
    EXPECT_EQ(read_rel(st, value, run, false), r.later_rel);
    EXPECT_EQ(value, r.later_value);
    EXPECT_EQ(lines(), surface_line("2020/01/01 00:00:01", "0.10"));
  }
}

TEST_F(CtdStreamTest, InputEndingInsideASampleStillWritesIt) {
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, kSurface).step(3).escaped(9000);  // no conductivity
  EXPECT_TRUE(decode(b));
  EXPECT_EQ(ctd(), kCtdHeader + "\n" + surface_line("2020/01/01 00:00:00", "0.00") +
                       "2020/01/01 00:00:01\t0.10\t0.10\t0.00\t1.000\t0.0000\t0.0000\n");
}

TEST_F(CtdStreamTest, StopNoteBeforeLine14169OfTheRunUnlessAProfileStartsThere) {
  std::vector<std::uint32_t> stop_at;  // lines written when "Stop" appeared
  st.console = [&](const char* text) {
    console += text;
    stop_at.push_back(st.ctd_count);
  };
  ImageBuilder b;
  b.ctd_start(0, kStart, 100, 600, kSurface);
  for (int k = 0; k < 14200; ++k) b.step(0).step(0).step(0);
  EXPECT_TRUE(decode(b.ctd_end().eof()));
  EXPECT_EQ(console, "Stop");
  EXPECT_EQ(stop_at, std::vector<std::uint32_t>{14168});

  // Line 14169 is the first of the second profile.
  console.clear();
  DecodeTest::st.ctd_count = 0;
  ImageBuilder two;
  two.ctd_start(0, kStart, 100, 600, kSurface);
  for (int k = 0; k < 14167; ++k) two.step(0).step(0).step(0);
  two.ctd_end().ctd_start(0, kStart, 100, 600, kSurface).step(0).step(0).step(0);
  EXPECT_TRUE(decode(two.ctd_end().eof()));
  EXPECT_EQ(console, "");
  EXPECT_EQ(run.ctd_count, 14170u);
}

// Damaged input.

TEST_F(CtdStreamTest, CutAndFlippedImagesDecodeToAnEnd) {
  ImageBuilder b;
  b.ctd_start(0x13, kStart, 100, 600, {900, 23000, 32200, 1000, 2000, 30000});
  Sample previous{900, 23000, 32200, 1000, 2000, 30000};
  ctd_samples(b, previous, {{930, 23100, 32000, 1010, 2020, 30030}});
  b.gps({2021, 3, 14, 9, 26, 53}, {{12, 0x0123}});
  b.ctd_start(2, kStart, 100, 600, {700, 8000, 200, 5}).wetdry(1).step(1).step(1).step(1).step(1);
  ctd_samples(b.ctd_end(), previous, {{999, 24000, 40000, 1, 2, 60000}});
  const std::vector<std::uint8_t> good = b.ctd_end().eof().bytes();
  std::vector<std::vector<std::uint8_t>> images;
  for (std::size_t n = 0; n < good.size(); ++n) images.emplace_back(good.begin(), good.begin() + n);
  for (std::size_t at = 1; at < good.size(); ++at) {
    for (std::uint8_t flip : {0x00, 0xFA, 0xFC, 0xFD, 0xFF}) {
      images.push_back(good);
      images.back()[at] = flip;
    }
  }
  for (const std::vector<std::uint8_t>& image : images) {
    fresh_state();
    ImageBuilder bad;
    decode(bad.raw(image));
    EXPECT_TRUE(st.end_of_input);
    const std::string text = ctd();
    // Whatever was written starts with the header (of mask 0x13, unless damaged into another).
    if (text != "<missing>") {
      EXPECT_EQ(text.rfind(kCtdHeader, 0), 0u);
    }
    std::remove(run.ctd_name);
  }
}

}  // namespace
}  // namespace skelv::test
