// Shared test fixtures: a scratch folder, a decode of a built image, file and console capture.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "encoder/image_builder.h"
#include "run/driver.h"

namespace skelv::test {

// The CTD file's header up to its auxiliary columns.
inline const std::string kCtdHeader =
    "DATE(UTC)\tPRESSURE_RE_SURFACE(dbar)\tABS_PRESSURE(dbar)\tABS_PRESSURE_AT_SURFACE(dbar)"
    "\tTEMP(ITS-90)\tCOND(mS/cm)\tSAL_LAGGED(PSU-78)";

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it at the end of its life.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool file_exists(const std::string& path);
// The whole file, or "<missing>" when it can't be read.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
// The first n bytes of an image: the image cut short there.
ImageBuilder cut(const ImageBuilder& image, std::size_t n);

struct ProgressCall {
  std::uint64_t offset;
  std::uint32_t tdr, ctd, gps, acc;
  bool operator==(const ProgressCall&) const = default;
};

// Decodes built images in a scratch folder with a fresh state per test.
class DecodeTest : public ::testing::Test {
 protected:
  DecodeTest();

  // Writes `image` to tag.bin and decodes it; returns what decode_file returned.
  bool decode(const ImageBuilder& image, std::int64_t offset = 0, bool scan = false);
  // Decodes tag.bin as it stands.
  bool decode_input(std::int64_t offset = 0, bool scan = false);
  // Prepares the run to read `bytes` directly through the byte source (no driver).
  void attach(const std::vector<std::uint8_t>& bytes);

  // The output files as they stand; buffered lines of a file still open are flushed first.
  std::string tdr() { return output(rs->text.tdr_file); }
  std::string ctd() { return output(rs->text.ctd_file); }
  std::string gps() { return output(rs->text.gps_file); }
  std::string acc() { return output(rs->text.acc_file); }
  // The latest failure's message.
  std::string failure() const { return rs->events.last_failure; }
  // A fresh run of the same names: every part as at the start of the process.
  void fresh();

  static std::string output(TextFile& file);

  // Damage: an output name taken by a folder (the file can't be created).
  static void make_uncreatable(const char* name);
  // Called at each progress report of decode(), e.g. to mend an output name during a run.
  std::function<void()> on_progress = [] {};

  TempDir dir;
  skelv::Run run;
  std::unique_ptr<RunState> rs;
  std::vector<ProgressCall> progress;
  std::string console;  // console notes of the decoders
};

// While it lives, no file of this process may grow past `bytes`: a write beyond fails (EFBIG),
// as on a full disk, instead of stopping the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t soft_, hard_;
  void (*handler_)(int);
};

// Runs a shell command in `cwd`, or Skelv with `args`: what it printed and its exit status.
struct ProcessResult {
  int status = -1;
  std::string out;
};
ProcessResult run_command(const std::string& cwd, const std::string& command);
ProcessResult run_skelv(const std::vector<std::string>& args, const std::string& cwd);

}  // namespace skelv::test
