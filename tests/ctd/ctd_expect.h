// Texts and times shared by the CTD tests.
#pragma once
#include <string>

#include "support/image_builder.h"

namespace skelv::test {

inline const std::string kCtdHeader =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
    "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)";
// 2020-01-01 00:00:00 UTC: 50 years of which 12 leap, (50 * 365 + 12) * 86400 s.
inline constexpr double kT0 = 1577836800.0;
inline constexpr TagTime kStart{2020, 1, 1, 0, 0, 0};

}  // namespace skelv::test
