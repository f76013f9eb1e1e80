// The dives a table found, scored against the true dives of a generated deployment.
//
// A found dive and a true dive match when they overlap, each widened by one sampling interval;
// in time order, each dive matches at most once. A true dive without a match is missed, a found
// dive without one is false. A match is an error when its start or end lies more than one
// sampling interval from the truth, or its maximum depth more than 0.5 m.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace skelv::sim {

struct ScoredDive {
  double start = 0, end = 0;  // seconds since 1970 UTC
  double max_depth = 0;       // metres
};

// The truth file of skelv-make-deployment, and its sampling interval in seconds.
bool read_truth(const std::string& path, std::vector<ScoredDive>& dives, double& interval_s, std::string& error);
// A dive table (_dives.txt): its START(UTC), END(UTC) and MAX_DEPTH(m) columns.
bool read_dive_table(const std::string& path, std::vector<ScoredDive>& dives, std::string& error);

inline constexpr double kDepthTolerance = 0.5;  // metres

struct Score {
  std::size_t truth = 0, found = 0, missed = 0, false_dives = 0;
  std::size_t start_errors = 0, end_errors = 0, depth_errors = 0;
  std::size_t errors = 0;  // matches with any error
  double worst_start = 0, worst_end = 0, worst_depth = 0;  // largest differences of the matches
};

Score score(const std::vector<ScoredDive>& truth, const std::vector<ScoredDive>& found, double interval_s);
// At least 98 % of the true dives found, none false, no error.
bool meets_targets(const Score& s);
// "true 312 found 310 missed 2 false 0 errors 0 (start 0, end 0, depth 0) worst start 5.000 s ..."
std::string score_text(const Score& s);

}  // namespace skelv::sim
