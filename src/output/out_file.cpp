#include "output/out_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

namespace {

// Creates file.partial in place of `path` (see out_open); false when the name can't be taken.
bool create_partial(OutFile& file, const char* path) {
  file.path = path;
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
  return true;
}

// Writes the buffer's first `n` bytes and moves the rest to its front.
void write_out(OutFile& file, std::size_t n) {
  const char* p = file.buffer.get();
  std::size_t left = n;
  while (left > 0 && file.fd >= 0 && !file.write_failed) {
    const ssize_t w = ::write(file.fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      // Disk full or an I/O error: the rest of this file is lost; say so at close.
      file.write_failed = true;
      break;
    }
    p += w;
    left -= static_cast<std::size_t>(w);
    file.bytes += static_cast<std::uint64_t>(w);
  }
  std::memmove(file.buffer.get(), file.buffer.get() + n, file.used - n);
  file.used -= n;
  file.taken += n;
}

// An empty write buffer, made on the file's first use.
void give_buffer(OutFile& file) {
  if (!file.buffer) {
    file.buffer = std::make_unique_for_overwrite<char[]>(kOutBufferSize);
    file.capacity = kOutBufferSize;
  }
  file.used = 0;
}

}  // namespace

bool out_open(OutFile& file, const char* path) {
  if (!create_partial(file, path)) return false;
  give_buffer(file);
  return true;
}

void out_hold(OutFile& file) {
  give_buffer(file);
  file.holding = true;
  file.taken = file.released = 0;
}

bool out_open_held(OutFile& file, const char* path) {
  if (create_partial(file, path)) return true;
  file.holding = false;
  file.used = 0;
  return false;
}

void out_take_back(OutFile& file, std::uint64_t position) {
  if (position >= file.taken && position <= out_position(file)) file.used = static_cast<std::size_t>(position - file.taken);
}

void out_insert(OutFile& file, std::uint64_t position, const char* data, std::size_t n) {
  if (position < file.taken || position > out_position(file)) return;
  out_reserve(file, n);
  char* at = file.buffer.get() + (position - file.taken);
  std::memmove(at + n, at, file.used - static_cast<std::size_t>(position - file.taken));
  std::memcpy(at, data, n);
  file.used += n;
}

void out_make_room(OutFile& file, std::size_t n) {
  out_flush(file);
  if (!file.holding || file.capacity - file.used >= n) return;
  std::size_t wider = file.capacity * 2;
  while (wider - file.used < n) wider *= 2;
  auto grown = std::make_unique_for_overwrite<char[]>(wider);
  std::memcpy(grown.get(), file.buffer.get(), file.used);
  file.buffer = std::move(grown);
  file.capacity = wider;
}

bool out_is_open(const OutFile& file) { return file.fd >= 0 || file.holding; }

void out_flush(OutFile& file) {
  if (file.holding) {
    // Only what was released leaves; the rest waits for its release or to be taken back.
    const std::uint64_t free_to = std::min<std::uint64_t>(file.released, out_position(file));
    if (free_to > file.taken) write_out(file, static_cast<std::size_t>(free_to - file.taken));
    return;
  }
  if (file.fd < 0 || file.write_failed) {
    file.used = 0;
    return;
  }
  write_out(file, file.used);
}

bool out_close(OutFile& file) {
  // Whatever is still held goes with the rest.
  file.holding = false;
  if (file.fd < 0) {
    file.used = 0;
    return true;
  }
  out_flush(file);
  bool ok = !file.write_failed;
  if (::close(file.fd) != 0 && errno != EINTR) ok = false;
  file.fd = -1;
  if (ok && ::rename(file.partial.c_str(), file.path.c_str()) == 0) return true;
  ::unlink(file.partial.c_str());
  return false;
}

void out_discard(OutFile& file) {
  file.holding = false;
  if (file.fd < 0) {
    file.used = 0;
    return;
  }
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
