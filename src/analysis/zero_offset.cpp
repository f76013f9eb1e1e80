#include "analysis/zero_offset.h"

#include <algorithm>
#include <cmath>

namespace skelv::analysis {
namespace {

constexpr std::int32_t kNoBin = -1;
constexpr std::size_t kFirstRing = 1024;
constexpr std::int32_t kBinMm = 10;  // the histogram counts centimetres

std::int32_t whole_mm(double metres) { return static_cast<std::int32_t>(std::lround(metres * 1000.0)); }

bool usable(const ZocSettings& s) {
  return s.median_samples >= 1 && s.median_samples <= kMaxZocMedian && s.median_samples % 2 == 1 &&
         s.window_h > 0 && s.window_h <= kMaxZocWindowHours && s.quantile_pct >= 0 && s.quantile_pct <= 100 &&
         s.band_m > 0 && s.band_m <= kMaxZocBand && std::isfinite(s.offset_m) && std::fabs(s.offset_m) < 1e6;
}

ZocEntry& at(ZeroOffset& z, std::uint64_t position) { return z.ring[position & (z.ring.size() - 1)]; }

void put(ZeroOffset& z, const CorrectedSample& item) {
  if (z.sink != nullptr) z.sink(z.context, item);
}

void hist_add(ZeroOffset& z, std::int32_t bin) {
  ++z.histogram[static_cast<std::size_t>(bin)];
  ++z.in_histogram;
  if (static_cast<std::size_t>(bin) < z.qbin) ++z.below;
}

void hist_remove(ZeroOffset& z, std::int32_t bin) {
  --z.histogram[static_cast<std::size_t>(bin)];
  --z.in_histogram;
  if (static_cast<std::size_t>(bin) < z.qbin) --z.below;
}

// The surface level now: the quantile of the histogram (the lower edge of its bin), or the last
// one found while the histogram is empty.
std::int32_t estimate(ZeroOffset& z) {
  if (z.in_histogram == 0) return z.has_estimate ? z.estimate_mm : 0;
  const auto rank = static_cast<std::uint64_t>(z.quantile * static_cast<double>(z.in_histogram - 1));
  while (z.below > rank) z.below -= z.histogram[--z.qbin];
  while (z.below + z.histogram[z.qbin] <= rank) z.below += z.histogram[z.qbin++];
  z.has_estimate = true;
  z.estimate_mm = static_cast<std::int32_t>(z.qbin) * kBinMm - z.band_mm;
  return z.estimate_mm;
}

// Hands out the entry at `out` with the histogram's window moved to it.
void emit_one(ZeroOffset& z) {
  const std::uint64_t position = z.out++;
  const ZocEntry& e = at(z, position);
  CorrectedSample item;
  item.kind = e.kind;
  item.index = z.index - (z.head - position);
  item.t_ms = e.t_ms;
  item.depth_mm = e.depth_mm;
  item.temp_centi = e.temp_centi;
  item.tag = e.tag;
  if (e.kind == ZocKind::kSample) {
    while (z.lead < z.filtered && at(z, z.lead).t_ms <= e.t_ms + z.half_ms) {
      const ZocEntry& in = at(z, z.lead++);
      if (in.bin != kNoBin) hist_add(z, in.bin);
    }
    while (z.tail < z.lead && at(z, z.tail).t_ms < e.t_ms - z.half_ms) {
      const ZocEntry& old = at(z, z.tail++);
      if (old.bin != kNoBin) hist_remove(z, old.bin);
    }
    item.offset_mm = estimate(z);
    item.corrected_mm = std::max(0, e.depth_mm - item.offset_mm);
  }
  put(z, item);
}

// Drops the oldest entry (already handed out) from the ring and, if it is there, the histogram.
void evict_one(ZeroOffset& z) {
  if (z.tail == z.lead) {
    ++z.lead;
  } else if (at(z, z.tail).bin != kNoBin) {
    hist_remove(z, at(z, z.tail).bin);
  }
  ++z.tail;
}

// Hands out every entry whose window has been read (all of them at the end of a stretch).
void release(ZeroOffset& z, bool stretch_end) {
  while (z.out < z.filtered) {
    const ZocEntry& e = at(z, z.out);
    if (!stretch_end && e.kind == ZocKind::kSample && z.filtered_ms < e.t_ms + z.half_ms) break;
    emit_one(z);
  }
}

// The spike filter's value for the used sample of order `order` in its stretch: the median of
// the used samples of orders first..last (the lower middle of an even count). Puts it into its
// entry's bin and marks everything up to that entry as filtered.
void filter_one(ZeroOffset& z, std::uint64_t order, std::uint64_t first, std::uint64_t last) {
  std::int32_t values[kMaxZocMedian];
  int n = 0;
  const auto k = static_cast<std::uint64_t>(z.settings.median_samples);
  for (std::uint64_t o = first; o <= last; ++o) {
    const std::int32_t v = at(z, z.recent[o % k]).depth_mm;
    int i = n++;
    for (; i > 0 && values[i - 1] > v; --i) values[i] = values[i - 1];
    values[i] = v;
  }
  const std::int32_t median = values[(n - 1) / 2];
  const std::uint64_t position = z.recent[order % k];
  ZocEntry& e = at(z, position);
  e.bin = median >= -z.band_mm && median <= z.band_mm ? (median + z.band_mm) / kBinMm : kNoBin;
  z.filtered = position + 1;
  z.filtered_ms = e.t_ms;
}

// The stretch ends: the last samples are filtered with what the stretch has, everything comes
// out, and the histogram empties for the next stretch.
void end_stretch(ZeroOffset& z) {
  const auto h = static_cast<std::uint64_t>(z.median_half);
  const std::uint64_t m = z.stretch_used;
  for (std::uint64_t p = m > h ? m - h : 0; p < m; ++p) filter_one(z, p, p > h ? p - h : 0, m - 1);
  z.filtered = z.head;
  release(z, true);
  while (z.tail < z.head) evict_one(z);
  z.lead = z.tail;
  z.stretch_used = 0;
}

void make_room(ZeroOffset& z) {
  if (z.head - z.tail < z.ring.size()) return;
  if (z.ring.size() < kMaxZocEntries) {
    std::vector<ZocEntry> bigger(z.ring.size() * 2);
    for (std::uint64_t p = z.tail; p < z.head; ++p) bigger[p & (bigger.size() - 1)] = at(z, p);
    z.ring.swap(bigger);
    return;
  }
  // A window of more samples than the ring holds: the stretch ends here.
  end_stretch(z);
}

}  // namespace

void zoc_reset(ZeroOffset& z, const ZocSettings& settings, CorrectedSink sink, void* context) {
  std::vector<ZocEntry> ring = std::move(z.ring);
  std::vector<std::uint32_t> histogram = std::move(z.histogram);
  z = ZeroOffset{};
  z.settings = usable(settings) ? settings : ZocSettings{settings.mode};
  z.sink = sink;
  z.context = context;
  z.fixed_mm = whole_mm(z.settings.offset_m);
  if (z.settings.mode != ZocMode::kAuto) return;
  z.half_ms = static_cast<std::int64_t>(std::llround(z.settings.window_h * 3600000.0 / 2));
  z.band_mm = whole_mm(z.settings.band_m) / kBinMm * kBinMm;
  z.median_half = (z.settings.median_samples - 1) / 2;
  z.quantile = z.settings.quantile_pct / 100.0;
  ring.assign(kFirstRing, ZocEntry{});
  z.ring = std::move(ring);
  histogram.assign(static_cast<std::size_t>(2 * z.band_mm / kBinMm + 1), 0);
  z.histogram = std::move(histogram);
}

void zoc_sample(ZeroOffset& z, bool valid, std::int64_t t_ms, std::int32_t depth_mm, std::int32_t temp_centi,
                std::uint32_t tag) {
  if (z.settings.mode != ZocMode::kAuto) {
    CorrectedSample item;
    item.kind = valid ? ZocKind::kSample : ZocKind::kInvalid;
    item.index = z.index++;
    item.t_ms = t_ms;
    item.depth_mm = depth_mm;
    item.temp_centi = temp_centi;
    item.tag = tag;
    item.offset_mm = z.settings.mode == ZocMode::kFixed ? z.fixed_mm : 0;
    item.corrected_mm = z.settings.mode == ZocMode::kFixed ? std::max(0, depth_mm - z.fixed_mm) : depth_mm;
    put(z, item);
    return;
  }
  bool used = false;
  if (valid) {
    // A temperature stream of a dry period starts at the time of the sample before it.
    z.dry_run = depth_mm == 0 && (z.dry_run || (z.has_any && t_ms <= z.any_ms));
    z.has_any = true;
    z.any_ms = t_ms;
    if (z.has_last) {
      const std::int64_t step = t_ms - z.last_ms;
      if (step <= 0 || (z.interval_ms > 0 && step > kGapIntervals * z.interval_ms)) {
        end_stretch(z);
        z.interval_ms = 0;
      } else {
        z.interval_ms = step;
      }
    }
    z.has_last = true;
    z.last_ms = t_ms;
    used = !z.dry_run;
  } else {
    // Keeps the ring's times in order.
    t_ms = z.head > z.tail ? at(z, z.head - 1).t_ms : 0;
  }
  make_room(z);
  // Counted once it is in the ring: what a stretch ending above hands out comes before it.
  ++z.index;
  const std::uint64_t position = z.head++;
  at(z, position) = ZocEntry{t_ms, depth_mm, temp_centi, tag, kNoBin, valid ? ZocKind::kSample : ZocKind::kInvalid, used};
  if (!used) {
    // With no used sample before it in the stretch, nothing holds it back.
    if (z.stretch_used == 0) {
      z.filtered = z.head;
      release(z, true);
    }
    return;
  }
  const auto k = static_cast<std::uint64_t>(z.settings.median_samples);
  const auto h = static_cast<std::uint64_t>(z.median_half);
  z.recent[z.stretch_used % k] = position;
  const std::uint64_t m = ++z.stretch_used;
  if (m <= h) return;
  const std::uint64_t p = m - 1 - h;
  filter_one(z, p, p > h ? p - h : 0, m - 1);
  release(z, false);
}

void zoc_break(ZeroOffset& z) {
  if (z.settings.mode == ZocMode::kAuto) {
    end_stretch(z);
    z.has_last = false;
    z.interval_ms = 0;
    z.dry_run = false;
  }
  CorrectedSample item;
  item.kind = ZocKind::kBreak;
  item.index = z.index;
  put(z, item);
}

void zoc_finish(ZeroOffset& z) {
  if (z.settings.mode == ZocMode::kAuto) end_stretch(z);
}

}  // namespace skelv::analysis
