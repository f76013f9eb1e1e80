// CTD profile start (0xFC) and a CTD end met outside a profile (0xFD).
#include <cmath>
#include <cstring>

#include "ctd/ctd_stream.h"
#include "ctd/ctd_values.h"
#include "dive/codec.h"
#include "records/codes.h"
#include "records/handlers.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Masks 0..7 name a fixed sensor; the column (if any) has offset 0.
struct Preset {
  const char* text;
  std::uint8_t count;
  double scale;
  CtdSensor sensor;
};
constexpr Preset kPresets[8] = {
    {"unused", 0, 1.0, CtdSensor::kFluorescence},
    {"", 0, 1.0, CtdSensor::kFluorescence},
    {"\tFluoro(V)", 1, 0.001, CtdSensor::kFluorescence},
    {"\tDOxy(umol/l)", 1, 1.0 / 31.9988, CtdSensor::kOxygen},  // umol/l from counts of 1/31.9988
    {"\tDOxy(umol/l)", 1, 0.01, CtdSensor::kOxygen},
    {"\tBPhase(deg)", 1, 0.01, CtdSensor::kBPhase},
    {"unused", 0, 1.0, CtdSensor::kFluorescence},
    {"unused", 0, 1.0, CtdSensor::kFluorescence},
};

// Masks from 8 on add a column per sensor bit, in this order.
constexpr std::uint8_t kFluoroBit = 0x01;
constexpr std::uint8_t kBPhaseBit = 0x02;
constexpr std::uint8_t kLightBit = 0x04;
constexpr std::uint8_t kInternalTempBit = 0x10;
constexpr char kFluoroText[] = "\tFLUORO(V)";
constexpr char kBPhaseText[] = "\tBPhase(deg)";
constexpr char kPhotoText[] = "\tPhoto2\tPhoto2\tPhoto3";  // three raw light channels of older tags
constexpr char kPpfdText[] = "\tPPFD(umol/m2/s)";
constexpr char kInternalTempText[] = "\tINTERNAL_TEMP(C)";
constexpr int kPhotoColumns = 3;
// Tags before this version send three raw light channels; from it on one PPFD column.
constexpr std::int32_t kFirstPpfdVersion = 151;
// Tags up to this version mark a light reading below range with a sentinel raw value.
constexpr std::int32_t kLastLightSentinelVersion = 167;

static_assert(sizeof kFluoroText + sizeof kBPhaseText + sizeof kPhotoText + sizeof kInternalTempText - 4 <
                  kCtdHeaderTextSize,
              "every mask's column names fit the header text");
static_assert(sizeof kPhotoText >= sizeof kPpfdText);
static_assert(1 + 1 + kPhotoColumns + 1 <= kCtdAuxColumns, "every mask's columns fit");

// Appends `n` columns of one offset and scale; several columns take consecutive sensor kinds.
void add_columns(CtdColumns& c, const char* text, int n, double offset, double scale, CtdSensor sensor) {
  const std::size_t used = std::strlen(c.header_text);
  const std::size_t len = std::strlen(text);
  if (used + len >= sizeof c.header_text || c.count + n > static_cast<int>(kCtdAuxColumns)) return;
  std::memcpy(c.header_text + used, text, len + 1);
  for (int i = 0; i < n; ++i) {
    c.offset[c.count] = offset;
    c.scale[c.count] = scale;
    c.sensor[c.count] = static_cast<CtdSensor>(static_cast<int>(sensor) + i);
    ++c.count;
  }
}

// The auxiliary columns that `mask` asks for. A PPFD column of a tag up to version 167 becomes the
// light sentinel column; otherwise `light_sentinel_column` is left as it is.
CtdColumns columns_for_mask(std::uint8_t mask, std::int32_t tag_version, int& light_sentinel_column) {
  CtdColumns c;
  if (mask < 8) {
    const Preset& p = kPresets[mask];
    std::strcpy(c.header_text, p.text);
    c.count = p.count;
    c.scale[0] = p.scale;
    c.sensor[0] = p.sensor;
    return c;
  }
  // A negative tag version is unknown and counts as newer than every known one.
  const bool known = tag_version >= 0;
  if (mask & kFluoroBit) add_columns(c, kFluoroText, 1, 0.0, 0.001, CtdSensor::kFluorescence);
  if (mask & kBPhaseBit) add_columns(c, kBPhaseText, 1, 0.0, 0.01, CtdSensor::kBPhase);
  if (mask & kLightBit) {
    if (known && tag_version < kFirstPpfdVersion) {
      add_columns(c, kPhotoText, kPhotoColumns, 0.0, 1.0, CtdSensor::kPhoto1);
    } else {
      if (known && tag_version <= kLastLightSentinelVersion) light_sentinel_column = c.count;
      add_columns(c, kPpfdText, 1, 14000.0, 0.001, CtdSensor::kPpfd);
    }
  }
  if (mask & kInternalTempBit) add_columns(c, kInternalTempText, 1, 5000.0, 0.001, CtdSensor::kInternalTemperature);
  return c;
}

}  // namespace

std::uint8_t handle_ctd_start(Decoder& d) {
  ByteSource& in = d.input;
  Deployment& dep = d.deployment;
  CtdState& ctd = d.ctd;
  // The whole start record is read first: one cut short by the end of the input writes nothing.
  const std::uint64_t at = in.byte_offset - 1;
  std::uint8_t mask = 0;
  if (!read_bytes(in, "start_ctd", &mask, 1)) return TDRCODE_EOF;
  std::uint8_t time[7];
  if (!read_bytes(in, "read_time", time, sizeof time)) return TDRCODE_EOF;
  int light_sentinel_column = ctd.light_sentinel_column;
  const CtdColumns columns = columns_for_mask(mask, dep.tag_version, light_sentinel_column);
  double start = 0.0;
  std::uint16_t interval = 0;
  std::uint16_t surface = 0;
  std::uint16_t ctd_data[kCtdValues] = {};
  start = static_cast<double>(civil_to_seconds(1900 + time[0], time[1], time[2], time[3], time[4], time[5]));
  if (d.journal != nullptr && (!plausible_ctd_mask(mask) || !plausible_time(time))) doubt_record(d);
  if (!start_steady(d, at, start, true)) return TDRCODE_EOF;
  bool complete = read_unint(in, interval) && read_unint(in, surface);
  for (std::size_t i = 0; complete && i < 3u + columns.count; ++i) complete = read_unint(in, ctd_data[i]);
  if (!complete) return TDRCODE_EOF;

  ctd.ctd_open = true;
  ctd.light_sentinel_column = light_sentinel_column;
  const std::uint32_t cast = ++ctd.ctd_casts;
  emit(d.outputs, &Output::ctd_cast,
       CtdCast{in.byte_offset, cast, start, interval, (surface - dep.pressure_offset) / dep.pressure_scale, mask,
               columns});
  dep.ctd_interval = interval;
  dep.ctd_time = start;
  ctd.surface_pressure_raw = surface;
  // exp(-interval / time constant): the interval in hundredths of a second, the constant in ms.
  if (dep.lag_time_constant != 0.0) ctd.lag_coefficient = std::exp((dep.ctd_interval * -10.0) / dep.lag_time_constant);
  ctd.lagged_conductivity = -1.0;

  const CtdValues values = ctd_values(dep, ctd, ctd_data, columns);
  if (!ctd_in_range(d, at, values)) return TDRCODE_EOF;
  emit(d.outputs, &Output::ctd_sample, CtdSample{dep.ctd_time, cast, values, columns});
  return decode_ctd_stream(d, columns, dep.ctd_interval * 0.01, ctd_data, cast);
}

std::uint8_t handle_ctd_end(Decoder& d) {
  std::uint8_t next = TDRCODE_END_CTD;
  read_bytes(d.input, "end_ctd", &next, 1);
  return next;
}

}  // namespace skelv
