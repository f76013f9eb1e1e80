// Tag information record (0xF6): tag version and sensor calibration.
#include "records/codes.h"
#include "records/handlers.h"
#include "records/journal.h"

namespace skelv {
namespace {

// Offsets of the fields in the information block.
constexpr int kVersionAt = 0;
constexpr int kTdrIntervalAt = 2;
constexpr int kCtdIntervalAt = 4;
constexpr int kPressureScaleAt = 6;
constexpr int kTemperatureOffsetAt = 8;
constexpr int kTemperatureScaleAt = 10;
constexpr int kConductivityOffsetAt = 12;
constexpr int kConductivityScaleAt = 14;
constexpr int kLagTimeConstantAt = 16;
constexpr int kPhotoChannelsAt = 18;
constexpr int kAccCountsPerGAt = 21;
constexpr int kAccOffsetAt = 23;

struct Block {
  const std::uint8_t* bytes;
  int size;
  // A field is present only when all its bytes lie inside the block.
  bool has(int at, int width) const { return at + width <= size; }
  std::uint16_t u16(int at) const { return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]); }
};

}  // namespace

void apply_info(Deployment& dep, const std::uint8_t* block, std::uint8_t size) {
  const Block b{block, size};
  bool new_version = false;
  if (b.has(kVersionAt, 2)) {
    dep.tag_version = b.u16(kVersionAt);
    new_version = true;
  }
  if (b.has(kTdrIntervalAt, 2)) dep.tdr_interval = b.u16(kTdrIntervalAt);
  if (b.has(kCtdIntervalAt, 2)) dep.ctd_interval = b.u16(kCtdIntervalAt);
  if (b.has(kPressureScaleAt, 2)) {
    dep.pressure_scale = b.u16(kPressureScaleAt);
    // Tags from version 173 give thousandths of counts per dbar.
    if (new_version && dep.tag_version >= 173) dep.pressure_scale *= 0.001;
  }
  dep.pressure_offset = (dep.pressure_scale > 16.0 && dep.pressure_scale < 17.0) ? 16384.0 : 600.0;
  if (b.has(kTemperatureOffsetAt, 2)) dep.temperature_offset = b.u16(kTemperatureOffsetAt);
  if (b.has(kTemperatureScaleAt, 2)) dep.temperature_scale = b.u16(kTemperatureScaleAt);
  if (b.has(kConductivityOffsetAt, 2)) dep.conductivity_offset = b.u16(kConductivityOffsetAt);
  if (b.has(kConductivityScaleAt, 2)) dep.conductivity_scale = b.u16(kConductivityScaleAt);
  if (b.has(kLagTimeConstantAt, 2)) dep.lag_time_constant = b.u16(kLagTimeConstantAt);
  if (b.has(kPhotoChannelsAt, 1)) dep.photo_channels = block[kPhotoChannelsAt];
  if (b.has(kAccCountsPerGAt, 2) && b.u16(kAccCountsPerGAt) != 0) {
    dep.acc_scale = 1.0 / b.u16(kAccCountsPerGAt);
  }
  if (b.has(kAccOffsetAt, 1)) dep.acc_offset = block[kAccOffsetAt];
  dep.force_abs = dep.tag_version == 132 || dep.tag_version == 133;
}

std::uint8_t handle_info(Decoder& d) {
  ByteSource& in = d.input;
  Deployment& dep = d.deployment;
  const std::uint64_t at = in.byte_offset - 1;
  std::uint8_t n_to_come = 0;
  std::uint8_t block[255];
  if (!read_bytes(in, "tdrcode_info n", &n_to_come, 1)) return TDRCODE_INFO;
  // A block cut short by the end of the input changes nothing.
  if (!read_bytes(in, "tdrcode_info block", block, n_to_come)) return TDRCODE_INFO;
  if (d.journal != nullptr) {
    const std::uint16_t version = n_to_come >= 2 ? static_cast<std::uint16_t>(block[0] << 8 | block[1]) : 0;
    if (!plausible_info_size(d.damage, n_to_come) || !plausible_info_version(dep.tag_version, n_to_come, version)) {
      doubt_record(d);
    }
  }
  if (d.damage.info_size < 0) d.damage.info_size = n_to_come;

  apply_info(dep, block, n_to_come);
  const Calibration calibration = calibration_of(dep);
  if (!calibration_steady(d, at, n_to_come, dep.tag_version, calibration)) return TDRCODE_EOF;
  emit(d.outputs, &Output::info, InfoRecord{in.byte_offset, dep.tag_version, calibration});
  // Another tag's version soon after a restart: the data since the restart may be read again with it.
  if (d.journal != nullptr) want_replay(d, at, block, n_to_come);

  std::uint8_t next = TDRCODE_INFO;
  read_bytes(in, "tdrcode_info complete", &next, 1);
  return next;
}

}  // namespace skelv
