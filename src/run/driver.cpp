#include "run/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "accel/acc_output.h"
#include "records/codes.h"
#include "records/dispatcher.h"
#include "run/scan_dump.h"

namespace skelv {
namespace {

bool is_start_code(std::uint8_t b) {
  return b == TDRCODE_START_NORMAL || b == TDRCODE_START_DRY || b == TDRCODE_INFO || b == TDRCODE_START_CTD ||
         b == TDRCODE_GPS;
}

// Copies what the run came to into the run's record.
void finish_run(RunState& s) {
  Run& run = s.run;
  run.tdr_count = s.text.tdr_file.count;
  run.ctd_count = s.text.ctd_file.count;
  run.gps_count = s.text.gps_file.count;
  run.acc_count = s.text.acc_file.count;
  run.byte_count = s.input.byte_offset;
  run.regime = s.decoder.deployment.regime;
  run.tag_version = s.decoder.deployment.tag_version;
  std::snprintf(run.failure_text, sizeof run.failure_text, "%s", s.events.last_failure.c_str());
}

}  // namespace

RunState::RunState(Run& r)
    : run(r),
      text(TextNames{r.tdr_name, r.ctd_name, r.gps_name, r.acc_name},
           [this](const char* message) { fail(decoder, "%s", message); }),
      decoder(input, decoder_outputs, events) {
  outputs.add(text);
  decoder_outputs = outputs;
  decoder.ctd_lines = &text.ctd_file.count;
}

bool decode_file(RunState& s, ProgressFn progress, std::int64_t offset, bool scan) {
  Run& run = s.run;
  ByteSource& in = s.input;
  Decoder& d = s.decoder;
  in.byte_offset = 0;
  run.tdr_count = run.ctd_count = run.gps_count = run.acc_count = 0;
  run.byte_count = 0;
  run.failure_text[0] = '\0';
  run.regime = 9;
  run.tag_version = -1;

  if (progress) {
    in.progress = [&s, progress = std::move(progress)](std::uint64_t at) {
      progress(at, s.text.tdr_file.count, s.text.ctd_file.count, s.text.gps_file.count, s.text.acc_file.count);
    };
  }

  const int fd = ::open(run.input_name, O_RDONLY | O_CLOEXEC);
  in.end_of_input = false;
  struct stat info {};
  if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
    ::close(fd);  // a folder is no image
    fail(d, "Can't open TDR data file %s\n", run.input_name);
    finish_run(s);
    return false;
  }
  if (fd < 0) {
    fail(d, "Can't open TDR data file %s\n", run.input_name);
    finish_run(s);
    return false;
  }
  if (offset < 0) offset = 0;
  if (scan) {
    // The dump reads the image through a descriptor of its own: a pipe can't be read twice.
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) {
      write_scan_dump(d, run.input_name, offset);
    } else {
      fail(d, "Can't scan %s: the input can be read only once\n", run.input_name);
    }
  }

  source_attach(in, fd);
  const std::uint64_t start = static_cast<std::uint64_t>(offset);
  if (start > 0 && source_skip(in, start) < start) {
    fail(d, "Start offset %llu lies past the end of %s (%llu bytes)\n", static_cast<unsigned long long>(start),
         run.input_name, static_cast<unsigned long long>(in.byte_offset));
    in.end_of_input = true;
  }

  // A -recover run holds its items back until the decoding behind them is trusted.
  DamageState& r = d.damage;
  s.decoder_outputs = s.outputs;
  if (r.on) {
    // The text files hold their lines back themselves; the other outputs' items are held for them.
    s.held_outputs = OutputList{};
    for (int i = 0; i < s.outputs.count; ++i) {
      if (s.outputs.items[i] != &s.text) s.held_outputs.add(*s.outputs.items[i]);
    }
    s.journal = std::make_unique<Journal>(s.text, s.held_outputs);
    s.text.hold();
    s.decoder_outputs = OutputList{};
    s.decoder_outputs.add(s.text);
    if (s.held_outputs.count > 0) s.decoder_outputs.add(s.journal->held);
    d.journal = s.journal.get();
  }

  std::uint8_t code = 0;
  while (!in.end_of_input && read_bytes(in, "look for start", &code, 1) && !is_start_code(code)) {
  }
  checkpoint(d, in.byte_offset, false);
  for (;;) {
    while (!in.end_of_input) code = dispatch_record(d, code);
    // Nothing past an unreadable stretch of the input is looked at.
    if (in.read_error != 0) break;
    // Another tag's information record soon after a restart: its data are read again with it.
    if (s.journal != nullptr && !r.damaged) replay_at_end(d);
    if (s.journal != nullptr && s.journal->replay_wanted) {
      if (replay(d, code)) continue;
      r.damaged = false;
      note_damage(d, in.scan_offset - 1, "data after a restart could not be read again");
    }
    // The end of the data: a restart on trial that decoded too little up to it was no restart.
    if (r.on && !r.damaged && !settle_at_end(d, in.byte_offset)) {
      note_damage(d, in.byte_offset, "restart decoded too little before the end of the data");
    }
    // An end-of-data code with more than erased memory after it is damage too.
    if (!r.damaged && r.eof_code) {
      source_halt(in);
      if (!scan_erased(in)) note_damage(d, in.byte_offset - 1, "end-of-data code with data after it");
    }
    if (!r.on || !r.damaged || !skip_damage(d, code)) break;
  }
  if (in.read_error != 0) {
    fail(d, "Can't read %s at byte %llu: %s\n", run.input_name, static_cast<unsigned long long>(in.read_error_at),
         std::strerror(in.read_error));
  } else if (!r.on && r.damaged) {
    // A plain run that stopped on damage with more than erased memory after it says how much.
    source_halt(in);
    if (!scan_erased(in)) {
      scan_rest(in);
      s.recovery.undecoded = in.scan_offset - in.byte_offset;
    }
  }

  source_close(in);
  // The last accelerometer block, then the end of every output (the text files close in the
  // order TDR, accelerometer, CTD, GPS).
  flush_acc(d);
  if (d.journal != nullptr) finish_journal(d, in.byte_offset);
  for (int i = 0; i < s.outputs.count; ++i) s.outputs.items[i]->end_run(s.events);
  finish_run(s);
  return !s.events.failed();
}

}  // namespace skelv
