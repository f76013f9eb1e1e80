// The dive switches that Skelv and the quick look share.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "app/arguments.h"

namespace skelv {
namespace {

// What `args` (after the program and file name) leave in the settings, or -1 at the first
// switch whose value is missing or bad.
struct Parsed {
  int result = 0;
  analysis::DiveSettings s;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), {"Skelv", "tag.bin"});
  Parsed p;
  for (int i = 2; i < static_cast<int>(args.size()); ++i) {
    const int used = parse_dive_option(static_cast<int>(args.size()), args.data(), i, p.s);
    if (used <= 0) {
      p.result = used;
      return p;
    }
    i += used - 1;
  }
  p.result = 2;
  return p;
}

TEST(DiveOptions, EachSwitchTakesOneValueWithinItsLimits) {
  Parsed p = parse({"-dive-threshold", "7", "--dive-min-duration", "10", "-zoc", "auto", "-zoc-median", "3",
                    "-zoc-window", "0.5", "-zoc-quantile", "0", "--zoc-band", "1000"});
  ASSERT_EQ(p.result, 2);
  EXPECT_EQ(std::tuple(p.s.threshold_m, p.s.min_duration_s, p.s.zoc.mode, p.s.zoc.median_samples, p.s.zoc.window_h,
                       p.s.zoc.quantile_pct, p.s.zoc.band_m),
            std::tuple(7.0, 10.0, analysis::ZocMode::kAuto, 3, 0.5, 0.0, 1000.0));
  // Defaults: 2 m, no minimum, no correction; a median of 5 over 3 h, 2 %, +-10 m for -zoc auto.
  p = parse({});
  EXPECT_EQ(std::tuple(p.s.threshold_m, p.s.min_duration_s, p.s.zoc.mode, p.s.zoc.median_samples, p.s.zoc.window_h,
                       p.s.zoc.quantile_pct, p.s.zoc.band_m),
            std::tuple(2.0, 0.0, analysis::ZocMode::kNone, 5, 3.0, 2.0, 10.0));
  p = parse({"-zoc", "-1.5"});  // a negative offset adds
  EXPECT_EQ(std::tuple(p.result, p.s.zoc.mode, p.s.zoc.offset_m), std::tuple(2, analysis::ZocMode::kFixed, -1.5));
  // Not a dive switch: left to the caller.
  const char* other[] = {"Skelv", "tag.bin", "-dives"};
  analysis::DiveSettings s;
  EXPECT_EQ(parse_dive_option(3, other, 2, s), 0);

  // Bad values, each at a limit or just past it; a switch without its value.
  const std::vector<std::vector<const char*>> bad = {
      {"-dive-threshold", "10000"}, {"-dive-min-duration", "-1"}, {"-dive-min-duration", "1000000"},
      {"-zoc", "Auto"},             {"-zoc", "10000"},            {"-zoc", "2 m"},
      {"-zoc-median", "4"},         {"-zoc-median", "101"},       {"-zoc-median", "2.5"},
      {"-zoc-median", "0"},         {"-zoc-window", "0"},         {"-zoc-window", "240.5"},
      {"-zoc-quantile", "100.1"},   {"-zoc-band", "0"},           {"-zoc-band", "nan"},
      {"-zoc-window"}};
  for (const auto& args : bad) EXPECT_EQ(parse(args).result, -1) << args[0] << " " << (args.size() > 1 ? args[1] : "");
}

}  // namespace
}  // namespace skelv
