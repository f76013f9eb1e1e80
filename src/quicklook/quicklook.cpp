#include "quicklook/quicklook.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/arguments.h"
#include "app/command_line.h"
#include "app/output_names.h"
#include "run/run.h"
#include "quicklook/deployment.h"
#include "quicklook/page.h"

namespace skelv::quicklook {
namespace {

constexpr char kUsage[] =
    "Usage: skelv-quicklook IMAGE [-dive-threshold M] [-dive-min-duration S] [-zoc M | -zoc auto]\n"
    "                       [-zoc-median N] [-zoc-window H] [-zoc-quantile P] [-zoc-band M]\n"
    "       skelv-quicklook --help | --version\n"
    "\n"
    "Reads the text files that Skelv wrote for IMAGE (IMAGE-name_tdr.txt, _ctd.txt, _gps.txt\n"
    "and _accel.txt, whichever exist) and writes IMAGE-name_quicklook.html beside them: one\n"
    "self-contained page with a summary, the dive profile with temperature and wet/dry state,\n"
    "one depth strip per day, the dives (as Skelv -dives finds them), CTD casts, GPS times and\n"
    "the accelerometer, readable offline in any browser. The dive switches are those of\n"
    "Skelv -dives, and the page then shows the depths as the dive table takes them.\n"
    "\n";

// The suffixes of the four text files, by FileKind.
constexpr const char* kSuffix[kFileKinds] = {"_tdr.txt", "_ctd.txt", "_gps.txt", "_accel.txt"};

std::string base_name(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

bool write_whole(const char* path, const std::string& text) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && written;
}

}  // namespace

int quicklook_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  if (argc == 2 && is_option(argv[1], "help")) {
    std::fputs(kUsage, out);
    std::fputs(kDiveOptionsHelp, out);
    std::fputs("  --help  this text\n  --version\n          the version\n", out);
    return 0;
  }
  if (argc == 2 && is_option(argv[1], "version")) {
    std::fprintf(out, "skelv-quicklook v%s\n", kVersion);
    return 0;
  }
  const char* image = nullptr;
  analysis::DiveSettings settings;
  bool usable = true;
  for (int i = 1; i < argc && usable; ++i) {
    if (const int used = parse_dive_option(argc, argv, i, settings); used != 0) {
      usable = used > 0;
      i += used - 1;
    } else if (image == nullptr && argv[i][0] != '-') {
      image = argv[i];
    } else {
      usable = false;
    }
  }
  if (!usable || image == nullptr) {
    std::fputs(kUsage, err);
    return 1;
  }
  char names[kFileKinds][kTextField];
  char page_name[kTextField];
  bool fits = make_output_name(page_name, kPageSuffix, image);
  for (int k = 0; k < kFileKinds; ++k) fits = fits && make_output_name(names[k], kSuffix[k], image);
  if (!fits) {
    std::fputs("skelv-quicklook: file name too long\n", err);
    return 1;
  }

  // The four files are read at the same time, each into a deployment of its own (fixed-size but
  // large: kept off the stack), then taken together in file order.
  std::array<std::unique_ptr<Deployment>, kFileKinds> parts;
  std::array<bool, kFileKinds> opened{};
  std::vector<std::thread> readers;
  for (int k = 0; k < kFileKinds; ++k) {
    parts[static_cast<std::size_t>(k)] = std::make_unique<Deployment>();
    deployment_reset(*parts[static_cast<std::size_t>(k)], settings);
    readers.emplace_back([&parts, &opened, &names, k] {
      opened[static_cast<std::size_t>(k)] =
          read_file(*parts[static_cast<std::size_t>(k)], static_cast<FileKind>(k), names[k]);
    });
  }
  for (std::thread& t : readers) t.join();
  const auto d = std::make_unique<Deployment>();
  deployment_reset(*d, settings);
  int found = 0;
  for (int k = 0; k < kFileKinds; ++k) {
    if (!opened[static_cast<std::size_t>(k)]) continue;
    ++found;
    deployment_take(*d, *parts[static_cast<std::size_t>(k)], static_cast<FileKind>(k));
  }
  if (found == 0) {
    std::fprintf(err, "skelv-quicklook: no converted files of %s: none of %s, %s, %s, %s exists\n", image,
                 names[0], names[1], names[2], names[3]);
    return 1;
  }
  deployment_finish(*d);

  PageNames shown;
  shown.image = base_name(image);
  for (int k = 0; k < kFileKinds; ++k) shown.files[static_cast<std::size_t>(k)] = base_name(names[k]);
  const std::string page = render_page(*d, shown);
  if (!write_whole(page_name, page)) {
    std::fprintf(err, "skelv-quicklook: can't write %s\n", page_name);
    return 1;
  }
  std::fprintf(out, "Wrote %s (%zu bytes)\n", page_name, page.size());
  return 0;
}

}  // namespace skelv::quicklook
