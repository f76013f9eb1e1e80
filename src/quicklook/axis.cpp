#include "quicklook/axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "records/time_base.h"

namespace skelv::quicklook {
namespace {

constexpr double kDay = 86400.0;

// Year, month, day, hour, minute, second of whole seconds, via the shared date text.
struct Civil {
  int year, month, day, hour, minute, second;
};

Civil civil(double t) {
  char text[kTimeTextSize];
  format_seconds(static_cast<std::int64_t>(std::floor(t)), text);
  Civil c{};
  std::sscanf(text, "%d/%d/%d %d:%d:%d", &c.year, &c.month, &c.day, &c.hour, &c.minute, &c.second);
  return c;
}

void add_tick(Ticks& out, double value) {
  if (out.count == kMaxTicks) return;
  Tick& t = out.ticks[static_cast<std::size_t>(out.count++)];
  t = Tick{};
  t.value = value;
}

}  // namespace

void format_utc(double t, char* out) {
  format_seconds(static_cast<std::int64_t>(std::floor(t)), out);
  out[4] = '-';
  out[7] = '-';
}

void format_duration(double seconds, char* out) {
  if (!(seconds >= 0)) seconds = 0;
  seconds = std::min(seconds, 1e15);
  const auto total = static_cast<std::int64_t>(std::llround(seconds));
  const std::int64_t days = total / 86400;
  const int h = static_cast<int>(total / 3600 % 24), m = static_cast<int>(total / 60 % 60),
            s = static_cast<int>(total % 60);
  if (days > 0) {
    std::snprintf(out, 32, "%lld d %02d:%02d:%02d", static_cast<long long>(days), h, m, s);
  } else {
    std::snprintf(out, 32, "%02d:%02d:%02d", h, m, s);
  }
}

Ticks value_ticks(double lo, double hi, int target) {
  Ticks out;
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0;
  // Absurd values still get an axis whose width is a finite number.
  constexpr double kLimit = 1e150;
  lo = std::clamp(lo, -kLimit, kLimit);
  hi = std::clamp(hi, -kLimit, kLimit);
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo < 1e-9 * std::max(1.0, std::fabs(hi))) {
    const double pad = std::max(1.0, std::fabs(lo) * 0.05);
    lo -= pad;
    hi += pad;
  }
  if (target < 2) target = 2;
  const double raw = (hi - lo) / target;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10 * power;
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) {
      step = m * power;
      break;
    }
  }
  out.step = step;
  out.lo = std::floor(lo / step + 1e-9) * step;
  out.hi = std::ceil(hi / step - 1e-9) * step;
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  for (double v = out.lo; v <= out.hi + step * 1e-6 && out.count < kMaxTicks; v += step) {
    const double value = std::fabs(v) < step * 1e-6 ? 0.0 : v;
    add_tick(out, value);
    std::snprintf(out.ticks[static_cast<std::size_t>(out.count - 1)].label, sizeof(Tick::label),
                  "%.*f", decimals, value);
  }
  return out;
}

Ticks time_ticks(double t0, double t1, int target) {
  Ticks out;
  if (t1 < t0) std::swap(t0, t1);
  if (t1 - t0 < 1.0) {
    const double mid = (t0 + t1) / 2;
    t0 = mid - 0.5;
    t1 = mid + 0.5;
  }
  out.lo = t0;
  out.hi = t1;
  if (target < 2) target = 2;
  const double span = t1 - t0;
  // Steps within a day divide a day; longer ones are counted in days, months or years.
  static constexpr double kSteps[] = {0.1,  0.2,   0.5,   1,     2,     5,     10,    15,
                                      30,   60,    120,   300,   600,   900,   1800,  3600,
                                      7200, 10800, 21600, 43200, kDay,  2 * kDay, 7 * kDay, 14 * kDay};
  out.step = 0;
  for (double s : kSteps) {
    if (span / s <= target) {
      out.step = s;
      break;
    }
  }
  if (out.step > 0) {
    const double first = std::ceil(t0 / out.step - 1e-9) * out.step;
    for (int i = 0; out.count < kMaxTicks; ++i) {
      const double v = first + i * out.step;
      if (v > t1 + 1e-6) break;
      add_tick(out, v);
    }
  } else {
    // Months (1, 2, 3, 6) or years (1, 2, 5, 10, ...).
    int months = 0;
    for (int m : {1, 2, 3, 6}) {
      if (span / (m * 30.4375 * kDay) <= target) {
        months = m;
        break;
      }
    }
    if (months == 0) {
      // 1, 2, 5, 10, 20, 50, ... years: a file holds years 0 to 9999, so this ends.
      std::int64_t years = 0;
      for (std::int64_t power = 1; years == 0; power *= 10) {
        for (std::int64_t m : {1, 2, 5}) {
          if (span / (static_cast<double>(m * power) * 365.25 * kDay) <= target) {
            years = m * power;
            break;
          }
        }
      }
      months = static_cast<int>(12 * years);
    }
    out.step = months * 30.4375 * kDay;
    const Civil c = civil(t0);
    std::int64_t index = static_cast<std::int64_t>(c.year) * 12 + (c.month - 1);
    index = (index + months - 1) / months * months;
    for (;; index += months) {
      const double v = static_cast<double>(civil_to_seconds(index / 12, index % 12 + 1, 1, 0, 0, 0));
      if (v < t0 - 1e-6) continue;
      if (v > t1 + 1e-6 || out.count == kMaxTicks) break;
      add_tick(out, v);
    }
  }

  int last_day = -1;
  for (int i = 0; i < out.count; ++i) {
    Tick& tick = out.ticks[static_cast<std::size_t>(i)];
    // Sub-second ticks are sums of tenths that may fall a hair short of a whole second.
    const double v = out.step < 1 ? std::round(tick.value * 10) / 10 : tick.value;
    const Civil c = civil(v);
    if (out.step < 1) {
      const int tenths = static_cast<int>((std::llround(v * 10) % 10 + 10) % 10);
      std::snprintf(tick.label, sizeof tick.label, "%02d:%02d:%02d.%d", c.hour, c.minute, c.second, tenths);
    } else if (out.step < 60) {
      std::snprintf(tick.label, sizeof tick.label, "%02d:%02d:%02d", c.hour, c.minute, c.second);
    } else if (out.step < kDay) {
      std::snprintf(tick.label, sizeof tick.label, "%02d:%02d", c.hour, c.minute);
    } else if (out.step < 28 * kDay) {
      std::snprintf(tick.label, sizeof tick.label, "%04d-%02d-%02d", c.year, c.month, c.day);
    } else if (out.step < 365 * kDay) {
      std::snprintf(tick.label, sizeof tick.label, "%04d-%02d", c.year, c.month);
    } else {
      std::snprintf(tick.label, sizeof tick.label, "%04d", c.year);
    }
    // Times of day carry the date under the first tick and wherever the day changes.
    const int day = c.year * 400 + c.month * 32 + c.day;
    if (out.step < kDay && day != last_day) {
      std::snprintf(tick.date, sizeof tick.date, "%04d-%02d-%02d", c.year, c.month, c.day);
    }
    last_day = day;
  }
  return out;
}

}  // namespace skelv::quicklook
