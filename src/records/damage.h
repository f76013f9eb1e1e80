// Damage met while decoding: a record that makes no sense where it stands, or decoded values that
// the run's steady evidence contradicts. A plain run notes the first damage (and counts values
// that look damaged as suspect records); with -recover every later read fails, so every open
// stream closes as at the end of the input, and the run takes the damage back (records/journal.h)
// and restarts at the next plausible record start.
#pragma once
#include <cstddef>
#include <cstdint>

#include "records/deployment.h"

namespace skelv {

inline constexpr std::size_t kReasonSize = 64;

struct DamageState {
  bool on = false;                   // -recover
  bool damaged = false;              // damage met since the input was last positioned
  std::uint64_t damage_at = 0;       // offset of the record code that made no sense
  char reason[kReasonSize] = {};
  bool eof_code = false;             // the record loop met the end-of-data code
  int info_size = -1;                // block size of the first information record; -1: none yet
};

// What the run's own data have shown so far. A check of decoded values judges only data that
// have been steady for long enough: a deployment whose values the format allows to swing from the
// start (or whose calibration changes) is never judged by it. After a damaged stretch the
// evidence is gathered anew.
struct Evidence {
  std::uint32_t steady_starts = 0;  // dive starts in step with the dive clock, CTD starts with the CTD clock
  bool wild_starts = false;         // one out of step came before the starts were steady
  double last_ctd_start = 0.0;      // time of the latest CTD start; 0: none yet
  std::uint32_t steady_depths = 0;  // dive samples whose depth moved no further than an animal can
  bool wild_depths = false;
  std::uint32_t steady_pressure = 0;  // CTD samples whose pressure moved no further than an animal can
  bool wild_pressure = false;
  std::uint32_t steady_mag = 0;     // magnetometer temperatures within a few degrees of the one before
  bool wild_mag = false;
  std::uint32_t same_infos = 0;     // information records with the calibration of the first
  bool changed_infos = false;
  Calibration calibration;          // of the first information record
  std::int32_t tag_version = -1;
  // The sensors' ranges hold for every tag: this evidence stays across another tag's start.
  struct Ranges {
    std::uint32_t steady_ctd = 0;  // CTD samples within the sensors' range
    bool wild_ctd = false;
    std::uint32_t steady_acc = 0;  // accelerometer bursts within the sensor's range
    bool wild_acc = false;
    std::uint32_t steady_tdr_temperature = 0;  // dive samples' temperatures within the sensor's range
    bool wild_tdr_temperature = false;
    double acc_scale = 0.0, acc_offset = 0.0;  // the accelerometer calibration they were read with; 0: none yet
    std::uint32_t acc_changes = 0;  // changes of it met
  } ranges;
};

struct Decoder;
struct CtdValues;

// A record that made no sense at `first` (the offset of its code byte). The first damage since
// the input was last positioned is kept. With -recover every later read fails and true is
// returned; a plain run only remembers the damage and returns false.
bool note_damage(Decoder& d, std::uint64_t first, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A plain run's record at `first` whose decoded values look damaged: counted among the run's
// suspect records and handed to the outputs.
void note_suspect(Decoder& d, std::uint64_t first, const char* reason);

// Checks of decoded values; each true when the value may stand. One that fails on steady
// evidence is damage with -recover (note_damage) and a suspect record in a plain run.
bool start_steady(Decoder& d, std::uint64_t at, double start, bool ctd);
bool depth_steady(Decoder& d, std::uint64_t at, std::uint16_t before, std::uint16_t after, double interval_s);
// Raw CTD pressures of one profile's samples in turn.
bool pressure_steady(Decoder& d, std::uint64_t at, std::uint16_t before, std::uint16_t after, double interval_s);
bool mag_temperature_steady(Decoder& d, std::uint64_t at, std::int8_t before, std::int8_t after);
// An information record of `size` block bytes.
bool calibration_steady(Decoder& d, std::uint64_t at, int size, std::int32_t tag_version,
                        const Calibration& calibration);
bool ctd_in_range(Decoder& d, std::uint64_t at, const CtdValues& values);
// A dive sample's raw temperature (0.05 K a count), once the steady case is ruled out (the check
// runs for every sample: tdr_temperature_in_range in the stream decoder takes that case inline).
bool tdr_temperature_judged(Decoder& d, std::uint64_t at, std::uint16_t raw);
// A tag's thermistor, in the water or in the air while dry: raw counts of 0.05 K from -40 to +60 C.
inline constexpr std::uint16_t kLeastTdrTemperatureRaw = 4663, kMostTdrTemperatureRaw = 6663;
inline constexpr std::uint32_t kSteadyTdrTemperatures = 256;
struct AccSample;
// The `n` samples of a burst, calibrated as the deployment stands.
bool acc_in_range(Decoder& d, std::uint64_t at, const AccSample* samples, int n);

// Called as each record ends: a profile taken for another deployment's (judged a start of its
// own) has just ended inside a stream of this one. Damage with -recover (true) where it ended.
bool foreign_record_ended(Decoder& d);

// Plausibility of records, on their raw bytes.
bool plausible_time(const std::uint8_t* t);  // the 7-byte time of a dive or CTD start
bool known_regime(std::uint8_t regime);
bool plausible_ctd_mask(std::uint8_t mask);
// An information record of `size` block bytes whose block starts with the tag version `version`
// (ignored when the block is too short to hold one).
bool plausible_info_size(const DamageState& damage, std::uint8_t size);
inline constexpr int kFullInfoSize = 24;  // block bytes of an information record that sets every field
// The deployment's information records repeat one calibration and version: another one is
// another tag's, or damage.
bool infos_steady(const Evidence& e);
bool plausible_info_version(std::int32_t tag_version, std::uint8_t size, std::uint16_t version);
// A GPS snapshot's time: month, day, hour, minute and second in range.
bool plausible_gps_time(const std::uint8_t* head);
// A dive or CTD start at `start` against the dive clock `clock` (0: not set yet): not before it
// by more than a minute, nor more than 30 days after it.
bool start_in_step(double start, double clock);

}  // namespace skelv
