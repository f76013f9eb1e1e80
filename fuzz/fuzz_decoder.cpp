// libFuzzer target over the whole decoder. The first byte of an input chooses the run (bit 0:
// write the scan dump first; bit 1: decode past damage (-recover); bits 2..7: the start offset,
// 0..63); the rest is the tag image.
// The image goes to a scratch folder of the process, decoding starts with a fresh state, and
// the four output files go to /dev/null; the scan dump goes to the scratch folder ($TMPDIR).
// Besides the sanitizers, a run aborts when progress goes back or off a multiple of 1024, when
// the byte count passes the image, or when an output is left open.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "run/driver.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t control = size > 0 ? data[0] : 0;
  const bool scan = (control & 1) != 0;
  const bool recover = (control & 2) != 0;
  const std::int64_t offset = control >> 2;
  const std::string input = std::string(scratch_folder()) + "/image.bin";
  write_image(input, size > 0 ? data + 1 : data, size > 0 ? size - 1 : 0);

  auto run = std::make_unique<skelv::Run>();
  std::snprintf(run->input_name, sizeof run->input_name, "%s", input.c_str());
  for (char* name : {run->tdr_name, run->ctd_name, run->gps_name, run->acc_name}) {
    std::snprintf(name, skelv::kTextField, "%s", "/dev/null");
  }
  auto st = std::make_unique<skelv::RunState>(*run);
  st->decoder.console = [](const char*) {};
  st->decoder.damage.on = recover;
  // Progress comes on multiples of 1024, never going back.
  std::uint64_t last_progress = 0;
  const auto progress = [&last_progress](std::uint64_t at, std::uint32_t, std::uint32_t, std::uint32_t,
                                         std::uint32_t) {
    if (at % 1024 != 0 || at < last_progress) std::abort();
    last_progress = at;
  };
  skelv::decode_file(*st, progress, offset, scan);

  // A -recover run reads to the end of the image unless it ends at erased memory; its damaged
  // stretches lie inside the image, each after the one before.
  std::uint64_t previous_last = 0;
  bool first_gap = true;
  for (const skelv::Event& e : st->events.list) {
    if (e.kind != skelv::EventKind::kDamage) continue;
    if (!recover || e.offset > e.last || e.last >= size - 1) std::abort();
    if (!first_gap && e.offset <= previous_last) std::abort();
    previous_last = e.last;
    first_gap = false;
  }
  // Nothing is read past the image, and every output is closed.
  const std::uint64_t image_size = size > 0 ? size - 1 : 0;
  if (run->byte_count > std::max(image_size, static_cast<std::uint64_t>(offset))) std::abort();
  const skelv::TextOutput& text = st->text;
  for (const skelv::TextFile* f : {&text.tdr_file, &text.ctd_file, &text.gps_file, &text.acc_file}) {
    if (skelv::out_is_open(f->file)) std::abort();
  }
  return 0;
}
