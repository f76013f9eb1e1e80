#include "output/netcdf/nc_page_release.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skelv::nc {
namespace {

// Pages are released every kReleaseStep bytes of growth; the last kReleaseWindow bytes stay.
constexpr long long kReleaseStep = 16LL << 20;
constexpr long long kReleaseWindow = 32LL << 20;

}  // namespace

void release_open(PageRelease& r, const std::string& name) {
  r.fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  r.next = kReleaseStep;
}

void release_written(PageRelease& r) {
  struct stat st {};
  if (r.fd < 0 || ::fstat(r.fd, &st) != 0 || st.st_size < r.next) return;
  r.next = st.st_size + kReleaseStep;
  ::sync_file_range(r.fd, 0, st.st_size, SYNC_FILE_RANGE_WRITE);
  const long long keep = st.st_size - kReleaseWindow;
  if (keep > 0) ::posix_fadvise(r.fd, 0, keep & ~4095LL, POSIX_FADV_DONTNEED);
}

void release_close(PageRelease& r) {
  if (r.fd >= 0) ::close(r.fd);
  r.fd = -1;
}

}  // namespace skelv::nc
