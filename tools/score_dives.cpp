// Scores a dive table against the true dives of a generated deployment.
//
//   skelv-score-dives TRUTH DIVES
//
// Prints one line: true, found, missed, false and erroneous dives (see
// tools/deployment/dive_score.h). Exit status 0 when the targets hold (at least 98 % found, none
// false, no error), 1 when they don't, 2 when a file can't be read.
#include <cstdio>
#include <string>
#include <vector>

#include "deployment/dive_score.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: skelv-score-dives TRUTH DIVES\n");
    return 2;
  }
  std::vector<skelv::sim::ScoredDive> truth, found;
  double interval = 0;
  std::string error;
  if (!skelv::sim::read_truth(argv[1], truth, interval, error) || !skelv::sim::read_dive_table(argv[2], found, error)) {
    std::fprintf(stderr, "skelv-score-dives: %s\n", error.c_str());
    return 2;
  }
  const skelv::sim::Score s = skelv::sim::score(truth, found, interval);
  std::printf("%s\n", skelv::sim::score_text(s).c_str());
  return skelv::sim::meets_targets(s) ? 0 : 1;
}
