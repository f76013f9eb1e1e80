// Arguments shared by Skelv and the quick look.
#pragma once

namespace skelv {

// "-name" or "--name".
bool is_option(const char* arg, const char* name);
// A dive threshold in metres: a plain non-negative number below 10000, the whole argument.
bool parse_threshold(const char* arg, double& metres);

}  // namespace skelv
