// One line of a text file that Skelv writes (TDR, CTD, GPS or accelerometer), taken apart.
// Lines arrive without their line end; nothing here allocates or depends on the locale.
#pragma once
#include <cstdint>
#include <string_view>

namespace skelv::quicklook {

enum class FileKind { kTdr, kCtd, kGps, kAcc };

// What a line is. Only kData lines are samples; the others are counted and, for HAULOUT and
// notes, read for what they say.
enum class LineKind {
  kData,           // a sample line of the file's kind
  kHeader,         // a column header ("DATE(UTC)..." or "***Unknown TDR regime N ***")
  kHaulout,        // "HAULOUT: start end" (TDR file only)
  kNote,           // a diagnostic note "@XXXXXXXX: text"
  kIllegalStream,  // "<hex>: Illegal stream contents (0)" (TDR file only)
  kUnparsed,       // anything else: skipped
};

// Where the quantities of a TDR sample line stand (field 0 is the date). Taken from the header,
// and used only for lines with as many fields as the header names: a later dive start with
// another regime writes other columns under the same header, and then only the depth is read.
struct TdrColumns {
  int fields = 2;   // fields the header names, the date included
  int temp = -1;    // TEMP(C) column, -1 when absent
  int wetdry = -1;  // WETDRY or DRYNESS column, -1 when absent
};

struct TdrLine {
  double t = 0;  // seconds since 1970-01-01 00:00:00 UTC
  double depth_m = 0;
  double temp_c = 0;
  double wetdry = 0;
  bool has_temp = false;
  bool has_wetdry = false;
};

struct CtdLine {
  double t = 0;
  double pressure = 0;  // PRESSURE_RE_SURFACE(dbar)
  double surface = 0;   // ABS_PRESSURE_AT_SURFACE(dbar): changes from one cast to the next
  double temp_c = 0;
  double salinity = 0;
};

struct AccLine {
  double t = 0;
  double g[3] = {};  // X, Y, Z in g
};

struct GpsLine {
  double t = 0;             // meaningful only when `time_valid`
  bool time_valid = false;  // the stored date and time are a real UTC date from 1970 on
  int entries = 0;
};

// "YYYY/MM/DD HH:MM:SS", followed by ".mmm" when `with_ms`, at the start of `text`. Sets `t` and
// returns the length taken, or 0 when the text is no valid date and time (Skelv writes
// "0000/00/00 00:00:00" for a time it can't show; that is not valid either).
std::size_t parse_timestamp(std::string_view text, bool with_ms, double& t);

// What a line of a file of `kind` is; for kData the caller still parses the fields, which may
// fail (and then the line counts as kUnparsed).
LineKind classify_line(FileKind kind, std::string_view line);

// "@XXXXXXXX: text": the byte offset and the text after ": ".
bool parse_note(std::string_view line, std::uint64_t& offset, std::string_view& text);

// The columns named by a TDR header line.
TdrColumns tdr_columns_from_header(std::string_view line);

bool parse_tdr_line(std::string_view line, const TdrColumns& columns, TdrLine& out);
// "HAULOUT: YYYY/MM/DD HH:MM:SS YYYY/MM/DD HH:MM:SS".
bool parse_haulout_line(std::string_view line, double& start, double& end);
bool parse_ctd_line(std::string_view line, CtdLine& out);
bool parse_acc_line(std::string_view line, AccLine& out);
// "Y/M/D h:m:s n 3 0" and n entries " value hhhh"; the fields are printed as stored, so a month
// may read 00 or 13 and any field up to 255: such a line is a snapshot without a valid time.
bool parse_gps_line(std::string_view line, GpsLine& out);

}  // namespace skelv::quicklook
