// The items a run decodes, and the interface of the outputs that receive them.
//
// The decoder hands every item to the outputs of its OutputList in the order they were added;
// the run adds its text files first. Items live for one call: they refer to the decoder's own
// sample records, so an output copies what it keeps. All times are seconds since
// 1970-01-01 00:00:00 UTC; offsets are input byte offsets as in the diagnostic notes.
//
// Adding an output: derive from Output, override the calls it needs (all default to nothing),
// create it in the run (the command line) and hand it to decode_file. The run owns it;
// decode_file calls end_run once after the last item, before it returns.
//
// A dive-table consumer needs only dive_start, dry_start, haulout, dive_sample and end_run:
// DiveSample::time, depth_m(), has_temperature()/temperature_c() and regime are all there is to it.
#pragma once
#include <cstdint>

#include <array>
#include <string>
#include <vector>

#include "accel/acc_sample.h"
#include "ctd/ctd_columns.h"
#include "ctd/ctd_values.h"
#include "dive/tdr_sample.h"
#include "records/codes.h"
#include "records/deployment.h"
#include "records/events.h"

namespace skelv {

// An information record, after its values took effect.
struct InfoRecord {
  std::uint64_t offset;  // input offset after the record's block
  std::int32_t tag_version;
  const Calibration& calibration;
};

// A dive start (0xFB): the samples that follow are stamped from `time`.
struct DiveStart {
  std::uint64_t offset;
  double time;               // time of the first sample
  std::uint8_t regime;       // TDR regime byte of the record
  std::uint16_t interval;    // hundredths of a second between samples
  unsigned flags;            // TDR_* channels of the regime; 0: unknown regime, no samples follow
  std::uint8_t photo_channels;
};

// A dry start (0xFE): the animal hauled out. `time` is the haul-out's start as the next HAULOUT
// line will give it (60 s before two intervals after the last dive sample).
struct DryStart {
  std::uint64_t offset;
  double time;
  std::uint16_t interval;  // hundredths of a second, the dry period's interval
  std::uint8_t regime;     // regime of the latest dive start (1: a temperature stream follows)
};

// A haul-out, given at the dive start that ends it: from the dry start's time to one dive
// interval before the new dive's first sample.
struct Haulout {
  double start;
  double end;
};

// One dive sample, in the order of the stream. A regime-1 dry period gives samples without
// depth (flags TDR_TEMP alone; depth_m() is 0 as in the text).
struct DiveSample {
  double time;
  const TdrSample& sample;      // raw channels; those not in `flags` are 0
  unsigned flags;               // TDR_* channels present
  std::uint8_t regime;          // regime of the latest dive start
  std::uint8_t wetdry;          // wet/dry state (or dryness) shown with this sample
  std::uint8_t photo_channels;  // photo values in use, at most kMaxPhotoChannels

  double depth_m() const { return sample.depth_m; }
  bool has_depth() const { return (flags & TDR_DEPTH) != 0; }
  bool has_temperature() const { return (flags & TDR_TEMP) != 0; }
  double temperature_c() const { return sample.temp_raw * 0.05 - 273.15; }
  bool has_photo() const { return (flags & TDR_PHOTO) != 0; }
  bool has_odometer() const { return (flags & TDR_ODO) != 0; }
  double odometer_m() const { return sample.odo_raw * 0.12; }
  bool has_magnetometer() const { return (flags & TDR_MAG) != 0; }
  double mag_ut(int axis) const { return static_cast<std::int16_t>(sample.mag[axis]) * 0.1; }
  bool has_wetdry() const { return (flags & (TDR_WETDRY | TDR_WETDRY_STREAM)) != 0; }
};

// A CTD profile start (0xFC); its first sample follows as a CtdSample.
struct CtdCast {
  std::uint64_t offset;
  std::uint32_t number;       // 1 for the run's first cast
  double time;                // time of the first sample
  std::uint16_t interval;     // hundredths of a second
  double surface_pressure;    // dbar
  std::uint8_t mask;          // channel mask byte
  const CtdColumns& columns;  // auxiliary columns and their sensors
};

struct CtdSample {
  double time;           // full precision; the text rounds it to the second
  std::uint32_t cast;    // CtdCast::number of the profile the sample belongs to (0: none)
  const CtdValues& values;
  const CtdColumns& columns;
};

// A GPS snapshot as the tag stored it.
struct GpsSnapshot {
  std::uint64_t offset;
  const std::uint8_t* head;     // year - 1900, month, day, hour, minute, second, entry count
  const std::uint8_t* entries;  // head[6] entries of 3 bytes: 8-bit value, 16-bit word
};

// An accelerometer burst start (0xF8); its samples follow later, when their block is written.
struct AccBurst {
  std::uint64_t offset;
  std::uint32_t number;  // 1 for the run's first burst
  double start, end;
};

struct AccValues {
  double time;
  double x, y, z;        // g
  const AccSample& raw;
  std::uint32_t burst;   // AccBurst::number of the burst the sample came from
};

// A diagnostic note. Every-file notes go into each open file ("@OFFSET: text"); the
// illegal-stream note belongs to the dive file alone.
enum class NoteScope : std::uint8_t { kEveryFile, kDiveFile };
struct Note {
  std::uint64_t offset;
  const char* text;
  NoteScope scope;
};

// A record that looked damaged but was decoded all the same (a run without -recover).
struct SuspectRecord {
  std::uint64_t offset;
  const char* reason;
};

// A failure of the run (its message ends with "\n").
struct Failure {
  std::uint64_t offset;
  const char* text;
};

// A file an output wrote or tried to write, for the run's report.
struct WrittenFile {
  std::string name;
  std::string kind;          // "tdr", "ctd", "gps", "accel", "dives", "netcdf"
  std::uint64_t records = 0;  // lines, snapshots, dives or samples
  std::uint64_t bytes = 0;
  bool complete = false;      // under its final name, whole
};

class Output {
 public:
  virtual ~Output() = default;
  virtual void info(const InfoRecord&) {}
  virtual void dive_start(const DiveStart&) {}
  virtual void dry_start(const DryStart&) {}
  virtual void haulout(const Haulout&) {}
  virtual void dive_sample(const DiveSample&) {}
  virtual void ctd_cast(const CtdCast&) {}
  virtual void ctd_sample(const CtdSample&) {}
  virtual void gps(const GpsSnapshot&) {}
  virtual void acc_burst(const AccBurst&) {}
  virtual void acc_sample(const AccValues&) {}
  virtual void note(const Note&) {}
  virtual void failure(const Failure&) {}
  virtual void suspect(const SuspectRecord&) {}
  // After the last item, with the run's events so far (the outputs before this one have ended
  // theirs). Failures reported from here still reach the outputs after this one.
  virtual void end_run(const RunEvents& /*events*/) {}
  // The files this output wrote or tried to, once the run has ended.
  virtual void files(std::vector<WrittenFile>& /*out*/) const {}
};

inline constexpr int kMaxOutputs = 8;

// The outputs of a run, in the order they get each item; owned by the run.
struct OutputList {
  std::array<Output*, kMaxOutputs> items{};
  int count = 0;
  // Adds `output`, which must outlive the run. False when the list is full.
  bool add(Output& output) {
    if (count >= kMaxOutputs) return false;
    items[count++] = &output;
    return true;
  }
};

// Hands `item` to every output of `outputs`, in order: emit(outputs, &Output::dive_sample, item).
template <class Item>
inline void emit(const OutputList& outputs, void (Output::*method)(const Item&), const Item& item) {
  for (int i = 0; i < outputs.count; ++i) (outputs.items[i]->*method)(item);
}

}  // namespace skelv
