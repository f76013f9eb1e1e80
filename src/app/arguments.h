// Arguments shared by Skelv and the quick look.
#pragma once

#include "analysis/dive_analysis.h"

namespace skelv {

// "-name" or "--name".
bool is_option(const char* arg, const char* name);
// A dive threshold in metres: a plain non-negative number below 10000, the whole argument.
bool parse_threshold(const char* arg, double& metres);

// The dive switches, the same in both programs (each also as --name):
//   -dive-threshold M     a dive goes deeper than M metres (0 <= M < 10000; default 2)
//   -dive-min-duration S  dives shorter than S seconds are left out (0 <= S < 1000000; default 0)
//   -zoc M | -zoc auto    zero-offset correction: subtract M metres (|M| < 10000), or estimate
//                         the surface level from the record
//   -zoc-median N         samples of the spike filter, odd, 1 to 99 (default 5)
//   -zoc-window H         hours of the quantile's window, above 0 and at most 240 (default 3)
//   -zoc-quantile P       the quantile in percent, 0 to 100 (default 2)
//   -zoc-band M           filtered depths from -M to +M metres take part, above 0 and at most
//                         1000 (default 10)
// Looks at argv[i]: returns 0 when it is none of them, 2 (the arguments it took) when it is one
// followed by a good value, which goes into `s`, and -1 when its value is missing or bad.
int parse_dive_option(int argc, const char* const* argv, int i, analysis::DiveSettings& s);

// The lines of the help texts that describe the dive switches.
inline constexpr char kDiveOptionsHelp[] =
    "  -dive-threshold M\n"
    "          a dive goes deeper than M metres (default 2)\n"
    "  -dive-min-duration S\n"
    "          leave out dives shorter than S seconds (default 0)\n"
    "  -zoc M  zero-offset correction: subtract M metres from every depth\n"
    "  -zoc auto\n"
    "          zero-offset correction: find the surface level in the record,\n"
    "          a low quantile of the depths near 0 m over a window of hours\n"
    "  -zoc-median N   spike filter before it: running median of N samples (5)\n"
    "  -zoc-window H   the quantile's window, hours, centred (3)\n"
    "  -zoc-quantile P the quantile, percent (2)\n"
    "  -zoc-band M     depths from -M to +M metres take part (10)\n";

}  // namespace skelv
