#include "app/arguments.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace skelv {

bool is_option(const char* arg, const char* name) {
  if (arg[0] == '-' && arg[1] == '-') ++arg;
  return arg[0] == '-' && std::strcmp(arg + 1, name) == 0;
}

bool parse_threshold(const char* arg, double& metres) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(arg, &end);
  if (end == arg || *end != '\0' || errno != 0 || !(v >= 0 && v < 10000)) return false;
  metres = v;
  return true;
}

}  // namespace skelv
