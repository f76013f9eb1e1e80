// Runs the Skelv executable on an image and reads back what it wrote: exit status, console,
// standard error and the output files named after the image. Shared by the -recover property
// harness and the damage benchmark, which see Skelv only as a program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "valid/valid_image.h"

namespace skelv::runs {

// An output file by the suffix Skelv gives it (`_tdr.txt`, `_dives.txt`, `_ctd.nc`, ...): its lines,
// or for a NetCDF file its values as ncdump prints them, one "variable: value" line each, without
// the damage notes among its events, or for the JSON report (`_report.json`) its values, one
// "/path: value" line each, without what damage notes change.
struct OutputFile {
  std::string suffix;
  bool exists = false;
  std::vector<std::string> lines;
};

struct SkelvRun {
  int status = -1;  // exit status; -1 when Skelv did not exit normally
  std::string console, errors;
  std::vector<OutputFile> files;
};

// The four text files of every run.
const std::vector<std::string>& text_suffixes();

// Runs `skelv image switches...` in the image's folder and reads the files of `suffixes`, after
// removing any left by an earlier run.
SkelvRun run_skelv(const std::string& skelv, const std::string& image, const std::vector<std::string>& switches,
                   const std::vector<std::string>& suffixes);

// The output file of `image` with `suffix`: the image name loses its extension.
std::string output_path(const std::string& image, const std::string& suffix);

void write_image(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_image(const std::string& path);

// A line that stands for a sample or snapshot: no header, note, haul-out or illegal-stream line.
bool is_data_line(const std::string& line);
// A note that only a -recover run writes: "@XXXXXXXX: Damaged: ...".
bool is_damage_note(const std::string& line);
// The byte count of the console's "Input: N bytes" line; -1 when there is none.
long long reported_bytes(const std::string& console);

// Why a plain run of a generated image is not the clean decoding the generator meant (exit
// status, "Completed.", the byte it ended at, the data lines per file); empty when it is.
std::string clean_run_problem(const valid::Expected& expected, const SkelvRun& plain);

// What a -recover run changed against the plain run, per file: every line but the damage notes
// that only -recover writes is compared, as a multiset and in order.
struct FileDiff {
  std::string suffix;
  std::uint64_t lines = 0;  // of the plain run
  std::uint64_t lost = 0;   // lines of the plain run that -recover did not write
  std::uint64_t added = 0;  // lines that -recover wrote and the plain run did not (changed or new)
  bool reordered = false;   // the same lines in another order
  bool same() const { return lost == 0 && added == 0 && !reordered; }
};
std::vector<FileDiff> compare_runs(const SkelvRun& plain, const SkelvRun& recovered);

}  // namespace skelv::runs
