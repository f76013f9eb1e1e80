#include "output/text/out_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace skelv {

bool out_open(OutFile& file, const char* path) {
  int fd;
  do {
    fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  out_adopt(file, fd);
  return true;
}

void out_adopt(OutFile& file, int fd) {
  file.fd = fd;
  file.write_failed = false;
  if (!file.buffer) file.buffer = std::make_unique_for_overwrite<char[]>(kOutBufferSize);
  file.used = 0;
}

bool out_is_open(const OutFile& file) { return file.fd >= 0; }

void out_flush(OutFile& file) {
  const char* p = file.buffer.get();
  std::size_t left = file.used;
  file.used = 0;
  if (file.fd < 0 || file.write_failed) return;
  while (left > 0) {
    ssize_t n = ::write(file.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Disk full or an I/O error: the rest of this file is lost; say so at close.
      file.write_failed = true;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

bool out_close(OutFile& file) {
  if (file.fd < 0) return true;
  out_flush(file);
  bool ok = !file.write_failed;
  if (::close(file.fd) != 0 && errno != EINTR) ok = false;
  file.fd = -1;
  return ok;
}

void out_printf(OutFile& file, const char* format, ...) {
  constexpr std::size_t kRoom = 4096;
  char* dst = out_reserve(file, kRoom);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(dst, kRoom, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < kRoom) {
    file.used += static_cast<std::size_t>(n);
    return;
  }
  // Longer than any line the decoder writes; format into a temporary of the right size.
  auto big = std::make_unique<char[]>(static_cast<std::size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.get(), static_cast<std::size_t>(n) + 1, format, args);
  va_end(args);
  out_write(file, big.get(), static_cast<std::size_t>(n));
}

}  // namespace skelv
