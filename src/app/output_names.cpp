#include "app/output_names.h"

#include <cstring>

#include "run/run.h"

namespace skelv {

bool make_output_name(char* destination, const char* suffix, const char* input_name) {
  const std::size_t len = std::strlen(input_name);
  // Only the last path component is shortened.
  std::size_t base = 0;
  for (std::size_t i = 0; i < len; ++i) {
    if (input_name[i] == '/' || input_name[i] == '\\') base = i + 1;
  }
  const char* name = input_name + base;
  std::size_t keep = len;
  if (const char* p = std::strstr(name, "_compressed.dat")) {
    keep = static_cast<std::size_t>(p - input_name);
  } else if (const char* q = std::strstr(name, "_debug.txt")) {
    keep = static_cast<std::size_t>(q - input_name);
  } else if (const char* dot = std::strrchr(name, '.')) {
    keep = static_cast<std::size_t>(dot - input_name);
  }
  const std::size_t suffix_len = std::strlen(suffix);
  if (keep + suffix_len >= kTextField) {
    destination[0] = '\0';
    return false;
  }
  std::memcpy(destination, input_name, keep);
  std::memcpy(destination + keep, suffix, suffix_len + 1);
  return true;
}

}  // namespace skelv
