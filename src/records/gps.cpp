// GPS snapshot (0xF2): copied as one line of the GPS file.
#include <cstdio>

#include "input/byte_source.h"
#include "records/codes.h"
#include "records/handlers.h"
#include "records/report.h"

namespace skelv {

std::uint8_t handle_gps(DecoderState& st, Run& run) {
  std::uint8_t head[7];  // year - 1900, month, day, hour, minute, second, entry count
  std::uint8_t entries[3 * 255];
  // A snapshot cut short by the end of the input writes nothing and is not counted.
  if (!read_bytes(st, "gps time", head, 7)) return TDRCODE_GPS;
  const int n = head[6];
  if (!read_bytes(st, "gps nbytes", entries, static_cast<std::size_t>(3 * n))) return TDRCODE_GPS;

  if (!st.gps_started) {
    if (out_open(st.gps_file, run.gps_name)) {
      st.gps_started = true;
    } else {
      fail(st, run, "Can't create GPS data file %s\n", run.gps_name);
    }
  }
  if (out_is_open(st.gps_file)) {
    OutFile& f = st.gps_file;
    out_printf(f, "%04d/%02hu/%02hu %02hu:%02hu:%02hu %hu 3 0", 1900 + head[0],
               static_cast<unsigned short>(head[1]), static_cast<unsigned short>(head[2]),
               static_cast<unsigned short>(head[3]), static_cast<unsigned short>(head[4]),
               static_cast<unsigned short>(head[5]), static_cast<unsigned short>(n));
    for (int i = 0; i < n; ++i) {
      const std::uint8_t* e = entries + 3 * i;
      out_printf(f, " %hu %04x", static_cast<unsigned short>(e[0]), static_cast<unsigned>(e[1] << 8 | e[2]));
    }
    out_puts(f, "\n");
  }
  ++st.gps_count;

  std::uint8_t next = TDRCODE_GPS;
  read_bytes(st, "gps finished", &next, 1);
  return next;
}

}  // namespace skelv
