// libFuzzer target over the whole program. The first byte of an input chooses the run (bit 0:
// the scan dump first; bit 1: -recover; bit 2: every other output too, -netcdf -dives -report,
// with -strict; bits 3..7: the start offset, 0..31); the rest is the tag image.
// The image goes to a scratch folder of the process and Skelv runs as from its command line,
// writing its outputs beside the image (the scan dump into the same folder through $TMPDIR).
// Besides the sanitizers, a run aborts when its console, exit status and report disagree, when
// progress goes back or off a multiple of 1024, when the byte count passes the image, or when a
// file is left under a partial name.
#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/skelv_main.h"

namespace {

// The process's scratch folder, made on the first input and removed at exit. Plain characters,
// so that nothing is destroyed before the exit handler runs.
char scratch[4096];

const char* scratch_folder() {
  if (scratch[0] != '\0') return scratch;
  const char* base = std::getenv("TMPDIR");
  std::snprintf(scratch, sizeof scratch, "%s/skelv-fuzz-XXXXXX", base != nullptr && *base != '\0' ? base : "/tmp");
  if (::mkdtemp(scratch) == nullptr) std::abort();
  // The scan dump goes to $TMPDIR: keep it inside the folder.
  ::setenv("TMPDIR", scratch, 1);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
  });
  return scratch;
}

void write_image(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) std::abort();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

void check(bool holds) {
  if (!holds) std::abort();
}

// Progress lines ("\r%8lX ...") come on multiples of 1024, never going back.
void check_progress(const std::string& console) {
  std::uint64_t last = 0;
  for (std::size_t at = console.find('\r'); at != std::string::npos; at = console.find('\r', at + 1)) {
    const std::uint64_t offset = std::strtoull(console.c_str() + at + 1, nullptr, 16);
    check(offset % 1024 == 0 && offset >= last);
    last = offset;
  }
}

// What the console, the exit status and the report say of the run agree.
void check_verdict(const std::string& console, int status, bool strict, const std::filesystem::path& report) {
  const bool completed = console.find("\nCompleted.\n") != std::string::npos;
  const bool failure = console.find("Failure: ") != std::string::npos;
  const bool damaged = console.find("Failure: Damaged image: ") != std::string::npos;
  check(completed != failure);
  std::string result = completed ? "completed" : "failed";
  if (damaged && console.find("Failure: ") == console.find("Failure: Damaged image: ")) result = "damaged";
  if (strict) {
    check(status == (result == "completed" ? 0 : result == "failed" ? 2 : 3));
  } else {
    check(status == (damaged ? 3 : 0) || (status == 1 && console.find("ACC OVERFLOW") != std::string::npos));
  }
  if (!std::filesystem::exists(report)) return;
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  check(!j.is_discarded() && j["result"] == result);
  check(j["failures"].empty() == (result != "failed"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t control = size > 0 ? data[0] : 0;
  const bool scan = (control & 1) != 0;
  const bool recover = (control & 2) != 0;
  const bool outputs = (control & 4) != 0;
  const int offset = control >> 3;
  const std::filesystem::path folder = scratch_folder();
  const std::string image = (folder / "image.bin").string();
  const std::uint64_t image_size = size > 0 ? size - 1 : 0;
  write_image(image, size > 0 ? data + 1 : data, image_size);

  std::vector<std::string> args = {"Skelv", image, std::to_string(offset)};
  if (scan) args.emplace_back("-scan");
  if (recover) args.emplace_back("-recover");
  if (outputs) args.insert(args.end(), {"-netcdf", "-dives", "-report", "-strict"});
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());

  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* console = ::open_memstream(&text, &length);
  const int status = skelv::skelv_main(static_cast<int>(argv.size()), argv.data(), console, false);
  std::fclose(console);
  const std::string out(text, length);
  std::free(text);

  check_progress(out);
  check_verdict(out, status, outputs, folder / "image_report.json");
  const std::size_t input_at = out.find("\nInput: ");
  if (input_at != std::string::npos) {
    check(std::strtoull(out.c_str() + input_at + 8, nullptr, 10) <= std::max<std::uint64_t>(image_size, offset));
  }
  // No file is left under a partial name; the outputs go before the next input.
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    check(entry.path().extension() != ".partial");
    if (entry.path() != image) std::filesystem::remove_all(entry.path());
  }
  return 0;
}
