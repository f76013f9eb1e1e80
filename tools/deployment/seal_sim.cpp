#include "deployment/seal_sim.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "encoder/image_builder.h"

namespace skelv::sim {
namespace {

using test::ImageBuilder;
using test::TagTime;

constexpr double kDay = 86400.0;
constexpr double kPi = 3.14159265358979323846;
constexpr int kDryInterval = 60;  // seconds between temperature samples of a haul-out
constexpr double kMinDiveDepth = 8.0;

TagTime tag_time(double seconds) {
  // Civil date of a day count (proleptic Gregorian, eras of 400 years).
  const auto secs = static_cast<std::int64_t>(std::floor(seconds));
  const std::int64_t days = secs / 86400, sod = secs % 86400;
  const std::int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  TagTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
  t.hour = static_cast<int>(sod / 3600);
  t.minute = static_cast<int>(sod / 60 % 60);
  t.second = static_cast<int>(sod % 60);
  return t;
}

struct Rng {
  std::mt19937_64 g;
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(g); }
  double normal(double mean, double sd) { return std::normal_distribution<double>(mean, sd)(g); }
  bool chance(double p) { return uniform(0, 1) < p; }
  int integer(int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); }
};

// One dive: down at a steady rate, a bottom phase with small excursions (none for a V), up.
struct Dive {
  double t0 = 0;  // leaves the surface
  double depth = 0, descent = 1, ascent = 1, bottom = 0;
  double wiggle = 0, period = 30;
  char shape = 'U';
  bool cast = false;  // a CTD cast on its ascent
  double bottom_start() const { return depth / descent; }
  double bottom_end_depth() const { return depth + wiggle * std::sin(2 * kPi * bottom / period); }
  double ascent_start() const { return bottom_start() + bottom; }
  double duration() const { return ascent_start() + bottom_end_depth() / ascent; }
  double depth_at(double dt) const {
    if (dt < bottom_start()) return descent * dt;
    if (dt < ascent_start()) return depth + wiggle * std::sin(2 * kPi * (dt - bottom_start()) / period);
    return std::max(0.0, bottom_end_depth() - ascent * (dt - ascent_start()));
  }
};

// The sensor's reading at the surface: 0 to 3 m, slowly wandering.
struct Offset {
  double base = 1, amplitude = 0.3, period = kDay, phase = 0, wander = 0, shift = 0;
  double at(double t) const { return std::clamp(base + amplitude * std::sin(2 * kPi * t / period + phase) + wander + shift, 0.0, 3.0); }
};

class Simulator {
 public:
  explicit Simulator(const SimSettings& s) : s_(s) {
    rng_.g.seed(s.seed * 0x9E3779B97F4A7C15ULL + 12345);
    if (s_.interval_s <= 0) {
      static const int kIntervals[] = {1, 2, 4, 5, 8, 10, 16};
      s_.interval_s = kIntervals[rng_.integer(0, 6)];
    }
    if (s_.regime != 1 && s_.regime != 2) s_.regime = rng_.chance(0.75) ? 1 : 2;
    offset_ = Offset{rng_.uniform(0.2, 2.8), rng_.uniform(0.05, 0.5), rng_.uniform(1, 4) * kDay,
                     rng_.uniform(0, 2 * kPi), 0, 0};
    noise_ = rng_.uniform(0.02, 0.06);
    day_depth_ = rng_.uniform(45, 120);
    night_depth_ = rng_.uniform(12, 30);
    local_shift_ = rng_.uniform(-6, 6) * 3600;
    sst_ = rng_.uniform(8, 18);
    thermocline_ = rng_.uniform(4, 9);
    scale_depth_ = rng_.uniform(20, 50);
    // Some day of 2023 or 2024, at some hour.
    start_ = 1672531200.0 + rng_.integer(0, 700) * kDay + rng_.integer(0, 23) * 3600.0;
  }

  SimDeployment run() {
    SimDeployment d;
    d.settings = s_;
    d.min_offset = 3;
    test::InfoBlock info;
    info.tag_version = 170;
    info.tdr_interval = static_cast<std::uint16_t>(s_.interval_s * 100);
    info.ctd_interval = 100;
    img_.info(info);
    double t = start_;
    const double end = start_ + s_.days * kDay;
    if (rng_.chance(0.5)) {
      // Switched on ashore: a dry period before the tag's clock is set by a dive start.
      d.opens_dry = true;
      img_.dry_start(static_cast<std::uint16_t>(kDryInterval * 100));
      t = std::floor(t + rng_.uniform(0.5, 4) * 3600);
    }
    bool first = true;
    while (end - t > 3600) {
      if (!first) ++d.haulouts;
      first = false;
      const double wet = std::min(rng_.uniform(1, 30) * 3600, end - t);
      t = wet_period(d, t, t + wet);
      if (end - t < 2 * 3600) break;
      // A short rest on a rock or a long haul-out.
      t = haulout(t, t + (rng_.chance(0.4) ? rng_.uniform(5, 40) * 60 : rng_.uniform(1.5, 8) * 3600));
    }
    img_.eof();
    d.image = img_.bytes();
    d.casts = casts_;
    return d;
  }

 private:
  double light(double t) const {
    const double local = std::fmod(t + local_shift_, kDay) / 3600;
    return std::clamp(0.5 + 0.8 * std::sin(2 * kPi * (local - 6) / 24), 0.0, 1.0);
  }

  double surface_depth() {
    if (rng_.chance(0.2)) return 0;  // head out of the water
    return std::max(0.0, rng_.normal(0.25, 0.12));
  }

  double water_temperature(double t, double depth) const {
    const double sst = sst_ + 1.2 * std::sin(2 * kPi * (t / kDay - 0.6));
    return sst - thermocline_ * (1 - std::exp(-depth / scale_depth_));
  }

  // The dives of a wet period from `from` to `to`: a swim at the surface first and last, bouts
  // of dives between rests at the surface.
  std::vector<Dive> plan(double from, double to) {
    std::vector<Dive> dives;
    const double iv = s_.interval_s;
    double t = from + rng_.uniform(3, 12) * 60;
    const double last = to - rng_.uniform(5, 15) * 60;
    while (t < last) {
      const double mode = (night_depth_ + (day_depth_ - night_depth_) * light(t)) * std::exp(rng_.normal(0, 0.25));
      const int n = rng_.integer(5, 40);
      for (int i = 0; i < n; ++i) {
        Dive v;
        v.t0 = t;
        v.depth = std::clamp(mode * std::exp(rng_.normal(0, 0.15)), kMinDiveDepth, 400.0);
        v.shape = rng_.chance(0.2 + 0.25 * (1 - light(t))) ? 'V' : 'U';
        v.descent = rng_.uniform(0.9, 1.6);
        v.ascent = rng_.uniform(0.8, 1.4);
        if (v.shape == 'U') {
          v.bottom = std::max(20.0, v.depth * rng_.uniform(1.5, 3.5));
          v.wiggle = v.depth * rng_.uniform(0.02, 0.08);
          v.period = rng_.uniform(20, 60);
        } else {
          v.bottom = rng_.uniform(0, 4);
        }
        v.cast = v.shape == 'U' && v.depth >= 25 && t - last_cast_ > next_cast_;
        if (v.cast) {
          last_cast_ = t;
          next_cast_ = rng_.uniform(2, 5) * 3600;
        }
        const double end = t + v.duration();
        if (end > last) break;
        dives.push_back(v);
        t = end + std::max(30 + v.duration() * rng_.uniform(0.15, 0.4), 3 * iv + 10);
      }
      t += rng_.uniform(10, 60) * 60;  // a rest at the surface between bouts
    }
    return dives;
  }

  // A CTD cast from the depth of the ascent's start to the surface, a sample a second.
  void cast(const Dive& v, double t) {
    ++casts_;
    auto pressure = [](double dbar) { return static_cast<int>(std::lround(600 + 30 * dbar)); };
    auto temperature = [](double c) { return static_cast<int>(std::lround(8000 + 1000 * c)); };
    auto conductivity = [](double c) { return static_cast<int>(std::lround(200 + 800 * (28.5 + 0.97 * c))); };
    double depth = v.bottom_end_depth();
    std::uint16_t p = static_cast<std::uint16_t>(pressure(depth)), tr = static_cast<std::uint16_t>(temperature(water_temperature(t, depth)));
    std::uint16_t c = static_cast<std::uint16_t>(conductivity(water_temperature(t, depth)));
    std::uint16_t fluoro = 1200, phase = 3050, internal = 17500;
    img_.ctd_start(0x13, tag_time(t), 100, 600, {p, tr, c, fluoro, phase, internal});
    for (int i = 1; depth > 1.0; ++i) {
      depth -= v.ascent;
      const double w = water_temperature(t + i, std::max(depth, 0.0));
      auto to = [this](std::uint16_t& ch, int value) {
        const auto nv = static_cast<std::uint16_t>(std::clamp(value, 0, 65535));
        img_.change(ch, nv);
        ch = nv;
      };
      to(p, pressure(std::max(depth, 0.0)));
      to(tr, temperature(w + rng_.normal(0, 0.005)));
      to(c, conductivity(w) + static_cast<int>(rng_.normal(0, 3)));
      to(fluoro, 1200 + static_cast<int>(400 * std::exp(-std::fabs(depth - 20) / 8)));
      to(phase, 3050 - i);
      to(internal, 17500 - 20 * i);
    }
    img_.ctd_end();
  }

  double wet_period(SimDeployment& d, double from, double to) {
    const std::vector<Dive> dives = plan(from, to);
    const double iv = s_.interval_s;
    const int n = static_cast<int>((to - from) / iv) + 1;
    img_.dive_start(static_cast<std::uint8_t>(s_.regime), tag_time(from), static_cast<std::uint16_t>(s_.interval_s * 100));
    std::size_t k = 0;
    std::uint16_t depth_raw = 0, temp_raw = 0;
    bool in_run = false;  // a true dive in progress
    TrueDive run;
    double surface_since = from, last_gps = from - 3600;
    std::size_t cast_done = SIZE_MAX;
    for (int i = 0; i < n; ++i) {
      const double ts = from + i * iv;
      while (k < dives.size() && dives[k].t0 + dives[k].duration() < ts) ++k;
      const bool diving = k < dives.size() && ts >= dives[k].t0;
      double depth = surface_depth();
      if (diving) depth = std::max(depth, dives[k].depth_at(ts - dives[k].t0));
      // The sensor.
      offset_.wander += -offset_.wander * iv / (4 * 3600) + 0.1 * std::sqrt(2 * iv / (4 * 3600)) * rng_.normal(0, 1);
      const double off = offset_.at(ts);
      d.min_offset = std::min(d.min_offset, off);
      d.max_offset = std::max(d.max_offset, off);
      double reading = depth + off + rng_.normal(0, noise_);
      if (!diving && rng_.chance(0.003)) reading = 0;  // a reading at the surface drops out
      const auto raw = static_cast<std::uint16_t>(std::clamp(std::lround(reading * 10), 0L, 20000L));
      tag_temp_ += (water_temperature(ts, depth) - tag_temp_) * (1 - std::exp(-iv / 15));
      const auto traw = static_cast<std::uint16_t>(std::lround((tag_temp_ + 273.15) / 0.05));
      // Records between this sample and the one before.
      if (i > 0 && diving && dives[k].cast && cast_done != k && ts - dives[k].t0 >= dives[k].ascent_start()) {
        cast(dives[k], ts);
        cast_done = k;
      }
      if (diving) surface_since = ts;
      if (i > 0 && !diving && ts - surface_since >= 3 * iv && ts - last_gps > 1800 && rng_.chance(0.25)) {
        img_.gps(tag_time(ts), {{7, static_cast<std::uint16_t>(rng_.integer(0, 65535))},
                                {12, static_cast<std::uint16_t>(rng_.integer(0, 65535))},
                                {19, static_cast<std::uint16_t>(rng_.integer(0, 65535))}});
        last_gps = ts;
      }
      if (i == 0) {
        img_.u16(raw);
        if (s_.regime == 1) img_.u16(traw);
      } else {
        img_.change(depth_raw, raw);
        if (s_.regime == 1) img_.change(temp_raw, traw);
      }
      depth_raw = raw;
      temp_raw = traw;
      // The truth.
      if (depth > s_.threshold_m) {
        if (!in_run) {
          run = TrueDive{ts, ts, depth, diving ? dives[k].shape : 'U'};
          in_run = true;
        }
        run.end = ts;
        run.max_depth = std::max(run.max_depth, depth);
      } else if (in_run) {
        d.dives.push_back(run);
        in_run = false;
      }
      if (d.first_sample == 0) d.first_sample = ts;
      d.last_sample = ts;
    }
    if (in_run) d.dives.push_back(run);
    return from + (n - 1) * iv;
  }

  // A haul-out from `from` to `to`: the dry start, and in regime 1 the air temperature.
  double haulout(double from, double to) {
    img_.dry_start(static_cast<std::uint16_t>(kDryInterval * 100));
    const double air0 = sst_ + rng_.uniform(-4, 6);
    if (s_.regime == 1) {
      std::uint16_t raw = 0;
      for (int i = 0; from + i * kDryInterval < to; ++i) {
        const double tt = from + i * kDryInterval;
        tag_temp_ = air0 + 4 * std::sin(2 * kPi * (tt / kDay - 0.6)) + rng_.normal(0, 0.1);
        const auto r = static_cast<std::uint16_t>(std::lround((tag_temp_ + 273.15) / 0.05));
        if (i == 0) {
          img_.u16(r);
        } else {
          img_.change(raw, r);
        }
        raw = r;
      }
    }
    // Out of the water the sensor settles elsewhere.
    offset_.shift += rng_.normal(0, 0.2);
    offset_.shift = std::clamp(offset_.shift, -1.0, 1.0);
    return std::floor(to);
  }

  SimSettings s_;
  Rng rng_;
  ImageBuilder img_;
  Offset offset_;
  double noise_ = 0.04;
  double day_depth_ = 60, night_depth_ = 20, local_shift_ = 0;
  double sst_ = 12, thermocline_ = 6, scale_depth_ = 30;
  double tag_temp_ = 12;
  double start_ = 0;
  double last_cast_ = 0, next_cast_ = 0;
  int casts_ = 0;
};

}  // namespace

std::string utc_text(double t) {
  const TagTime c = tag_time(t);
  const auto ms = static_cast<int>(std::lround((t - std::floor(t)) * 1000)) % 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, c.hour, c.minute,
                c.second, ms);
  return text;
}

SimDeployment simulate(const SimSettings& settings) { return Simulator(settings).run(); }

void write_truth(std::FILE* out, const SimDeployment& d) {
  std::fprintf(out, "# seed=%u days=%g interval=%d regime=%d threshold=%g\n", d.settings.seed, d.settings.days,
               d.settings.interval_s, d.settings.regime, d.settings.threshold_m);
  std::fputs("START(UTC)\tEND(UTC)\tMAX_DEPTH(m)\tSHAPE\n", out);
  for (const TrueDive& v : d.dives) {
    std::fprintf(out, "%s\t%s\t%.3f\t%c\n", utc_text(v.start).c_str(), utc_text(v.end).c_str(), v.max_depth, v.shape);
  }
}

}  // namespace skelv::sim
