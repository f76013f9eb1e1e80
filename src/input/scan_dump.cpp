// Placeholder until the scan dump lands.
#include "input/scan_dump.h"

#include <cstdlib>

namespace skelv {

std::string scan_dump_path() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/skelv_debug.txt";
}

void write_scan_dump(DecoderState& /*st*/, Run& /*run*/, std::int64_t /*offset*/) {}

}  // namespace skelv
