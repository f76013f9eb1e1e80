#include "input/driver.h"

#include <fcntl.h>
#include <unistd.h>

#include "accel/acc_output.h"
#include "input/byte_source.h"
#include "input/recovery.h"
#include "input/scan_dump.h"
#include "records/codes.h"
#include "output/emit.h"
#include "records/dispatcher.h"
#include "records/report.h"

namespace skelv {
namespace {

bool is_start_code(std::uint8_t b) {
  return b == TDRCODE_START_NORMAL || b == TDRCODE_START_DRY || b == TDRCODE_INFO ||
         b == TDRCODE_START_CTD || b == TDRCODE_GPS;
}

}  // namespace

bool decode_file(DecoderState& st, Run& run, ProgressFn progress, std::int64_t offset, bool scan) {
  st.byte_offset = 0;
  run.tdr_count = run.ctd_count = run.gps_count = run.acc_count = 0;
  run.byte_count = 0;
  run.failure_text[0] = '\0';
  run.regime = 9;
  run.tag_version = -1;

  st.progress = std::move(progress);
  st.run_ok = true;
  st.acc_started = st.ctd_started = st.tdr_started = false;

  const int fd = ::open(run.input_name, O_RDONLY | O_CLOEXEC);
  st.end_of_input = false;
  if (fd < 0) {
    fail(st, run, "Can't open TDR data file %s\n", run.input_name);
    return false;
  }
  if (offset < 0) offset = 0;
  if (scan) write_scan_dump(st, run, offset);

  st.byte_offset = static_cast<std::uint64_t>(offset);
  if (offset > 0) ::lseek(fd, static_cast<off_t>(offset), SEEK_SET);
  source_attach(st, fd);

  std::uint8_t code = 0;
  while (read_bytes(st, "look for start", &code, 1) && !is_start_code(code)) {
  }
  Recovery& r = st.recovery;
  for (;;) {
    while (!st.end_of_input) code = dispatch_record(st, run, code);
    // An end-of-data code with more than erased memory after it is damage too.
    if (!r.damaged && r.eof_code && !erased_from(st, st.byte_offset)) {
      note_damage(st, st.byte_offset - 1, "end-of-data code with data after it");
    }
    if (!r.on || !r.damaged || !skip_damage(st, run, code)) break;
  }
  // A plain run that stopped on damage with more than erased memory after it says how much.
  if (!r.on && r.damaged && !erased_from(st, st.byte_offset)) {
    const std::uint64_t size = input_size(st);
    r.undecoded = size > st.byte_offset ? size - st.byte_offset : 0;
  }

  source_close(st);
  // The last accelerometer block, then the end of every output (the text files close in the
  // order TDR, accelerometer, CTD, GPS).
  flush_acc(st, run);
  emit_end_run(st, run);

  run.tdr_count = st.tdr_count;
  run.ctd_count = st.ctd_count;
  run.gps_count = st.gps_count;
  run.acc_count = st.acc_count;
  run.byte_count = st.byte_offset;
  return st.run_ok;
}

}  // namespace skelv
