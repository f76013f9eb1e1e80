// The four text files as an output: _tdr.txt, _ctd.txt, _gps.txt and _accel.txt, each created
// with its header line on the first item of its kind, with their line counts.
#pragma once
#include <array>
#include <functional>
#include <utility>

#include "output/text/text_lines.h"
#include "records/held.h"
#include "records/items.h"

namespace skelv {

// The paths of the four text files, owned by the run.
struct TextNames {
  const char* tdr;
  const char* ctd;
  const char* gps;
  const char* acc;
};

class TextOutput final : public RetractableOutput {
 public:
  // `fail` gets the message of every file that can't be created or written (ending with "\n").
  using FailFn = std::function<void(const char* message)>;
  TextOutput(const TextNames& names, FailFn fail);

  // From now on the lines wait in the files' buffers until released, and can be taken back; a
  // file is created when its first bytes are released (a -recover run).
  void hold() { holding_ = true; }
  Mark mark() const override;
  void release(const Mark& m) override;
  void take_back(const Mark& m) override;
  void insert_note(const Mark& m, std::uint64_t offset, const char* text, Mark& grown) override;

  void dive_start(const DiveStart& item) override;
  void haulout(const Haulout& item) override;
  void dive_sample(const DiveSample& item) override {
    write_tdr_line(tdr_file, item.time, item.sample, item.flags, item.photo_channels, item.wetdry);
  }
  void ctd_cast(const CtdCast& item) override;
  void ctd_sample(const CtdSample& item) override { write_ctd_line(ctd_file, item.time, item.values); }
  void gps(const GpsSnapshot& item) override;
  void acc_burst(const AccBurst& item) override;
  void acc_sample(const AccValues& item) override { write_acc_line(acc_file, item.time, item.x, item.y, item.z); }
  void note(const Note& item) override;
  // Closes the files: TDR, accelerometer, CTD, GPS. A write that failed on the way fails the run.
  void end_run(const RunEvents& events) override;
  void files(std::vector<WrittenFile>& out) const override;

  TextFile tdr_file, ctd_file, gps_file, acc_file;

 private:
  // Creates `f` on its first item; false (and a failure) when it can't be created.
  bool create(TextFile& f, const char* kind);
  void failed_to_create(TextFile& f, const char* kind);
  // The files in the order of a Mark's entries, with their kinds.
  std::array<std::pair<TextFile*, const char*>, 4> all();
  FailFn fail_;
  bool holding_ = false;
};

}  // namespace skelv
