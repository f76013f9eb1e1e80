// Items held back from the outputs until the decoding behind them is trusted (-recover only).
//
// A -recover run hands its items to a HeldOutput instead of the outputs themselves. Each item is
// copied, references and all, and waits; commit() passes the items before a mark on to the
// outputs in their order, drop() forgets the items from a mark on, as if they had never been
// decoded. Failures of the run are no data: they pass straight on and are never dropped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "records/items.h"

namespace skelv {

class HeldOutput final : public Output {
 public:
  explicit HeldOutput(const OutputList& outputs) : outputs_(outputs) {}

  void info(const InfoRecord& item) override;
  void dive_start(const DiveStart& item) override { items_.emplace_back(item); }
  void dry_start(const DryStart& item) override { items_.emplace_back(item); }
  void haulout(const Haulout& item) override { items_.emplace_back(item); }
  void dive_sample(const DiveSample& item) override;
  void ctd_cast(const CtdCast& item) override;
  void ctd_sample(const CtdSample& item) override;
  void gps(const GpsSnapshot& item) override;
  void acc_burst(const AccBurst& item) override { items_.emplace_back(item); }
  void acc_sample(const AccValues& item) override;
  void note(const Note& item) override;
  void failure(const Failure& item) override { emit(outputs_, &Output::failure, item); }
  void suspect(const SuspectRecord& item) override;

  // Items held so far, counted from the start of the run: a mark to commit or drop at.
  std::uint64_t mark() const { return first_ + (items_.size() - head_); }
  // Passes the items before `mark` on to the outputs.
  void commit(std::uint64_t mark);
  void commit_all() { commit(mark()); }
  // Forgets the items from `mark` on; marks before the last commit are taken as the last commit.
  void drop(std::uint64_t mark);
  // Writes `text` as an every-file note at `offset` in place of the item at `mark`, which was
  // reserved for it with reserve_note().
  std::uint64_t reserve_note(std::uint64_t offset);
  void fill_note(std::uint64_t mark, const char* text);

  // CTD samples held: the text output has not counted them yet.
  std::uint32_t ctd_samples() const { return ctd_samples_; }
  // The raw accelerometer samples of the first written-out block from `mark` on, up to `count` of
  // them: the pending block as it stood before it was written. Returns how many were found.
  int pending_block(std::uint64_t mark, AccSample* raw, std::uint32_t* burst, int count) const;

 private:
  struct HeldInfo {
    std::uint64_t offset;
    std::int32_t tag_version;
    Calibration calibration;
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
  struct HeldCtdSample {
    double time;
    std::uint32_t cast;
    CtdValues values;
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
  void pass_on(const Item& item);

  const OutputList& outputs_;
  std::vector<Item> items_;
  std::size_t head_ = 0;     // items_ before it are committed
  std::uint64_t first_ = 0;  // mark of items_[head_]
  std::shared_ptr<const CtdColumns> columns_;  // of the latest cast or sample held
  std::uint32_t ctd_samples_ = 0;
};

}  // namespace skelv
