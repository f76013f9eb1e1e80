#include "support/ctd_builder.h"

#include <stdexcept>

namespace skelv::test {

void ctd_samples(ImageBuilder& image, std::vector<std::uint16_t>& previous,
                 const std::vector<std::vector<std::uint16_t>>& samples) {
  for (const std::vector<std::uint16_t>& s : samples) {
    if (s.size() != previous.size()) throw std::invalid_argument("sample of another width");
    for (std::size_t i = 0; i < s.size(); ++i) image.change(previous[i], s[i]);
    previous = s;
  }
}

}  // namespace skelv::test
