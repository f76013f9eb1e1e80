// Items held back from the outputs until the decoding behind them is trusted (-recover only).
//
// The text files take their items as they come and hold the lines back themselves
// (RetractableOutput): they wait in the files' buffers, where they can be taken back. Every other
// output gets its items through a HeldOutput: each item is copied, references and all, and
// waits; commit() passes the items before a mark on to the outputs in their order, drop() forgets
// the items from a mark on, as if they had never been decoded. Failures of the run are no data:
// they pass straight on and are never dropped.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "records/items.h"
#include "records/ring.h"

namespace skelv {

// An output that writes its items as they come and can take back what it wrote after a mark.
class RetractableOutput : public Output {
 public:
  // Where the output's files stood: their bytes and lines, and which of them had begun.
  struct Mark {
    std::array<std::uint64_t, 4> at{};
    std::array<std::uint32_t, 4> count{};
    std::uint8_t started = 0;  // bit i: file i had begun
  };
  virtual Mark mark() const = 0;
  // What was written before `m` is final: it may reach the files, which are created now if need be.
  virtual void release(const Mark& m) = 0;
  // Forgets what was written from `m` on, which lies after every release.
  virtual void take_back(const Mark& m) = 0;
  // Writes the every-file note `text` of input offset `offset` where `m` stands, in the files that
  // had begun there and are still open; `grown.at` gets the bytes added to each file.
  virtual void insert_note(const Mark& m, std::uint64_t offset, const char* text, Mark& grown) = 0;
};

class HeldOutput final : public Output {
 public:
  explicit HeldOutput(const OutputList& outputs) : outputs_(outputs) {}

  void info(const InfoRecord& item) override;
  void dive_start(const DiveStart& item) override { push() = item; }
  void dry_start(const DryStart& item) override { push() = item; }
  void haulout(const Haulout& item) override { push() = item; }
  void dive_sample(const DiveSample& item) override;
  void ctd_cast(const CtdCast& item) override;
  void ctd_sample(const CtdSample& item) override;
  void gps(const GpsSnapshot& item) override;
  void acc_burst(const AccBurst& item) override { push() = item; }
  void acc_sample(const AccValues& item) override;
  void note(const Note& item) override;
  void failure(const Failure& item) override { emit(outputs_, &Output::failure, item); }
  void suspect(const SuspectRecord& item) override;

  // Items held so far, counted from the start of the run: a mark to commit or drop at.
  std::uint64_t mark() const { return first_ + items_.size(); }
  // Passes the items before `mark` on to the outputs.
  void commit(std::uint64_t mark);
  void commit_all() { commit(mark()); }
  // Forgets the items from `mark` on; marks before the last commit are taken as the last commit.
  void drop(std::uint64_t mark);
  // Writes `text` as an every-file note at `offset` in place of the item at `mark`, which was
  // reserved for it with reserve_note().
  std::uint64_t reserve_note(std::uint64_t offset);
  void fill_note(std::uint64_t mark, const char* text);

 private:
  struct HeldInfo {
    std::uint64_t offset;
    std::int32_t tag_version;
    std::unique_ptr<const Calibration> calibration;  // rare and large: kept apart
  };
  struct HeldDiveSample {
    double time;
    TdrSample sample;
    unsigned flags;
    std::uint8_t regime, wetdry, photo_channels;
  };
  struct HeldCast {
    std::uint64_t offset;
    std::uint32_t number;
    double time;
    std::uint16_t interval;
    double surface_pressure;
    std::uint8_t mask;
    std::shared_ptr<const CtdColumns> columns;
  };
  // Its values wait in ctd_values_, in the same order: the items stay small.
  struct HeldCtdSample {
    double time;
    std::uint32_t cast;
    std::shared_ptr<const CtdColumns> columns;
  };
  struct HeldGps {
    std::uint64_t offset;
    std::uint8_t head[7];
    std::vector<std::uint8_t> entries;
  };
  struct HeldAcc {
    double time, x, y, z;
    AccSample raw;
    std::uint32_t burst;
  };
  struct HeldText {
    enum Kind : std::uint8_t { kNote, kSuspect } kind;
    std::uint64_t offset;
    std::string text;
    NoteScope scope;
  };
  using Item = std::variant<HeldInfo, DiveStart, DryStart, Haulout, HeldDiveSample, HeldCast, HeldCtdSample, HeldGps,
                            AccBurst, HeldAcc, HeldText>;

  std::shared_ptr<const CtdColumns> shared(const CtdColumns& columns);
  // The slot of a new item at the back (its old contents are replaced by assignment).
  Item& push() { return items_.push_slot(); }
  void pass_on(const Item& item);

  const OutputList& outputs_;
  static constexpr std::size_t kFirstRing = 1024;
  Ring<Item> items_{kFirstRing};  // the items held, first to last
  std::uint64_t first_ = 0;       // mark of the first item held
  std::shared_ptr<const CtdColumns> columns_;  // of the latest cast or sample held
  // The values of the CTD samples held, first to last.
  Ring<CtdValues> ctd_values_{kFirstRing};
};

}  // namespace skelv
