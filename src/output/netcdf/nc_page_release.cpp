#include "output/netcdf/nc_page_release.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace skelv::nc {
namespace {

// Pages are released every kReleaseStep bytes of growth; the last kReleaseWindow bytes stay.
constexpr long long kReleaseStep = 16LL << 20;
constexpr long long kReleaseWindow = 32LL << 20;
// Blocks are reserved kReserveAhead bytes past the file's end, and only on a disk with more than
// kReserveRoom free: where space is short, the reservation could take what the text files need.
constexpr long long kReserveAhead = 64LL << 20;
constexpr unsigned long long kReserveRoom = 4ULL << 30;

// A disk with room to spare; not memory (tmpfs), where a reservation takes pages and saves nothing.
bool room_to_spare(int fd) {
#if defined(__linux__)
  struct statfs kind {};
  if (::fstatfs(fd, &kind) != 0 || kind.f_type == TMPFS_MAGIC) return false;
#endif
  struct statvfs fs {};
  return ::fstatvfs(fd, &fs) == 0 &&
         static_cast<unsigned long long>(fs.f_bavail) > kReserveRoom / (fs.f_frsize > 0 ? fs.f_frsize : 1);
}

void reserve_ahead(PageRelease& r, long long size) {
#if defined(__linux__)
  if (!r.reserve || size + kReserveAhead / 2 < r.reserved) return;
  // Past the file's end, its size unchanged; a file system that can't does without.
  const long long from = size > r.reserved ? size : r.reserved;
  if (::fallocate(r.fd, FALLOC_FL_KEEP_SIZE, from, size + kReserveAhead - from) == 0) {
    r.reserved = size + kReserveAhead;
  } else {
    r.reserve = false;
  }
#else
  (void)r;
  (void)size;
#endif
}

}  // namespace

void release_open(PageRelease& r, int fd) {
  r = PageRelease{};
  r.fd = fd;
  r.next = kReleaseStep;
  r.reserve = fd >= 0 && room_to_spare(fd);
  reserve_ahead(r, 0);
}

void release_written(PageRelease& r) {
  struct stat st {};
  if (r.fd < 0 || ::fstat(r.fd, &st) != 0) return;
  reserve_ahead(r, st.st_size);
  if (st.st_size < r.next) return;
  r.next = st.st_size + kReleaseStep;
  ::sync_file_range(r.fd, 0, st.st_size, SYNC_FILE_RANGE_WRITE);
  const long long keep = st.st_size - kReleaseWindow;
  if (keep > 0) ::posix_fadvise(r.fd, 0, keep & ~4095LL, POSIX_FADV_DONTNEED);
}

void release_close(PageRelease& r) {
  if (r.fd < 0) return;
  struct stat st {};
  // Setting the size it has frees the blocks reserved past it.
  if (r.reserved > 0 && ::fstat(r.fd, &st) == 0) {
    if (::ftruncate(r.fd, st.st_size) != 0) {
      // The blocks then stay with the file until it is truncated or removed.
    }
  }
  ::close(r.fd);
  r.fd = -1;
}

}  // namespace skelv::nc
