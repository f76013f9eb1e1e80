// Preloaded into a Skelv run by the tests (LD_PRELOAD): read() on the file whose path is
// SKELV_TEST_READ_FAILS_IN fails with EIO once SKELV_TEST_READ_FAILS_AFTER bytes have been read
// from it, as a disk with a bad sector would. Every other read is left alone.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
long long bytes_read = 0;
}

extern "C" ssize_t read(int fd, void* buf, size_t n) {
  using ReadFn = ssize_t (*)(int, void*, size_t);
  static const auto real = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
  const char* watched = std::getenv("SKELV_TEST_READ_FAILS_IN");
  char link[64];
  char path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t len = watched == nullptr ? -1 : ::readlink(link, path, sizeof path - 1);
  if (len <= 0) return real(fd, buf, n);
  path[len] = '\0';
  if (std::strcmp(path, watched) != 0) return real(fd, buf, n);
  const long long limit = std::atoll(std::getenv("SKELV_TEST_READ_FAILS_AFTER"));
  if (bytes_read >= limit) {
    errno = EIO;
    return -1;
  }
  if (bytes_read + static_cast<long long>(n) > limit) n = static_cast<size_t>(limit - bytes_read);
  const ssize_t got = real(fd, buf, n);
  if (got > 0) bytes_read += got;
  return got;
}
