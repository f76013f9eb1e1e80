// The dive table as tab-separated text: one header naming every column with its unit, then one
// line per dive. Times are "YYYY-MM-DD HH:MM:SS.mmm" UTC; unknown values are empty fields.
#pragma once
#include <cstddef>
#include <cstdint>

#include "analysis/dive_table.h"

namespace skelv::analysis {

inline constexpr char kDiveHeader[] =
    "DIVE\tSTART(UTC)\tEND(UTC)\tDURATION(s)\tMAX_DEPTH(m)\tMAX_DEPTH_TIME(UTC)\tDESCENT_TIME(s)"
    "\tDESCENT_RATE(m/s)\tBOTTOM_TIME(s)\tASCENT_TIME(s)\tASCENT_RATE(m/s)\tBOTTOM_TEMP(C)"
    "\tSURFACE_INTERVAL(s)\tSTART_CUT\tEND_CUT\n";

inline constexpr std::size_t kDiveLineRoom = 512;

// The line of `dive`, with its line end, into `out` (kDiveLineRoom bytes). Returns its length.
std::size_t format_dive_line(const Dive& dive, char* out);

// "YYYY-MM-DD HH:MM:SS.mmm" of a time in milliseconds since 1970 UTC into `out` (at least 24
// bytes, NUL included). Returns the text's length.
std::size_t format_utc_ms(std::int64_t ms, char* out);

}  // namespace skelv::analysis
