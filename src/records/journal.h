// What a -recover run keeps so that damage can be taken back: checkpoints of the decoding state
// at record starts (and every so many samples of a long stream), and the items decoded since,
// held back from the outputs: the text files' lines wait in the files' own buffers, the other
// outputs' items in a HeldOutput.
//
// Items pass on to the outputs once the decoding has gone kSettleBytes past a later checkpoint
// without damage. Damage rolls the decoding back to a checkpoint before it: the items decoded
// since are dropped and the calibration, clocks, wet/dry state, CTD lag state and pending
// accelerometer block are as they were there, so nothing read from the damage reaches any output.
// A restart after damage is on trial: its items wait until it has gone kVerifyBytes without
// damage, or reached a further record after a dive or CTD start in step with the dive clock (or
// the end of the data after a further record); damage before that takes the restart back too and
// the damaged stretch grows over it. Once trusted, a restart's data may still be another tag's:
// an information record of another tag version soon after it has them read again (replay()).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "accel/acc_sample.h"
#include "ctd/ctd_state.h"
#include "dive/tdr_sample.h"
#include "records/damage.h"
#include "records/deployment.h"
#include "records/events.h"
#include "records/held.h"
#include "records/ring.h"

namespace skelv {

struct Decoder;

inline constexpr std::uint64_t kSettleBytes = 4096;  // input after a checkpoint that makes what came before it final
inline constexpr std::uint64_t kVerifyBytes = 1024;  // input a restart decodes without damage to be trusted
inline constexpr std::uint32_t kStreamCheckpointSamples = 256;  // samples of a stream between checkpoints
inline constexpr std::uint64_t kReplayBytes = 512 * 1024;  // input after a restart read again with another tag's version

struct Checkpoint {
  std::uint64_t offset = 0;  // input offset of a record's code byte or of a sample's first byte
  std::uint64_t mark = 0;    // held items before it
  Deployment deployment;
  CtdState ctd;
  int acc_pending_count = 0;
  double acc_block_start = 0.0;
  double acc_last_end = 0.0;
  CutBurst acc_cut;
  std::uint32_t acc_bursts = 0;
  std::uint64_t acc_blocks = 0;
  int info_size = -1;
  Evidence evidence;
  std::uint64_t notes = 0;
  RetractableOutput::Mark text;  // where the text files stood
  bool doubtful = false;  // the record starting here looked implausible on its own bytes
};

// An accelerometer block as it was written out, kept while a checkpoint before it may need the
// samples it held then.
struct WrittenBlock {
  std::uint64_t number = 0;  // the blocks written before it
  std::vector<AccSample> raw;
  std::vector<std::uint32_t> burst;
};

// The sample in progress of a dive stream that damage ended: its line is written after all if
// the sample was read before the checkpoint the damage rolls back to.
struct ClosingSample {
  std::uint64_t read_at = 0;  // its first byte
  TdrSample sample;
  unsigned flags = 0;
};

struct Journal {
  // `direct`: the output that takes its items as they come and takes back itself; `outputs`: the
  // ones whose items are held.
  Journal(RetractableOutput& direct_output, const OutputList& outputs) : direct(direct_output), held(outputs) {}
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  RetractableOutput& direct;
  HeldOutput held;
  Ring<WrittenBlock> blocks;  // accelerometer blocks written since the oldest checkpoint
  Ring<Checkpoint> checkpoints;
  std::vector<ClosingSample> closing;  // of the streams that damage ended, innermost first
  std::vector<ClosingSample> base_closing;  // those written after the stretch's checkpoint

  // The damaged stretch being skipped, while its restart is on trial.
  bool trial = false;
  Checkpoint base;                   // where the stretch's damage was rolled back to
  std::uint64_t stretch_first = 0;   // first byte of the stretch
  std::uint64_t restart = 0;         // offset the trial decodes from
  std::uint64_t note_mark = 0;       // the stretch's note, held in front of the trial's items
  RetractableOutput::Mark note_text;  // where the note goes in the text files
  std::size_t note_checkpoints = 0;   // checkpoints taken before the note's place
  std::uint64_t trial_records = 0;   // record starts the trial has decoded
  bool after_end_code = false;       // the stretch began at an end-of-data code
  bool restart_in_step = false;      // the restart is a dive or CTD start in step with the dive clock
  int skipped_wetdry = -1;           // the last wet/dry state (0 or 1) in the bytes skipped; -1: none
  // Record starts that a stream decoded as samples are looked for only past the damage that was
  // last looked behind: every byte is looked at again once at most.
  std::uint64_t eaten_floor = 0;
  char reason[64] = {};

  // After a restart the data may be another tag's, decoded with this tag's version until that
  // tag's information record comes. Until then (within kReplayBytes) nothing after the restart
  // passes on; an information record of another tag version has the data since the restart
  // read again with it.
  bool replay_open = false;
  // The window opened at a well-formed record that only the evidence contradicted (another
  // tag's data may begin there), not at a restart: damage that takes the record back closes it,
  // and an information record read on a restart's trial does not ask.
  bool replay_from_doubt = false;
  bool replay_pending = false;  // such a record came; it must hold for kVerifyBytes as a restart must
  std::uint64_t replay_at = 0;  // its offset
  // Only a record past the one that had the data read last can ask again: every reading again
  // goes back before its record, so this bounds them by the records in the input.
  std::uint64_t replay_floor = 0;
  // The record the data were last read again from: read again, it no longer opens a window (each
  // further record of the tag they were read with would have them read again, each time the same).
  std::optional<std::uint64_t> replayed_base;
  std::uint32_t replay_records = 0;  // record starts decoded after it
  bool replay_wanted = false;   // it held: the decoding unwinds to read again
  Checkpoint replay_base;      // at the restart
  bool replay_steady = false;  // before the damage, the information records were all alike:
  Calibration replay_calibration;  // theirs
  // Further stretches met within the window are read again too (another tag's data read with
  // this tag's version often look damaged): the run's account of damage at the restart.
  DamageMark replay_damage;
  std::array<std::uint8_t, 255> replay_info{};
  std::uint8_t replay_info_size = 0;
};

// A checkpoint at `offset` (a record start when `record`); passes on what lies far enough
// behind it, and ends the trial of a restart that has gone far enough.
void take_checkpoint(Decoder& d, std::uint64_t offset, bool record);

// An information record at `at` of `size` bytes has just been decoded: when it is of another tag
// version than the one at the restart, and it holds for kVerifyBytes (damage before that takes it
// back), the data since the restart are read again with it: a later checkpoint halts the input,
// the decoding unwinds to the driver, which calls replay().
void want_replay(Decoder& d, std::uint64_t at, const std::uint8_t* block, std::uint8_t size);
// The end of the data: an information record waiting to hold has held when a record was decoded
// after it, as a restart would have; true when the data are then to be read again (replay()).
bool replay_at_end(Decoder& d);
// Reads the data since the restart again with the information record that asked for it: the
// decoding state goes back to the restart with that record's version and calibration, and the
// input to the restart, whose code byte goes into `code`. False when the input can't be read again.
bool replay(Decoder& d, std::uint8_t& code);

// A CTD profile ends with its own end code. A restart at a dive or CTD start in step with the
// dive clock that decoded a profile to its end holds: the restart is trusted. (A profile within a
// dive ends before the dive's samples go on, which a restart at the profile can't read: they are
// damage to it. A profile within the restart's own record came after a further record start,
// which trusted it already.)
void profile_ended(Decoder& d);

// The pending accelerometer block is being written out: kept while a checkpoint may need it.
void keep_block(Journal& j, const AccState& acc);

// The record whose code byte was the latest checkpoint is well formed but contradicts the
// evidence (`evidence`, gathered before it): it may open another tag's data, so the window of
// reading again opens at it unless one is open (see Journal::replay_from_doubt).
void open_foreign_window(Decoder& d, const Evidence& evidence);

// The record whose code byte was the latest checkpoint looks implausible on its own bytes: should
// damage show within `kJudgedBytes` after it, it is taken for part of the damage.
void doubt_record(Decoder& d);
inline constexpr std::uint64_t kJudgedBytes = 4096;

// Damage at `damage_at`: drops the items decoded since the checkpoint before it, or before the
// earliest doubtful record within kJudgedBytes of it (within a trial: since the stretch's own
// checkpoint), and sets the decoding state back to that checkpoint. Every stream counts as closed.
// `end_code`: the damage is data after an end-of-data code.
void roll_back(Decoder& d, std::uint64_t damage_at, const char* reason, bool end_code);
// The stretch ends before `restart`: its restart goes on trial. `in_step`: the restart is a dive
// or CTD start in step with the dive clock.
void try_restart(Decoder& d, std::uint64_t restart, bool in_step);
// The stretch reaches to `last`, the end of the input: nothing after it is decoded.
void end_stretch(Decoder& d, std::uint64_t last);
// The run reached the end of the data: a restart on trial is trusted when it decoded a record
// after its own; after an end-of-data code (memory that was not erased may hold anything) only
// when it was in step with the dive clock as well, or went kVerifyBytes. False when it is not:
// the caller takes it for damage. Everything held passes on when true.
bool settle_at_end(Decoder& d, std::uint64_t at);
// The run ends (after a read error, or once the last accelerometer block is out): everything
// held passes on.
void finish_journal(Decoder& d, std::uint64_t at);

}  // namespace skelv
