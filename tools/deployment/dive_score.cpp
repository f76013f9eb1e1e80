#include "deployment/dive_score.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace skelv::sim {
namespace {

// "YYYY-MM-DD HH:MM:SS.mmm" (UTC) as seconds since 1970.
bool parse_utc(const std::string& text, double& t) {
  int y, mo, d, h, mi, s, ms;
  if (text.size() != 23 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms) != 7) {
    return false;
  }
  // Days from civil (proleptic Gregorian).
  y -= mo <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = era * 146097 + doe - 719468;
  t = static_cast<double>(days) * 86400 + h * 3600 + mi * 60 + s + ms * 0.001;
  return true;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  std::string f;
  while (std::getline(ss, f, '\t')) out.push_back(f);
  return out;
}

// The rows of a tab-separated file with a header, taken by column name.
bool read_table(const std::string& path, std::vector<ScoredDive>& dives, std::string& error, double* interval_s) {
  std::ifstream in(path);
  if (!in) {
    error = "can't read " + path;
    return false;
  }
  std::string line;
  int start = -1, end = -1, depth = -1;
  bool header = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '#') {
      const std::size_t at = line.find("interval=");
      if (interval_s != nullptr && at != std::string::npos) *interval_s = std::atof(line.c_str() + at + 9);
      continue;
    }
    const std::vector<std::string> f = fields(line);
    if (!header) {
      for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] == "START(UTC)") start = static_cast<int>(i);
        if (f[i] == "END(UTC)") end = static_cast<int>(i);
        if (f[i] == "MAX_DEPTH(m)") depth = static_cast<int>(i);
      }
      if (start < 0 || end < 0 || depth < 0) {
        error = path + ": no START(UTC), END(UTC) and MAX_DEPTH(m) columns";
        return false;
      }
      header = true;
      continue;
    }
    ScoredDive v;
    const auto n = static_cast<int>(f.size());
    if (n <= start || n <= end || n <= depth || !parse_utc(f[static_cast<std::size_t>(start)], v.start) ||
        !parse_utc(f[static_cast<std::size_t>(end)], v.end)) {
      error = path + ": unreadable line: " + line;
      return false;
    }
    v.max_depth = std::atof(f[static_cast<std::size_t>(depth)].c_str());
    dives.push_back(v);
  }
  if (!header) error = path + ": no header";
  return header;
}

}  // namespace

bool read_truth(const std::string& path, std::vector<ScoredDive>& dives, double& interval_s, std::string& error) {
  interval_s = 0;
  if (!read_table(path, dives, error, &interval_s)) return false;
  if (interval_s > 0) return true;
  error = path + ": no interval= in its first line";
  return false;
}

bool read_dive_table(const std::string& path, std::vector<ScoredDive>& dives, std::string& error) {
  return read_table(path, dives, error, nullptr);
}

Score score(const std::vector<ScoredDive>& truth, const std::vector<ScoredDive>& found, double interval_s) {
  Score s;
  s.truth = truth.size();
  const double slack = interval_s + 0.0005;  // the tables' times are rounded to the millisecond
  std::size_t i = 0, j = 0;
  while (i < truth.size() && j < found.size()) {
    const ScoredDive& t = truth[i];
    const ScoredDive& f = found[j];
    if (t.end + interval_s < f.start) {
      ++s.missed;
      ++i;
    } else if (f.end + interval_s < t.start) {
      ++s.false_dives;
      ++j;
    } else {
      ++s.found;
      const double ds = std::fabs(f.start - t.start), de = std::fabs(f.end - t.end);
      const double dd = std::fabs(f.max_depth - t.max_depth);
      s.worst_start = std::max(s.worst_start, ds);
      s.worst_end = std::max(s.worst_end, de);
      s.worst_depth = std::max(s.worst_depth, dd);
      s.start_errors += ds > slack;
      s.end_errors += de > slack;
      s.depth_errors += dd > kDepthTolerance;
      s.errors += ds > slack || de > slack || dd > kDepthTolerance;
      ++i;
      ++j;
    }
  }
  s.missed += truth.size() - i;
  s.false_dives += found.size() - j;
  return s;
}

bool meets_targets(const Score& s) {
  return s.found * 100 >= s.truth * 98 && s.false_dives == 0 && s.errors == 0;
}

std::string score_text(const Score& s) {
  char text[256];
  std::snprintf(text, sizeof text,
                "true %zu found %zu missed %zu false %zu errors %zu (start %zu, end %zu, depth %zu) "
                "worst start %.3f s end %.3f s depth %.3f m",
                s.truth, s.found, s.missed, s.false_dives, s.errors, s.start_errors, s.end_errors, s.depth_errors,
                s.worst_start, s.worst_end, s.worst_depth);
  return text;
}

}  // namespace skelv::sim
