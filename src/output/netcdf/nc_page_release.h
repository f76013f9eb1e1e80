// What the page cache holds of a NetCDF file being written: its written pages go to the disk as
// it grows and leave the cache once they are there, so that the file takes no more memory than a
// window of its last bytes (memory the kernel would otherwise take fresh for every page).
#pragma once
#include <string>

namespace skelv::nc {

struct PageRelease {
  int fd = -1;           // the file, read only; -1: none
  long long next = 0;    // the size at which pages are released next
};
void release_open(PageRelease& r, const std::string& name);
// Call after writing: starts the disk writes of everything written and drops what went before.
void release_written(PageRelease& r);
void release_close(PageRelease& r);

}  // namespace skelv::nc
