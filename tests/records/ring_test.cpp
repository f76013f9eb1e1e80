#include "records/ring.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

namespace skelv {
namespace {

// Random pushes and drops at both ends, across wrap-arounds and growths of a ring that starts
// with room for 4, give the values a deque gives for the same steps.
TEST(Ring, HoldsWhatADequeHoldsThroughWrapsAndGrowth) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    Ring<std::string> ring(3);  // rounded up to 4
    std::deque<std::string> model;
    for (int step = 0; step < 400; ++step) {
      const unsigned op = rng() % 10;
      if (op < 5 || model.empty()) {
        const std::string value = std::to_string(seed) + ":" + std::to_string(step);
        if (op % 2 == 0) {
          ring.push_back(value);
        } else {
          ring.push_slot() = value;  // replaces whatever the slot held before
        }
        model.push_back(value);
      } else if (op < 7) {
        const std::size_t n = rng() % (model.size() + 1);
        ring.pop_front(n);
        model.erase(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(n));
      } else if (op < 8) {
        ring.pop_back();
        model.pop_back();
      } else if (op < 9) {
        const std::size_t n = rng() % (model.size() + 1);
        ring.keep_front(n);
        model.resize(n);
      } else if (rng() % 8 == 0) {
        ring.clear();
        model.clear();
      }
      ASSERT_EQ(ring.size(), model.size()) << "seed " << seed << " step " << step;
      ASSERT_EQ(ring.empty(), model.empty());
      const Ring<std::string>& view = ring;
      for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(ring[i], model[i]) << "seed " << seed << " step " << step;
        ASSERT_EQ(view[i], model[i]) << "seed " << seed << " step " << step;
      }
      if (!model.empty()) {
        EXPECT_EQ(ring.front(), model.front());
        EXPECT_EQ(ring.back(), model.back());
      }
    }
  }
}

}  // namespace
}  // namespace skelv
