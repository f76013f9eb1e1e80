#include "records/journal.h"

#include <algorithm>
#include <cstdio>

#include "dive/tdr_stream.h"
#include "records/decoder.h"
#include "records/handlers.h"

namespace skelv {
namespace {

// The decoding state at `offset`, written over every field of `c` (checkpoints are taken in the
// ring's slots themselves: copied once, not twice).
void set_state(Checkpoint& c, const Decoder& d, std::uint64_t offset) {
  c.offset = offset;
  c.mark = d.journal->held.mark();
  c.deployment = d.deployment;
  c.ctd = d.ctd;
  c.acc_pending_count = d.acc.acc_pending_count;
  c.acc_block_start = d.acc.acc_block_start;
  c.acc_last_end = d.acc.acc_last_end;
  c.acc_cut = d.acc.acc_cut;
  c.acc_bursts = d.acc.acc_bursts;
  c.acc_blocks = d.acc.acc_blocks;
  c.info_size = d.damage.info_size;
  c.evidence = d.evidence;
  c.notes = d.events.notes;
  c.text = d.journal->direct.mark();
  c.doubtful = false;
}

// Written blocks before `oldest` go, unless a re-read from the restart could need them.
void forget_blocks(Journal& j, std::uint64_t oldest) {
  if (j.replay_open) oldest = std::min(oldest, j.replay_base.acc_blocks);
  while (!j.blocks.empty() && j.blocks.front().number < oldest) j.blocks.pop_front();
}

// Passes on what lies before `c`; blocks that no checkpoint left can need go.
void commit(Journal& j, const Checkpoint& c) {
  j.held.commit(c.mark);
  j.direct.release(c.text);
  forget_blocks(j, j.checkpoints.empty() ? c.acc_blocks : j.checkpoints.front().acc_blocks);
}

// What lies before a checkpoint kSettleBytes behind `offset` can no longer be taken back: the
// checkpoints before it go. True when any went.
bool drop_settled(Journal& j, std::uint64_t offset) {
  std::size_t drop = 0;
  while (drop + 1 < j.checkpoints.size() && j.checkpoints[drop + 1].offset + kSettleBytes <= offset) ++drop;
  if (drop == 0) return false;
  j.checkpoints.pop_front(drop);
  return true;
}

// The stretch's note goes where the decoding stands now, in front of what comes next.
void reserve_note(Journal& j) {
  j.note_mark = j.held.reserve_note(j.stretch_first);
  j.note_text = j.direct.mark();
  j.note_checkpoints = j.checkpoints.size();
}

// The first `count` samples of the written-out block `number` into the pending block; returns
// how many were found.
int written_block(const Journal& j, std::uint64_t number, AccState& acc, int count) {
  for (std::size_t i = 0; i < j.blocks.size(); ++i) {
    const WrittenBlock& b = j.blocks[i];
    if (b.number != number) continue;
    const int n = std::min(count, static_cast<int>(b.raw.size()));
    std::copy_n(b.raw.begin(), n, acc.acc_pending.begin());
    std::copy_n(b.burst.begin(), n, acc.acc_pending_burst.begin());
    return n;
  }
  return 0;
}

// Sets the decoding state back to `c` and drops the items decoded since. The streams open at
// `c` are gone with the calls that decoded them.
void restore(Decoder& d, const Checkpoint& c) {
  Journal& j = *d.journal;
  AccState& acc = d.acc;
  if (acc.acc_blocks != c.acc_blocks && c.acc_pending_count > 0) {
    // A burst since wrote the block out: its first samples are the block as it stood at `c`.
    acc.acc_pending_count = written_block(j, c.acc_blocks, acc, c.acc_pending_count);
  } else {
    acc.acc_pending_count = c.acc_pending_count;
  }
  j.held.drop(c.mark);
  j.direct.take_back(c.text);
  acc.acc_block_start = c.acc_block_start;
  acc.acc_last_end = c.acc_last_end;
  acc.acc_cut = c.acc_cut;
  acc.acc_bursts = c.acc_bursts;
  acc.acc_blocks = c.acc_blocks;
  acc.acc_open = false;
  d.deployment = c.deployment;
  const int streams = d.ctd.ctd_streams;
  d.ctd = c.ctd;
  d.ctd.ctd_streams = streams;
  d.ctd.ctd_open = false;
  d.damage.info_size = c.info_size;
  d.evidence = c.evidence;
  d.events.notes = c.notes;
}

// The stretch is final: its note takes its place in front of the restart's items, the run's
// events and the console learn of it.
void close_stretch(Decoder& d, std::uint64_t last) {
  Journal& j = *d.journal;
  const std::uint64_t first = j.stretch_first;
  if (last < first) last = first;
  const std::uint64_t bytes = last - first + 1;
  add_damage(d.events, first, last, j.reason);
  char text[160];
  std::snprintf(text, sizeof text, "Damaged: skipped to %08llX, %llu bytes: %s",
                static_cast<unsigned long long>(last), static_cast<unsigned long long>(bytes), j.reason);
  j.held.fill_note(j.note_mark, text);
  RetractableOutput::Mark grown;
  j.direct.insert_note(j.note_text, first, text, grown);
  // Checkpoints taken since the note's place lie after the note in the text files.
  for (std::size_t i = j.note_checkpoints; i < j.checkpoints.size(); ++i) {
    for (std::size_t f = 0; f < grown.at.size(); ++f) j.checkpoints[i].text.at[f] += grown.at[f];
    ++j.checkpoints[i].notes;
  }
  ++d.events.notes;
  char line[200];
  std::snprintf(line, sizeof line, "\n@%08llX: %s\n", static_cast<unsigned long long>(first), text);
  // Shown even among bytes read a second time, whose notes of their own are not.
  if (d.console) d.console(line);
  j.trial = false;
  // Nothing before the restart is taken back any more: the stretch's note stands.
  std::size_t keep = 0;
  while (keep + 1 < j.checkpoints.size() && j.checkpoints[keep + 1].offset <= j.restart) ++keep;
  j.checkpoints.pop_front(keep);
  // While the data since an earlier restart may still be read again, nothing after it passes on.
  if (!j.replay_open) commit(j, j.checkpoints.front());
}

// A restart's trial has passed: its own checkpoint is where its data would be read again from. A
// stretch within the window of an earlier restart leaves that one's.
void open_replay(Decoder& d) {
  Journal& j = *d.journal;
  if (j.replay_open || !d.input.seekable || j.checkpoints.empty() || j.checkpoints.front().offset != j.restart) return;
  j.replay_open = true;
  j.replay_from_doubt = false;
  j.replay_base = j.checkpoints.front();
  j.replay_steady = infos_steady(j.base.evidence);
  j.replay_calibration = j.base.evidence.calibration;
  j.replay_damage = damage_mark(d.events);
}

// The restart on trial holds: the stretch before it is final.
void trust_restart(Decoder& d) {
  close_stretch(d, d.journal->restart - 1);
  open_replay(d);
}

// Passes on everything held and keeps one checkpoint at `offset`.
void settle_all(Decoder& d, std::uint64_t offset) {
  Journal& j = *d.journal;
  j.checkpoints.clear();
  set_state(j.checkpoints.push_slot(), d, offset);
  commit(j, j.checkpoints.front());
}

}  // namespace

void take_checkpoint(Decoder& d, std::uint64_t offset, bool record) {
  Journal& j = *d.journal;
  if (j.trial) {
    if (record) ++j.trial_records;
    // Trusted after kVerifyBytes, or at the next record after a start in step with the dive clock.
    if (offset >= j.restart + kVerifyBytes || (j.restart_in_step && j.trial_records >= 2)) trust_restart(d);
  }
  set_state(j.checkpoints.push_slot(), d, offset);
  if (j.trial) return;
  if (j.replay_open) {
    if (j.replay_pending && record && offset > j.replay_at) ++j.replay_records;
    if (j.replay_pending && offset >= j.replay_at + kVerifyBytes) {
      // The record held for as long as a restart must: the decoding unwinds to read again.
      j.replay_open = j.replay_pending = false;
      j.replay_wanted = true;
      source_halt(d.input);
      return;
    }
    if (j.replay_pending || offset <= j.replay_base.offset + kReplayBytes) {
      // Nothing passes on while the data since the restart may be read again; the checkpoints no
      // roll-back can reach go all the same (a window of small records would keep 100,000s).
      if (drop_settled(j, offset)) forget_blocks(j, j.checkpoints.front().acc_blocks);
      return;
    }
    j.replay_open = false;
  }
  if (drop_settled(j, offset)) commit(j, j.checkpoints.front());
}

void profile_ended(Decoder& d) {
  const Journal* j = d.journal;
  if (j != nullptr && j->trial && j->restart_in_step) trust_restart(d);
}

void keep_block(Journal& j, const AccState& acc) {
  const int n = std::min(acc.acc_pending_count, kAccPendingCapacity);
  if (n <= 0) return;
  // Into the ring's slot, whose vectors keep their room from the block it held before.
  WrittenBlock& b = j.blocks.push_slot();
  b.number = acc.acc_blocks;
  b.raw.assign(acc.acc_pending.begin(), acc.acc_pending.begin() + n);
  b.burst.assign(acc.acc_pending_burst.begin(), acc.acc_pending_burst.begin() + n);
}

void open_foreign_window(Decoder& d, const Evidence& evidence) {
  Journal* j = d.journal;
  if (j == nullptr || j->trial || j->replay_open || !d.input.seekable || j->checkpoints.empty()) return;
  if (j->checkpoints.back().offset == j->replayed_base) return;
  j->replay_open = true;
  j->replay_from_doubt = true;
  j->replay_base = j->checkpoints.back();
  j->replay_steady = infos_steady(evidence);
  j->replay_calibration = evidence.calibration;
  j->replay_damage = damage_mark(d.events);
}

void doubt_record(Decoder& d) {
  if (d.journal != nullptr && !d.journal->checkpoints.empty()) d.journal->checkpoints.back().doubtful = true;
}

namespace {

// The closing lines of the streams that the damage ended, of samples read before the stretch's
// checkpoint, stamped as the deployment stood there; written again whenever the decoding goes
// back to that checkpoint.
void write_closing(Decoder& d) {
  for (const ClosingSample& c : d.journal->base_closing) emit_sample(d, c.sample, c.flags);
}

}  // namespace

void roll_back(Decoder& d, std::uint64_t damage_at, const char* reason, bool end_code) {
  Journal& j = *d.journal;
  // An information record waiting to hold goes with the damage; the window stays open.
  j.replay_pending = false;
  if (j.trial) {
    j.closing.clear();  // read within the trial, after the stretch's own checkpoint
    // The restart decoded damage: the stretch goes on over it.
    restore(d, j.base);
    write_closing(d);
    j.checkpoints.clear();
    j.checkpoints.push_back(j.base);
    reserve_note(j);
    j.trial = false;
    return;
  }
  // The latest checkpoint before the damage, or the earliest one left; then back before every
  // doubtful record close behind the damage.
  if (j.checkpoints.empty()) set_state(j.checkpoints.push_slot(), d, damage_at);
  std::size_t at = 0;
  for (std::size_t i = j.checkpoints.size(); i-- > 0;) {
    if (j.checkpoints[i].offset <= damage_at) {
      at = i;
      break;
    }
  }
  for (std::size_t i = at + 1; i-- > 0 && j.checkpoints[i].offset + kJudgedBytes >= damage_at;) {
    if (j.checkpoints[i].doubtful) at = i;
  }
  j.base = j.checkpoints[at];
  // Damage that takes back the record a window opened at closes that window.
  if (j.replay_open && j.replay_from_doubt && j.base.offset <= j.replay_base.offset) {
    j.replay_open = j.replay_from_doubt = false;
  }
  restore(d, j.base);
  j.base_closing.clear();
  for (const ClosingSample& c : j.closing) {
    if (c.read_at < j.base.offset) j.base_closing.push_back(c);
  }
  j.closing.clear();
  write_closing(d);
  j.checkpoints.keep_front(at + 1);
  j.stretch_first = std::min(j.base.offset, damage_at);
  j.after_end_code = end_code;
  j.skipped_wetdry = -1;
  std::snprintf(j.reason, sizeof j.reason, "%s", reason);
  reserve_note(j);
}

void want_replay(Decoder& d, std::uint64_t at, const std::uint8_t* block, std::uint8_t size) {
  Journal& j = *d.journal;
  // Only a record that sets every field can stand for another tag: a short one is as likely a
  // misread sample.
  if (!j.replay_open || j.replay_pending || at <= j.replay_base.offset || at < j.replay_floor || size < kFullInfoSize) {
    return;
  }
  if (j.replay_from_doubt && j.trial) return;
  // Another tag version, or another calibration than the tag's records, where they were all
  // alike. (The intervals in force come from the start records too: the records' own are compared.)
  if (d.deployment.tag_version == j.replay_base.deployment.tag_version &&
      (!j.replay_steady || calibration_of(d.deployment) == j.replay_calibration)) {
    return;
  }
  j.replay_pending = true;
  j.replay_at = at;
  j.replay_records = 0;
  std::copy_n(block, size, j.replay_info.begin());
  j.replay_info_size = size;
}

bool replay_at_end(Decoder& d) {
  Journal& j = *d.journal;
  if (!j.replay_pending || j.replay_records == 0) return false;
  j.replay_open = j.replay_pending = false;
  j.replay_wanted = true;
  return true;
}

bool replay(Decoder& d, std::uint8_t& code) {
  Journal& j = *d.journal;
  j.replay_wanted = false;
  j.replay_floor = j.replay_at + 1;
  j.replayed_base = j.replay_base.offset;
  if (!source_rewind(d.input, j.replay_base.offset)) return false;
  restore(d, j.replay_base);
  apply_info(d.deployment, j.replay_info.data(), j.replay_info_size);
  // The stretches met since the restart are read again too: they are no longer the run's.
  take_back_damage(d.events, j.replay_damage);
  char line[160];
  std::snprintf(line, sizeof line, "\n@%08llX: Another tag's information record: read again from %08llX\n",
                static_cast<unsigned long long>(j.replay_at), static_cast<unsigned long long>(j.replay_base.offset));
  if (d.console) d.console(line);
  // The restart's checkpoint is taken again as its record is decoded again.
  while (!j.checkpoints.empty() && j.checkpoints.back().offset >= j.replay_base.offset) j.checkpoints.pop_back();
  d.damage.damaged = false;
  d.damage.eof_code = false;
  return read_bytes(d.input, "replay", &code, 1);
}

void try_restart(Decoder& d, std::uint64_t restart, bool in_step) {
  Journal& j = *d.journal;
  j.restart_in_step = in_step;
  j.trial = true;
  j.restart = restart;
  // The data after the damage may be another deployment's: their evidence starts afresh, but for
  // the range of the dive temperature, which holds for every tag and needs no calibration. (CTD
  // and accelerometer values are read with the calibration in force, which after a restart may
  // be another tag's until that tag's information record comes and has them read again.)
  const Evidence::Ranges ranges = d.evidence.ranges;
  d.evidence = Evidence{};
  d.evidence.ranges.steady_tdr_temperature = ranges.steady_tdr_temperature;
  d.evidence.ranges.wild_tdr_temperature = ranges.wild_tdr_temperature;
  j.trial_records = 0;
}

void end_stretch(Decoder& d, std::uint64_t last) {
  close_stretch(d, last);
  settle_all(d, last + 1);
}

void finish_journal(Decoder& d, std::uint64_t at) {
  Journal& j = *d.journal;
  if (j.trial) close_stretch(d, j.restart - 1);
  settle_all(d, at);
}

bool settle_at_end(Decoder& d, std::uint64_t at) {
  Journal& j = *d.journal;
  if (j.trial) {
    const bool trusted =
        at >= j.restart + kVerifyBytes || (j.trial_records >= 2 && (!j.after_end_code || j.restart_in_step));
    if (!trusted) return false;
    close_stretch(d, j.restart - 1);
    open_replay(d);
  }
  if (j.replay_open) {
    // As settle_all, but what is held stays held: data may follow an end-of-data code, and
    // another tag's information record in them.
    j.checkpoints.clear();
    set_state(j.checkpoints.push_slot(), d, at);
    return true;
  }
  settle_all(d, at);
  return true;
}

}  // namespace skelv
