// Dive start (0xFB) and dry start (0xFE): the TDR file, its header, haul-out lines and the
// hand-over to the dive sample stream.
#include "dive/codec.h"
#include "dive/tdr_stream.h"
#include "records/codes.h"
#include "records/handlers.h"
#include "records/time_base.h"

namespace skelv {
namespace {

// Channel flags of a TDR regime; 0 for a regime whose stream can't be decoded.
unsigned regime_flags(std::uint8_t regime) {
  switch (regime) {
    case 1: return TDR_DEPTH | TDR_TEMP;
    case 2: return TDR_DEPTH;
    case 3: return TDR_DEPTH | TDR_PHOTO;
    case 5: return TDR_DEPTH;
    case 6: return TDR_DEPTH | TDR_WETDRY;
    case 7: return TDR_DEPTH | TDR_TEMP | TDR_ODO | TDR_MAG | TDR_WETDRY;
    case 8: return TDR_DEPTH | TDR_WETDRY | TDR_MM;
    default: return 0;
  }
}

}  // namespace

std::uint8_t handle_dive_start(Decoder& d) {
  ByteSource& in = d.input;
  Deployment& dep = d.deployment;
  const std::uint64_t at = in.byte_offset - 1;
  // A start record cut short by the end of the input leaves no trace in the TDR file.
  std::uint8_t regime = 0;
  std::uint8_t time[7];
  if (!read_bytes(in, "tdr_start_normal", &regime, 1)) return TDRCODE_EOF;
  if (!d.damage.on) dep.regime = regime;
  if (!read_bytes(in, "read_time", time, sizeof time)) return TDRCODE_EOF;
  // The samples of an unknown regime can't be told apart from what follows them: with -recover
  // that is damage before anything of the record takes effect.
  if (!known_regime(regime) && d.damage.on &&
      note_damage(d, at, "unknown TDR regime %hu", static_cast<unsigned short>(regime))) {
    return TDRCODE_EOF;
  }
  dep.regime = regime;
  const double start = static_cast<double>(civil_to_seconds(1900 + time[0], time[1], time[2], time[3], time[4], time[5]));
  if (d.journal != nullptr && !plausible_time(time)) doubt_record(d);
  if (!start_steady(d, at, start, false)) return TDRCODE_EOF;
  dep.time_base = start;
  if (!read_unint(in, dep.tdr_interval)) return TDRCODE_EOF;
  const unsigned flags = regime_flags(dep.regime);
  emit(d.outputs, &Output::dive_start,
       DiveStart{in.byte_offset, dep.time_base, dep.regime, dep.tdr_interval, flags, dep.photo_channels});
  if (dep.haulout_time != 0.0) {
    // The haul-out ends one dive interval before this dive's first sample.
    emit(d.outputs, &Output::haulout, Haulout{dep.haulout_time, dep.time_base - dep.tdr_interval * 0.01});
    dep.haulout_time = 0.0;
  }
  const std::uint8_t next = decode_tdr_stream(d, flags, dep.tdr_interval * 0.01);
  if (flags == 0) {
    note_damage(d, at, "unknown TDR regime %hu", static_cast<unsigned short>(dep.regime));
    // The samples of an unknown regime can't be told apart from what follows them.
    fail(d, "Unknown TDR regime %hu at byte %lu\n", static_cast<unsigned short>(dep.regime),
         static_cast<unsigned long>(in.byte_offset));
  }
  return next;
}

std::uint8_t handle_dry_start(Decoder& d) {
  ByteSource& in = d.input;
  Deployment& dep = d.deployment;
  // time_base is the last dive sample's time: the haul-out is taken to begin 60 s before the
  // point two dive intervals after it.
  dep.haulout_time = (dep.tdr_interval * 0.02 + dep.time_base) - 60.0;
  if (!read_unint(in, dep.tdr_interval)) return TDRCODE_EOF;
  emit(d.outputs, &Output::dry_start, DryStart{in.byte_offset, dep.haulout_time, dep.tdr_interval, dep.regime});
  // In regime 1 a temperature-only stream follows; in every other regime the next record.
  if (dep.regime == 1) return decode_tdr_stream(d, TDR_TEMP, dep.tdr_interval * 0.01);
  std::uint8_t next = TDRCODE_START_DRY;
  read_bytes(in, "start dry completed", &next, 1);
  return next;
}

}  // namespace skelv
