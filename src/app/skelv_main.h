// The Skelv program: banner, arguments, decoding, summary.
#pragma once
#include <cstdio>

namespace skelv {

// Exit status of a -recover run that skipped damaged stretches.
inline constexpr int kExitDamaged = 3;
// Exit status of a failed -strict run.
inline constexpr int kExitFailed = 2;

// The whole program. Returns the exit status.
int skelv_main(int argc, const char* const* argv, std::FILE* out, bool terminal);

}  // namespace skelv
