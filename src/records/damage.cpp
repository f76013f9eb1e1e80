#include "records/damage.h"

#include <cstdarg>
#include <cstdio>

#include <algorithm>
#include <cstdlib>

#include "accel/acc_sample.h"
#include "ctd/ctd_values.h"
#include "input/byte_source.h"
#include "records/decoder.h"

namespace skelv {
namespace {

constexpr std::uint8_t kEarliestYear = 70;  // year byte of 1970
constexpr std::uint8_t kDaysInMonth[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Steady evidence: this many values that passed a check, and none that failed before.
constexpr std::uint32_t kSteadyStarts = 3;
constexpr std::uint32_t kSteadyDepths = 256;
constexpr std::uint32_t kSteadyMag = 16;
constexpr int kMagTemperatureStep = 40;  // degrees C the magnetometer's temperature never moves in one sample
constexpr std::uint32_t kSameInfos = 2;
constexpr std::uint32_t kSteadyCtd = 512;
// An animal moves at most 10 m/s, and one sample's depth never jumps more than 40 m.
constexpr double kDepthRawPerSecond = 100.0;
constexpr double kDepthRawLeast = 400.0;
constexpr std::uint32_t kSteadyPressures = 512;
// The same in dbar, about metres, for the pressure of a profile.
constexpr double kPressurePerSecond = 10.0;
constexpr double kPressureLeast = 40.0;
// What CTD sensors can read at sea.
constexpr double kLeastPressure = -50.0, kMostPressure = 3000.0;  // dbar
constexpr double kLeastTemperature = -5.0, kMostTemperature = 40.0;  // degree C
constexpr double kLeastConductivity = -1.0, kMostConductivity = 80.0;  // mS/cm
// What a tag's accelerometer can read, in g, on any axis.
constexpr double kMostAcceleration = 16.0;
constexpr std::uint32_t kSteadyBursts = 64;

bool last_record_doubtful(const Decoder& d) {
  return d.journal != nullptr && !d.journal->checkpoints.empty() && d.journal->checkpoints.back().doubtful;
}

// A value that passed (`ok`) or failed its check, counted in `steady` and `wild`. True when it
// may stand: it passed, or the evidence was not steady yet, or the run is plain. `start`: the
// value is a well-formed record start, which may open another tag's data.
bool judge(Decoder& d, std::uint64_t at, bool ok, std::uint32_t& steady, bool& wild, std::uint32_t needed,
           const char* reason, bool start = false, bool stream_start = false) {
  if (ok) {
    if (steady < needed) ++steady;
    return true;
  }
  if (wild || steady < needed) {
    wild = true;
    return true;
  }
  if (d.damage.on) {
    if (start) {
      // A well-formed record start may open another deployment's data (two images spliced): it is
      // decoded where it stands, as a record that damage close behind it takes back, and the
      // evidence is gathered anew from it. The stream it stands in goes on.
      // The sensors' ranges hold for every tag: that evidence stays, so that values out of range
      // right after the record take it back.
      doubt_record(d);
      open_foreign_window(d, d.evidence);
      const Evidence::Ranges ranges = d.evidence.ranges;
      d.evidence = Evidence{};
      d.evidence.ranges = ranges;
      // Another deployment's profile can't lie inside a stream of this one: should it end in one,
      // that stream is damage (foreign_record_ended).
      if (stream_start) d.foreign_depth = d.nesting_depth;
      return true;
    }
    note_damage(d, at, "%s", reason);
    return false;
  }
  note_suspect(d, at, reason);
  return true;
}

}  // namespace

bool start_steady(Decoder& d, std::uint64_t at, double start, bool ctd) {
  Evidence& e = d.evidence;
  // A dive start keeps step with the dive clock, a CTD start with the CTD start before it (the
  // CTD clock need not follow the dive clock).
  double& last_ctd = e.last_ctd_start;
  const double clock = ctd ? last_ctd : d.deployment.time_base;
  if (ctd) last_ctd = start;
  if (clock == 0.0) return true;  // nothing yet to be in step with
  const bool ok = start_in_step(start, clock);
  return judge(d, at, ok, e.steady_starts, e.wild_starts, kSteadyStarts,
               ctd ? "CTD start out of step with the CTD start before it" : "dive start out of step with the dive clock",
               !last_record_doubtful(d), ctd);
}

namespace {

// A step of a value an animal's movement drives (a depth, a pressure), in units of about a metre
// (`least` of them at most in one sample, `per_second` at most a second of the interval).
bool movement_steady(Decoder& d, std::uint64_t at, double step, double least, double per_second, double interval_s,
                     std::uint32_t& steady, bool& wild, std::uint32_t needed, const char* reason) {
  // A long interval lets an animal move far: a step beyond `least` within it is no damage, but
  // such data are not steady either.
  if (step > least && step <= per_second * interval_s) {
    wild = true;
    return true;
  }
  return judge(d, at, step <= least, steady, wild, needed, reason);
}

}  // namespace

bool depth_steady(Decoder& d, std::uint64_t at, std::uint16_t before, std::uint16_t after, double interval_s) {
  Evidence& e = d.evidence;
  return movement_steady(d, at, std::abs(static_cast<int>(after) - static_cast<int>(before)), kDepthRawLeast,
                         kDepthRawPerSecond, interval_s, e.steady_depths, e.wild_depths, kSteadyDepths,
                         "depth jumped further than an animal moves");
}

bool pressure_steady(Decoder& d, std::uint64_t at, std::uint16_t before, std::uint16_t after, double interval_s) {
  Evidence& e = d.evidence;
  const double scale = d.deployment.pressure_scale;
  if (!(scale > 0)) return true;  // pressures that are no dbar: no evidence
  return movement_steady(d, at, std::abs(static_cast<int>(after) - static_cast<int>(before)) / scale, kPressureLeast,
                         kPressurePerSecond, interval_s, e.steady_pressure, e.wild_pressure, kSteadyPressures,
                         "CTD pressure jumped further than an animal moves");
}

bool mag_temperature_steady(Decoder& d, std::uint64_t at, std::int8_t before, std::int8_t after) {
  Evidence& e = d.evidence;
  return judge(d, at, std::abs(after - before) <= kMagTemperatureStep, e.steady_mag, e.wild_mag, kSteadyMag,
               "magnetometer temperature jumped");
}

bool calibration_steady(Decoder& d, std::uint64_t at, int size, std::int32_t tag_version,
                        const Calibration& calibration) {
  Evidence& e = d.evidence;
  if (size < kFullInfoSize) return true;  // a short record leaves fields as they were: no evidence
  if (e.same_infos == 0 && !e.changed_infos) {
    e.calibration = calibration;
    e.tag_version = tag_version;
  }
  const bool ok = calibration == e.calibration && tag_version == e.tag_version;
  return judge(d, at, ok, e.same_infos, e.changed_infos, kSameInfos, "information record with another calibration",
               plausible_info_size(d.damage, static_cast<std::uint8_t>(size)));
}

bool infos_steady(const Evidence& e) { return e.same_infos >= kSameInfos && !e.changed_infos; }

bool ctd_in_range(Decoder& d, std::uint64_t at, const CtdValues& v) {
  Evidence::Ranges& e = d.evidence.ranges;
  const bool ok = v.abs_pressure >= kLeastPressure && v.abs_pressure <= kMostPressure &&
                  v.temperature >= kLeastTemperature && v.temperature <= kMostTemperature &&
                  v.conductivity >= kLeastConductivity && v.conductivity <= kMostConductivity;
  return judge(d, at, ok, e.steady_ctd, e.wild_ctd, kSteadyCtd, "CTD values outside the sensors' range");
}

bool tdr_temperature_judged(Decoder& d, std::uint64_t at, std::uint16_t raw) {
  Evidence::Ranges& e = d.evidence.ranges;
  return judge(d, at, raw >= kLeastTdrTemperatureRaw && raw <= kMostTdrTemperatureRaw, e.steady_tdr_temperature,
               e.wild_tdr_temperature, kSteadyTdrTemperatures, "dive temperature outside the sensor's range");
}

bool acc_in_range(Decoder& d, std::uint64_t at, const AccSample* samples, int n) {
  const Deployment& dep = d.deployment;
  Evidence::Ranges& e = d.evidence.ranges;
  if (dep.acc_scale != e.acc_scale || dep.acc_offset != e.acc_offset) {
    // Values read with another calibration. The first change of a deployment whose values were
    // steady is judged by the evidence before it (an information record that damage made up
    // changes it); after that, calibrations change in this deployment, and evidence starts anew.
    const bool first_change = e.acc_scale != 0.0 && e.acc_changes == 0;
    if (e.acc_scale != 0.0) ++e.acc_changes;
    if (!first_change) {
      e.steady_acc = 0;
      e.wild_acc = false;
    }
    e.acc_scale = dep.acc_scale;
    e.acc_offset = dep.acc_offset;
  }
  const auto fits = [&](std::uint16_t raw) { return std::abs(raw * dep.acc_scale - dep.acc_offset) <= kMostAcceleration; };
  bool ok = true;
  for (int i = 0; i < n && ok; ++i) ok = fits(samples[i].x) && fits(samples[i].y) && fits(samples[i].z);
  return judge(d, at, ok, e.steady_acc, e.wild_acc, kSteadyBursts, "accelerometer values beyond the sensor's range");
}

bool foreign_record_ended(Decoder& d) {
  if (d.foreign_depth != d.nesting_depth + 1) return false;
  d.foreign_depth = 0;
  return d.nesting_depth > 0 && note_damage(d, d.input.byte_offset - 1, "another tag's profile inside a stream");
}

bool note_damage(Decoder& d, std::uint64_t first, const char* format, ...) {
  DamageState& r = d.damage;
  if (!r.damaged) {
    r.damaged = true;
    r.damage_at = first;
    va_list args;
    va_start(args, format);
    std::vsnprintf(r.reason, sizeof r.reason, format, args);
    va_end(args);
  }
  if (!r.on) return false;
  source_halt(d.input);
  return true;
}

void note_suspect(Decoder& d, std::uint64_t first, const char* reason) {
  add_suspect(d.events, first, reason);
  emit(d.outputs, &Output::suspect, SuspectRecord{first, reason});
}

bool plausible_time(const std::uint8_t* t) {
  return t[0] >= kEarliestYear && t[1] >= 1 && t[1] <= 12 && t[2] >= 1 && t[2] <= kDaysInMonth[t[1]] &&
         t[3] <= 23 && t[4] <= 59 && t[5] <= 59 && t[6] <= 99;
}

bool known_regime(std::uint8_t regime) {
  return regime == 1 || regime == 2 || regime == 3 || (regime >= 5 && regime <= 8);
}

// Masks 6 and 7 name no sensor.
bool plausible_ctd_mask(std::uint8_t mask) { return mask <= 5 || mask >= 8; }

// Every information record of a deployment has the size of the first; one that holds every
// field is 24 bytes or more.
bool plausible_info_size(const DamageState& damage, std::uint8_t size) {
  return damage.info_size < 0 ? size >= kFullInfoSize : size == damage.info_size;
}

// A tag keeps its version for the whole deployment.
bool plausible_info_version(std::int32_t tag_version, std::uint8_t size, std::uint16_t version) {
  return tag_version < 0 || size < 2 || version == tag_version;
}

bool plausible_gps_time(const std::uint8_t* h) {
  return h[1] >= 1 && h[1] <= 12 && h[2] >= 1 && h[2] <= 31 && h[3] <= 23 && h[4] <= 59 && h[5] <= 59;
}

bool start_in_step(double start, double clock) {
  constexpr double kEarlier = 60.0;
  constexpr double kLater = 30.0 * 86400.0;
  return clock == 0.0 || (start >= clock - kEarlier && start <= clock + kLater);
}

}  // namespace skelv
