#include "analysis/zero_offset.h"

#include <algorithm>
#include <cmath>

namespace skelv::analysis {
namespace {

constexpr std::size_t kFirstRing = 1024;
constexpr std::int32_t kBinMm = 10;  // the histogram counts centimetres
constexpr std::uint64_t kRecentMask = ZeroOffset::kRecent - 1;

std::int32_t whole_mm(double metres) { return static_cast<std::int32_t>(std::lround(metres * 1000.0)); }

bool usable(const ZocSettings& s) {
  return s.median_samples >= 1 && s.median_samples <= kMaxZocMedian && s.median_samples % 2 == 1 &&
         s.window_h > 0 && s.window_h <= kMaxZocWindowHours && s.quantile_pct >= 0 && s.quantile_pct <= 100 &&
         s.band_m > 0 && s.band_m <= kMaxZocBand && std::isfinite(s.offset_m) && std::fabs(s.offset_m) < 1e6;
}

inline ZocEntry& at(ZeroOffset& z, std::uint64_t position) { return z.entries[position & z.mask]; }
inline ZocBand& band_at(ZeroOffset& z, std::uint64_t position) { return z.bands[position & z.band_mask]; }

// Doubles a ring's size, keeping the entries from `from` to `to` at their positions.
template <class T>
void grow(std::vector<T>& ring, T*& data, std::uint64_t& mask, std::uint64_t from, std::uint64_t to) {
  std::vector<T> bigger(ring.size() * 2);
  for (std::uint64_t p = from; p < to; ++p) bigger[p & (bigger.size() - 1)] = ring[p & mask];
  ring.swap(bigger);
  data = ring.data();
  mask = ring.size() - 1;
}

void put(ZeroOffset& z, const CorrectedSample& item) {
  if (z.sink != nullptr) z.sink(z.context, item);
  if (z.detector == nullptr) return;
  if (item.kind == ZocKind::kSample) {
    detector_take(*z.detector, DiveSample{item.t_ms, item.corrected_mm, item.temp_centi});
  } else if (item.kind == ZocKind::kBreak) {
    detector_cut(*z.detector);
  }
}

void hist_add(ZeroOffset& z, std::int32_t bin) {
  ++z.histogram[static_cast<std::size_t>(bin)];
  ++z.in_histogram;
  if (static_cast<std::size_t>(bin) < z.qbin) ++z.below;
  z.stale = true;
}

void hist_remove(ZeroOffset& z, std::int32_t bin) {
  --z.histogram[static_cast<std::size_t>(bin)];
  --z.in_histogram;
  if (static_cast<std::size_t>(bin) < z.qbin) --z.below;
  z.stale = true;
}

// The surface level now: the quantile of the histogram (the lower edge of its bin), or the last
// one found while the histogram is empty.
std::int32_t estimate(ZeroOffset& z) {
  if (!z.stale || z.in_histogram == 0) return z.has_estimate ? z.estimate_mm : 0;
  const auto rank = static_cast<std::uint64_t>(z.quantile * static_cast<double>(z.in_histogram - 1));
  while (z.below > rank) z.below -= z.histogram[--z.qbin];
  while (z.below + z.histogram[z.qbin] <= rank) z.below += z.histogram[z.qbin++];
  z.stale = false;
  z.has_estimate = true;
  z.estimate_mm = static_cast<std::int32_t>(z.qbin) * kBinMm - z.band_mm;
  return z.estimate_mm;
}

// Hands out the item at `position` that is no sample to correct: a sample no line can show, or
// one of a dry period's stream (its depth stays 0).
[[gnu::noinline]] void emit_other(ZeroOffset& z, std::uint64_t position) {
  const ZocEntry& e = at(z, position);
  CorrectedSample item;
  item.kind = e.kind;
  item.index = position;
  item.t_ms = e.t_ms;
  item.depth_mm = e.depth_mm;
  item.temp_centi = e.temp_centi;
  item.tag = e.tag;
  item.dry = e.dry;
  put(z, item);
}

// Hands out the sample at `out` with the histogram's window moved to it.
void emit_one(ZeroOffset& z) {
  const std::uint64_t position = z.out++;
  const ZocEntry& e = at(z, position);
  if (e.kind != ZocKind::kSample || e.dry) {
    emit_other(z, position);
    return;
  }
  const std::int64_t hi = e.t_ms + z.half_ms, lo = e.t_ms - z.half_ms;
  for (; z.band_lead < z.band_head && band_at(z, z.band_lead).t_ms <= hi; ++z.band_lead) {
    hist_add(z, band_at(z, z.band_lead).bin);
  }
  for (; z.band_tail < z.band_lead && band_at(z, z.band_tail).t_ms < lo; ++z.band_tail) {
    hist_remove(z, band_at(z, z.band_tail).bin);
  }
  const std::int32_t level = estimate(z);
  const std::int32_t corrected = std::max(0, e.depth_mm - level);
  if (z.sink != nullptr) {
    CorrectedSample item;
    item.index = position;  // one ring position per sample, from 0
    item.t_ms = e.t_ms;
    item.depth_mm = e.depth_mm;
    item.offset_mm = level;
    item.corrected_mm = corrected;
    item.temp_centi = e.temp_centi;
    item.tag = e.tag;
    z.sink(z.context, item);
  }
  if (z.detector != nullptr) detector_take(*z.detector, DiveSample{e.t_ms, corrected, e.temp_centi});
}

// Hands out every sample whose window has been read (all of them at the end of a stretch), and
// notes when the next one will be.
[[gnu::noinline]] void release(ZeroOffset& z, bool stretch_end) {
  z.due_ms = INT64_MAX;
  while (z.out < z.filtered) {
    const ZocEntry& e = at(z, z.out);
    if (!stretch_end && e.kind == ZocKind::kSample && z.filtered_ms < e.t_ms + z.half_ms) {
      z.due_ms = e.t_ms + z.half_ms;
      return;
    }
    emit_one(z);
  }
  // Nothing filtered waits: the next sample filtered may be due at once.
  z.due_ms = INT64_MIN;
}

void order2(std::int32_t& a, std::int32_t& b) {
  const std::int32_t lo = std::min(a, b);
  b = std::max(a, b);
  a = lo;
}

// The median of the used samples of orders first..last (the lower middle of an even count). Five
// and three samples, the usual windows, go through networks of comparisons without branches: a
// noisy record would defeat the branch prediction of a sort.
std::int32_t median_of(const ZeroOffset& z, std::uint64_t first, std::uint64_t last) {
  const std::int32_t* d = z.recent_depth;
  if (last - first == 4) {
    std::int32_t p[5] = {d[first & kRecentMask], d[(first + 1) & kRecentMask], d[(first + 2) & kRecentMask],
                         d[(first + 3) & kRecentMask], d[(first + 4) & kRecentMask]};
    order2(p[0], p[1]);
    order2(p[3], p[4]);
    order2(p[0], p[3]);
    order2(p[1], p[4]);
    order2(p[1], p[2]);
    order2(p[2], p[3]);
    order2(p[1], p[2]);
    return p[2];
  }
  if (last - first == 2) {
    const std::int32_t a = d[first & kRecentMask], b = d[(first + 1) & kRecentMask], c = d[(first + 2) & kRecentMask];
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
  }
  std::int32_t values[kMaxZocMedian];
  int n = 0;
  for (std::uint64_t o = first; o <= last; ++o) {
    const std::int32_t v = d[o & kRecentMask];
    int i = n++;
    for (; i > 0 && values[i - 1] > v; --i) values[i] = values[i - 1];
    values[i] = v;
  }
  return values[(n - 1) / 2];
}

// The spike filter's value for the used sample of order `order` in its stretch: the median of
// the used samples of orders first..last. Within the band it joins the filtered depths; the
// samples up to it are filtered.
void filter_one(ZeroOffset& z, std::uint64_t order, std::uint64_t first, std::uint64_t last) {
  const std::uint64_t position = z.recent[order & kRecentMask];
  const std::int64_t t = at(z, position).t_ms;
  z.filtered = position + 1;
  z.filtered_ms = t;
  const std::int32_t median = median_of(z, first, last);
  if (median < -z.band_mm || median > z.band_mm) return;
  if (z.band_head - z.band_tail > z.band_mask) {
    if (z.band.size() < 2 * kMaxZocEntries) {
      grow(z.band, z.bands, z.band_mask, z.band_tail, z.band_head);
    } else {
      // Full: the window loses its oldest filtered depth.
      if (z.band_tail == z.band_lead) {
        ++z.band_lead;
      } else {
        hist_remove(z, band_at(z, z.band_tail).bin);
      }
      ++z.band_tail;
    }
  }
  band_at(z, z.band_head++) = ZocBand{t, (median + z.band_mm) / kBinMm};
}

// The stretch ends: the last samples are filtered with what the stretch has, everything comes
// out, and the histogram empties for the next stretch.
void end_stretch(ZeroOffset& z) {
  const std::uint64_t h = z.median_half;
  const std::uint64_t m = z.stretch_used;
  for (std::uint64_t p = m > h ? m - h : 0; p < m; ++p) filter_one(z, p, p > h ? p - h : 0, m - 1);
  z.filtered = z.head;
  release(z, true);
  for (; z.band_tail < z.band_lead; ++z.band_tail) hist_remove(z, band_at(z, z.band_tail).bin);
  z.band_tail = z.band_lead = z.band_head;
  z.stretch_used = 0;
  z.deep_run = 0;
}

// A step that is a gap or goes back: the stretch ends before the sample.
[[gnu::noinline]] void gap(ZeroOffset& z) {
  end_stretch(z);
  z.interval_ms = 0;
}

[[gnu::noinline]] void make_room(ZeroOffset& z) {
  if (z.ring.size() < kMaxZocEntries) {
    grow(z.ring, z.entries, z.mask, z.out, z.head);
  } else {
    // A window of more samples than the ring holds: the stretch ends here.
    end_stretch(z);
  }
}

// A sample without the estimate (at once), or one that takes no part in it: a sample no line can
// show, or one of a dry period's stream.
[[gnu::noinline]] void take_now_or_unused(ZeroOffset& z, bool valid, std::int64_t t_ms, std::int32_t depth_mm,
                                          std::int32_t temp_centi, std::uint32_t tag) {
  const ZocKind kind = valid ? ZocKind::kSample : ZocKind::kInvalid;
  if (z.settings.mode != ZocMode::kAuto) {
    if (valid) {
      z.dry_run = depth_mm == 0 && (z.dry_run || (z.has_any && t_ms <= z.any_ms));
      z.has_any = true;
      z.any_ms = t_ms;
    }
    CorrectedSample item;
    item.kind = kind;
    item.dry = valid && z.dry_run;
    item.index = z.head++;
    item.t_ms = t_ms;
    item.depth_mm = depth_mm;
    item.temp_centi = temp_centi;
    item.tag = tag;
    item.offset_mm = z.settings.mode == ZocMode::kFixed ? z.fixed_mm : 0;
    item.corrected_mm = z.settings.mode == ZocMode::kFixed ? std::max(0, depth_mm - z.fixed_mm) : depth_mm;
    put(z, item);
    return;
  }
  if (z.head - z.out > z.mask) make_room(z);
  at(z, z.head++) = ZocEntry{t_ms, depth_mm, temp_centi, tag, kind, valid && z.dry_run};
  // With no used sample before it in the stretch, nothing holds it back.
  if (z.stretch_used == 0) {
    z.filtered = z.head;
    release(z, true);
  }
}

}  // namespace

void zoc_reset(ZeroOffset& z, const ZocSettings& settings, CorrectedSink sink, void* context, DiveDetector* detector) {
  std::vector<ZocEntry> ring = std::move(z.ring);
  std::vector<ZocBand> band = std::move(z.band);
  std::vector<std::uint32_t> histogram = std::move(z.histogram);
  z = ZeroOffset{};
  z.settings = usable(settings) ? settings : ZocSettings{settings.mode};
  z.sink = sink;
  z.context = context;
  z.detector = detector;
  z.fixed_mm = whole_mm(z.settings.offset_m);
  if (z.settings.mode != ZocMode::kAuto) return;
  z.half_ms = static_cast<std::int64_t>(std::llround(z.settings.window_h * 3600000.0 / 2));
  z.band_mm = whole_mm(z.settings.band_m) / kBinMm * kBinMm;
  z.median = static_cast<std::uint64_t>(z.settings.median_samples);
  z.median_half = (z.median - 1) / 2;
  z.quantile = z.settings.quantile_pct / 100.0;
  ring.assign(kFirstRing, ZocEntry{});
  z.ring = std::move(ring);
  z.entries = z.ring.data();
  z.mask = z.ring.size() - 1;
  band.assign(kFirstRing, ZocBand{});
  z.band = std::move(band);
  z.bands = z.band.data();
  z.band_mask = z.band.size() - 1;
  histogram.assign(static_cast<std::size_t>(2 * z.band_mm / kBinMm + 1), 0);
  z.histogram = std::move(histogram);
}

void zoc_sample(ZeroOffset& z, bool valid, std::int64_t t_ms, std::int32_t depth_mm, std::int32_t temp_centi,
                std::uint32_t tag) {
  if (z.settings.mode != ZocMode::kAuto || !valid) {
    take_now_or_unused(z, valid, t_ms, depth_mm, temp_centi, tag);
    return;
  }
  // A temperature stream of a dry period starts at the time of the sample before it.
  z.dry_run = depth_mm == 0 && (z.dry_run || (z.has_any && t_ms <= z.any_ms));
  z.has_any = true;
  z.any_ms = t_ms;
  if (z.has_last) {
    const std::int64_t step = t_ms - z.last_ms;
    if (step <= 0 || (z.interval_ms > 0 && step > kGapIntervals * z.interval_ms)) {
      gap(z);
    } else {
      z.interval_ms = step;
    }
  }
  z.has_last = true;
  z.last_ms = t_ms;
  if (z.dry_run) {
    take_now_or_unused(z, true, t_ms, depth_mm, temp_centi, tag);
    return;
  }
  if (z.head - z.out > z.mask) make_room(z);
  const std::uint64_t position = z.head++;
  at(z, position) = ZocEntry{t_ms, depth_mm, temp_centi, tag, ZocKind::kSample, false};
  const std::uint64_t order = z.stretch_used++;
  z.recent[order & kRecentMask] = position;
  z.recent_depth[order & kRecentMask] = depth_mm;
  z.deep_run = depth_mm > z.band_mm ? z.deep_run + 1 : 0;
  const std::uint64_t h = z.median_half;
  if (order < h) return;
  const std::uint64_t p = order - h;
  if (z.deep_run >= z.median) {
    // The whole window lies above the band, and so does its median (the common case: the
    // samples of dives).
    z.filtered = z.recent[p & kRecentMask] + 1;
    z.filtered_ms = at(z, z.filtered - 1).t_ms;
  } else {
    filter_one(z, p, p > h ? p - h : 0, order);
  }
  if (z.filtered_ms >= z.due_ms) release(z, false);
}

void zoc_break(ZeroOffset& z) {
  if (z.settings.mode == ZocMode::kAuto) {
    end_stretch(z);
    z.has_last = false;
    z.interval_ms = 0;
  }
  z.dry_run = false;
  CorrectedSample item;
  item.kind = ZocKind::kBreak;
  item.index = z.head;
  put(z, item);
}

void zoc_finish(ZeroOffset& z) {
  if (z.settings.mode == ZocMode::kAuto) end_stretch(z);
}

}  // namespace skelv::analysis
