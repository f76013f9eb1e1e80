// The skelv-quicklook program: reads the text files that Skelv wrote for an image and writes
// the quick-look page beside them.
#pragma once
#include <cstdio>

namespace skelv::quicklook {

// Suffix of the page's name, in place of the image name's ending (as for the text files).
inline constexpr char kPageSuffix[] = "_quicklook.html";

// The whole program: `skelv-quicklook IMAGE`. Messages go to `out`, problems to `err`.
// Exit status 0 when the page was written; 1 on a usage error, when none of the four files
// exists, or when the page can't be written.
int quicklook_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace skelv::quicklook
