// The quick-look page of a deployment: one self-contained XHTML document with inline SVG and
// CSS, no scripts. Its size is bounded by the fixed number of columns, casts and note texts,
// whatever the size of the files read.
#pragma once
#include <string>

#include "quicklook/deployment.h"

namespace skelv::quicklook {

// Names shown on the page.
struct PageNames {
  std::string image;                               // the image the files were converted from
  std::array<std::string, kFileKinds> files;       // the four text files, by FileKind
};

// Appends `text` to `out` escaped for XML text and attributes; bytes that are not valid UTF-8,
// and control characters, become '?'.
void append_escaped(std::string& out, std::string_view text);

std::string render_page(const Deployment& d, const PageNames& names);

}  // namespace skelv::quicklook
