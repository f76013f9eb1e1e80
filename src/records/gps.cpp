// GPS snapshot (0xF2): copied as one line of the GPS file.
#include "records/codes.h"
#include "records/handlers.h"

namespace skelv {

std::uint8_t handle_gps(Decoder& d) {
  ByteSource& in = d.input;
  std::uint8_t head[7];  // year - 1900, month, day, hour, minute, second, entry count
  std::uint8_t entries[3 * 255];
  // A snapshot cut short by the end of the input writes nothing and is not counted.
  if (!read_bytes(in, "gps time", head, 7)) return TDRCODE_GPS;
  if (d.journal != nullptr && !plausible_gps_time(head)) doubt_record(d);
  const int n = head[6];
  if (!read_bytes(in, "gps nbytes", entries, static_cast<std::size_t>(3 * n))) return TDRCODE_GPS;

  emit(d.outputs, &Output::gps, GpsSnapshot{in.byte_offset, head, entries});

  std::uint8_t next = TDRCODE_GPS;
  read_bytes(in, "gps finished", &next, 1);
  return next;
}

}  // namespace skelv
