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
  push() = HeldInfo{item.offset, item.tag_version, std::make_unique<const Calibration>(item.calibration)};
}

void HeldOutput::dive_sample(const DiveSample& item) {
  push() = HeldDiveSample{item.time, item.sample, item.flags, item.regime, item.wetdry, item.photo_channels};
}

void HeldOutput::ctd_cast(const CtdCast& item) {
  push() = HeldCast{item.offset, item.number, item.time, item.interval, item.surface_pressure, item.mask,
                    shared(item.columns)};
}

void HeldOutput::ctd_sample(const CtdSample& item) {
  push() = HeldCtdSample{item.time, item.cast, shared(item.columns)};
  ctd_values_.push_back(item.values);
}

void HeldOutput::gps(const GpsSnapshot& item) {
  HeldGps g{item.offset, {}, std::vector<std::uint8_t>(item.entries, item.entries + 3 * item.head[6])};
  std::memcpy(g.head, item.head, sizeof g.head);
  push() = std::move(g);
}

void HeldOutput::acc_sample(const AccValues& item) {
  push() = HeldAcc{item.time, item.x, item.y, item.z, item.raw, item.burst};
}

void HeldOutput::note(const Note& item) {
  push() = HeldText{HeldText::kNote, item.offset, item.text, item.scope};
}

void HeldOutput::suspect(const SuspectRecord& item) {
  push() = HeldText{HeldText::kSuspect, item.offset, item.reason, NoteScope::kEveryFile};
}

void HeldOutput::pass_on(const Item& item) {
  struct Visitor {
    const OutputList& out;
    HeldOutput& held;
    void operator()(const HeldInfo& i) const {
      emit(out, &Output::info, InfoRecord{i.offset, i.tag_version, *i.calibration});
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
      const CtdValues values = held.ctd_values_.front();
      held.ctd_values_.pop_front();
      emit(out, &Output::ctd_sample, CtdSample{i.time, i.cast, values, *i.columns});
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
  std::visit(Visitor{outputs_, *this}, item);
}

void HeldOutput::commit(std::uint64_t mark) {
  while (first_ < mark && !items_.empty()) {
    // An output may fail while it takes an item, and the failure passes straight on.
    pass_on(items_.front());
    items_.pop_front();
    ++first_;
  }
}

void HeldOutput::drop(std::uint64_t mark) {
  if (mark < first_) mark = first_;
  const std::size_t keep = static_cast<std::size_t>(mark - first_);
  for (std::size_t i = keep; i < items_.size(); ++i) {
    if (std::holds_alternative<HeldCtdSample>(items_[i])) ctd_values_.pop_back();
  }
  if (keep < items_.size()) items_.keep_front(keep);
}

std::uint64_t HeldOutput::reserve_note(std::uint64_t offset) {
  const std::uint64_t note = mark();
  push() = HeldText{HeldText::kNote, offset, std::string(), NoteScope::kEveryFile};
  return note;
}

void HeldOutput::fill_note(std::uint64_t mark, const char* text) {
  if (mark < first_) return;
  const std::size_t i = static_cast<std::size_t>(mark - first_);
  if (i < items_.size()) {
    if (auto* t = std::get_if<HeldText>(&items_[i])) t->text = text;
  }
}

}  // namespace skelv
