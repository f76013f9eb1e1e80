#include "output/out_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skelv {
namespace {

// Removes what an interrupted run left under the partial name, when it is a file of the runner's.
bool clear_partial(const char* partial) {
  struct stat s {};
  if (::lstat(partial, &s) != 0) return errno == ENOENT;
  return S_ISREG(s.st_mode) && s.st_uid == ::geteuid() && ::unlink(partial) == 0;
}

}  // namespace

bool out_name_free(const char* path) {
  struct stat s {};
  if (::lstat(path, &s) != 0) return errno == ENOENT;
  // The mode bits say what the owner allows; access() also knows of a file made immutable.
  return S_ISREG(s.st_mode) && s.st_uid == ::geteuid() && (s.st_mode & S_IWUSR) != 0 && ::access(path, W_OK) == 0;
}

bool out_open(OutFile& file, const char* path, bool durable) {
  file.path = path;
  file.durable = durable;
  file.partial = file.path + kPartialSuffix;
  if (!out_name_free(path) || !clear_partial(file.partial.c_str())) return false;
  // The old file goes now, as a truncation would take its blocks: renamed over at the end, it
  // would make the file system allocate every block of the new one at once (its guard for
  // programs that don't sync), which costs a large run much time. Should the run stop part-way,
  // the name is empty rather than holding a file of another run.
  if (::unlink(path) != 0 && errno != ENOENT) return false;
  int fd;
  do {
    // O_EXCL: a name that appeared since (a link, say) is never written through.
    fd = ::open(file.partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  file.fd = fd;
  file.write_failed = false;
  file.bytes = 0;
  if (!file.buffer) file.buffer = std::make_unique_for_overwrite<char[]>(kOutBufferSize);
  file.used = 0;
  return true;
}

bool out_is_open(const OutFile& file) { return file.fd >= 0; }

void out_flush(OutFile& file) {
  const char* p = file.buffer.get();
  std::size_t left = file.used;
  file.used = 0;
  if (file.fd < 0 || file.write_failed) return;
  while (left > 0) {
    const ssize_t n = ::write(file.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Disk full or an I/O error: the rest of this file is lost; say so at close.
      file.write_failed = true;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
    file.bytes += static_cast<std::uint64_t>(n);
  }
}

bool out_close(OutFile& file) {
  if (file.fd < 0) return true;
  out_flush(file);
  // A durable file's data reach the disk before its name does.
  bool ok = !file.write_failed && (!file.durable || ::fdatasync(file.fd) == 0);
  if (::close(file.fd) != 0 && errno != EINTR) ok = false;
  file.fd = -1;
  if (ok && ::rename(file.partial.c_str(), file.path.c_str()) == 0) return true;
  ::unlink(file.partial.c_str());
  return false;
}

void out_discard(OutFile& file) {
  if (file.fd < 0) return;
  ::close(file.fd);
  file.fd = -1;
  file.used = 0;
  ::unlink(file.partial.c_str());
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
