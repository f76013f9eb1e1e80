#include "records/held.h"

#include <cstring>

namespace skelv {

std::shared_ptr<const CtdColumns> HeldOutput::shared(const CtdColumns& columns) {
  // The samples of a cast share its columns.
  if (!columns_ || std::memcmp(columns_.get(), &columns, sizeof columns) != 0) {
    columns_ = std::make_shared<const CtdColumns>(columns);
  }
  return columns_;
}

void HeldOutput::info(const InfoRecord& item) {
  items_.emplace_back(HeldInfo{item.offset, item.tag_version, item.calibration});
}

void HeldOutput::dive_sample(const DiveSample& item) {
  items_.emplace_back(
      HeldDiveSample{item.time, item.sample, item.flags, item.regime, item.wetdry, item.photo_channels});
}

void HeldOutput::ctd_cast(const CtdCast& item) {
  items_.emplace_back(HeldCast{item.offset, item.number, item.time, item.interval, item.surface_pressure, item.mask,
                               shared(item.columns)});
}

void HeldOutput::ctd_sample(const CtdSample& item) {
  items_.emplace_back(HeldCtdSample{item.time, item.cast, item.values, shared(item.columns)});
  ++ctd_samples_;
}

void HeldOutput::gps(const GpsSnapshot& item) {
  HeldGps g{item.offset, {}, std::vector<std::uint8_t>(item.entries, item.entries + 3 * item.head[6])};
  std::memcpy(g.head, item.head, sizeof g.head);
  items_.emplace_back(std::move(g));
}

void HeldOutput::acc_sample(const AccValues& item) {
  items_.emplace_back(HeldAcc{item.time, item.x, item.y, item.z, item.raw, item.burst});
}

void HeldOutput::note(const Note& item) {
  items_.emplace_back(HeldText{HeldText::kNote, item.offset, item.text, item.scope});
}

void HeldOutput::suspect(const SuspectRecord& item) {
  items_.emplace_back(HeldText{HeldText::kSuspect, item.offset, item.reason, NoteScope::kEveryFile});
}

void HeldOutput::pass_on(const Item& item) {
  struct Visitor {
    const OutputList& out;
    std::uint32_t& ctd_samples;
    void operator()(const HeldInfo& i) const {
      emit(out, &Output::info, InfoRecord{i.offset, i.tag_version, i.calibration});
    }
    void operator()(const DiveStart& i) const { emit(out, &Output::dive_start, i); }
    void operator()(const DryStart& i) const { emit(out, &Output::dry_start, i); }
    void operator()(const Haulout& i) const { emit(out, &Output::haulout, i); }
    void operator()(const HeldDiveSample& i) const {
      emit(out, &Output::dive_sample, DiveSample{i.time, i.sample, i.flags, i.regime, i.wetdry, i.photo_channels});
    }
    void operator()(const HeldCast& i) const {
      emit(out, &Output::ctd_cast,
           CtdCast{i.offset, i.number, i.time, i.interval, i.surface_pressure, i.mask, *i.columns});
    }
    void operator()(const HeldCtdSample& i) const {
      --ctd_samples;
      emit(out, &Output::ctd_sample, CtdSample{i.time, i.cast, i.values, *i.columns});
    }
    void operator()(const HeldGps& i) const {
      emit(out, &Output::gps, GpsSnapshot{i.offset, i.head, i.entries.data()});
    }
    void operator()(const AccBurst& i) const { emit(out, &Output::acc_burst, i); }
    void operator()(const HeldAcc& i) const {
      emit(out, &Output::acc_sample, AccValues{i.time, i.x, i.y, i.z, i.raw, i.burst});
    }
    void operator()(const HeldText& i) const {
      if (i.text.empty()) return;  // a note reserved for a stretch that came to nothing
      if (i.kind == HeldText::kNote) {
        emit(out, &Output::note, Note{i.offset, i.text.c_str(), i.scope});
      } else {
        emit(out, &Output::suspect, SuspectRecord{i.offset, i.text.c_str()});
      }
    }
  };
  std::visit(Visitor{outputs_, ctd_samples_}, item);
}

void HeldOutput::commit(std::uint64_t mark) {
  while (first_ < mark && head_ < items_.size()) {
    // An output may fail while it takes an item, and the failure passes straight on.
    pass_on(items_[head_]);
    ++head_;
    ++first_;
  }
  if (head_ == items_.size()) {
    items_.clear();
    head_ = 0;
  } else if (head_ > 4096 && head_ * 2 > items_.size()) {
    items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

void HeldOutput::drop(std::uint64_t mark) {
  if (mark < first_) mark = first_;
  const std::size_t keep = head_ + static_cast<std::size_t>(mark - first_);
  for (std::size_t i = keep; i < items_.size(); ++i) {
    if (std::holds_alternative<HeldCtdSample>(items_[i])) --ctd_samples_;
  }
  if (keep < items_.size()) items_.resize(keep);
}

std::uint64_t HeldOutput::reserve_note(std::uint64_t offset) {
  const std::uint64_t at = mark();
  items_.emplace_back(HeldText{HeldText::kNote, offset, std::string(), NoteScope::kEveryFile});
  return at;
}

void HeldOutput::fill_note(std::uint64_t mark, const char* text) {
  if (mark < first_) return;
  const std::size_t i = head_ + static_cast<std::size_t>(mark - first_);
  if (i < items_.size()) {
    if (auto* t = std::get_if<HeldText>(&items_[i])) t->text = text;
  }
}

int HeldOutput::pending_block(std::uint64_t mark, AccSample* raw, std::uint32_t* burst, int count) const {
  if (mark < first_) return 0;
  std::size_t i = head_ + static_cast<std::size_t>(mark - first_);
  while (i < items_.size() && !std::holds_alternative<HeldAcc>(items_[i])) ++i;
  int n = 0;
  for (; n < count && i < items_.size(); ++i, ++n) {
    const auto* a = std::get_if<HeldAcc>(&items_[i]);
    if (a == nullptr) break;
    raw[n] = a->raw;
    burst[n] = a->burst;
  }
  return n;
}

}  // namespace skelv
