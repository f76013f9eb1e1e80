// Everything the quick-look page shows about a converted deployment, gathered from the four
// text files in one streaming pass each, in memory of fixed size.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "analysis/dive_analysis.h"
#include "quicklook/dive_summary.h"
#include "quicklook/line_parse.h"
#include "quicklook/reducer.h"

namespace skelv::quicklook {

// A CTD line starts a new cast when its time goes backwards, when its surface pressure differs
// from the line before, or when its time jumps by more than kCastGapSteps sampling steps (the
// smallest positive step seen in the cast so far, and at least kCastMinGap seconds); before the
// cast has shown a step, a jump of more than kCastFirstGap seconds.
inline constexpr double kCastGapSteps = 5.0;
inline constexpr double kCastMinGap = 5.0;
inline constexpr double kCastFirstGap = 60.0;

inline constexpr std::size_t kReadBufferSize = 1 << 20;

// The lines of one file, by what they were.
struct FileTally {
  bool found = false;       // the file was opened
  bool read_error = false;  // reading stopped early on an error
  std::uint64_t lines = 0;
  std::uint64_t data = 0;       // sample lines taken
  std::uint64_t headers = 0;
  std::uint64_t haulouts = 0;   // HAULOUT lines taken
  std::uint64_t notes = 0;      // "@" notes and illegal-stream lines
  std::uint64_t unparsed = 0;   // lines of no known form, skipped
  std::uint64_t truncated = 0;  // a last line without its line end, skipped
};

// The distinct texts of the diagnostic notes, with how often each was met.
inline constexpr int kMaxNoteTexts = 12;
inline constexpr std::size_t kNoteTextSize = 96;  // longer texts are cut

struct NoteText {
  char text[kNoteTextSize] = {};
  std::uint64_t count = 0;
  std::uint64_t first_offset = 0;  // image offset of the first note with this text
  unsigned files = 0;              // bit per FileKind the text was found in
};

struct NoteTally {
  std::uint64_t total = 0;
  std::uint64_t unlisted = 0;  // notes whose text found no free slot
  int distinct = 0;
  std::array<NoteText, kMaxNoteTexts> texts{};
};

// Counts a note with `text` (cut to fit, bytes outside printable ASCII shown as '?').
void note_add(NoteTally& notes, FileKind kind, std::uint64_t offset, std::string_view text);

struct TimeSpan {
  bool any = false;
  double first = 0, last = 0;
};
void span_add(TimeSpan& s, double t);

// The split of a CTD file's lines into casts.
struct CastSplit {
  bool any = false;
  double last_t = 0;
  double last_surface = 0;
  double min_step = 0;  // 0 until the cast shows a positive step
};
// True when the line at `t` with surface pressure `surface` begins a new cast.
bool cast_split_next(CastSplit& split, double t, double surface);

inline constexpr int kFileKinds = 4;
inline constexpr int file_index(FileKind k) { return static_cast<int>(k); }

struct Deployment {
  std::array<FileTally, kFileKinds> files{};
  std::array<TimeSpan, kFileKinds> spans{};  // dated lines of each file (GPS: valid times only)
  NoteTally notes;

  // TDR: channels 0 depth (m, corrected for the zero offset as the settings say), 1 temperature
  // (C), 2 wet/dry state. The sample lines go through the dive analysis (and its delay) before
  // they are drawn and counted.
  TdrColumns tdr_columns;
  TimeReducer dive;
  TimeReducer haulout;  // columns inside a haul-out period (from where the samples end)
  std::uint64_t haulouts_undated = 0;  // haul-outs that began before any time was known
  analysis::HauloutClock haulout_clock;
  // Dives as Skelv -dives finds them: the TDR lines in file order, cut at HAULOUT lines.
  analysis::DiveAnalysis analysis;
  DiveSummary dive_table;
  DayStrips strips;
  // Samples by wet/dry value, and how many of them lay deeper than the dive threshold.
  bool dryness = false;  // the column is titled DRYNESS (else WETDRY)
  std::array<std::uint64_t, 256> wetdry_samples{};
  std::array<std::uint64_t, 256> wetdry_deep{};
  bool any_depth = false;
  double max_depth = 0;
  double max_depth_time = 0;

  // CTD: channels 0 temperature (C), 1 salinity; salinity 0 is no value and not drawn.
  CastSplit split;
  CastSet casts;
  double max_pressure = 0;

  // GPS: one mark per snapshot with a valid time.
  TimeReducer gps;
  std::uint64_t gps_bad_time = 0;

  // Accelerometer: channels X, Y, Z in g.
  TimeReducer acc;
};

// Empties `d`; dives are found as `settings` say.
void deployment_reset(Deployment& d, const analysis::DiveSettings& settings = {});
// Takes one line (without its line end) of a file of `kind`.
void take_line(Deployment& d, FileKind kind, std::string_view line);
// Reads the file at `path` as a file of `kind`, line by line, to its end (for a TDR file the end
// of the dive data). False when it can't be opened.
bool read_file(Deployment& d, FileKind kind, const char* path);
// Adds what `from` read of the file of `kind` (its tally, span, notes and channels) to `into`,
// which has read only other kinds. Taking the files in order gives what reading them one after
// the other into `into` gives.
void deployment_take(Deployment& into, const Deployment& from, FileKind kind);
// Ends the last CTD cast and the dive data of lines taken one by one; call once after the last file.
void deployment_finish(Deployment& d);

}  // namespace skelv::quicklook
