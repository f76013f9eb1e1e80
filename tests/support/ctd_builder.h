// CTD samples for test images: each channel written as a change from the previous sample.
#pragma once
#include <cstdint>
#include <vector>

#include "support/image_builder.h"

namespace skelv::test {

// Appends `samples` after the sample `previous`, each channel as a step when it fits and an
// escape otherwise; `previous` ends as the last sample written.
void ctd_samples(ImageBuilder& image, std::vector<std::uint16_t>& previous,
                 const std::vector<std::vector<std::uint16_t>>& samples);

}  // namespace skelv::test
