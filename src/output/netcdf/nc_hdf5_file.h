// What the NetCDF files need of the HDF5 library beneath them: their HDF5 file found by name,
// given up on a full disk, and held to a flat memory footprint.
#pragma once
#include <hdf5.h>

#include <string>

namespace skelv::nc {

// The HDF5 identifier of the open file `name`, negative when there is none.
hid_t hdf5_file(const std::string& name);
// Gives up the file `name`: removes it and points the library's descriptor at /dev/null, so that
// the library's last writes (the disk may be full) succeed, and it closes and frees the file.
void discard(const std::string& name);
// Holds the metadata cache of the HDF5 file `name` (open, and created by this thread) at a fixed
// size: entries beyond it go to the file, and memory stays flat whatever its size.
void hold_metadata_cache(const std::string& name);

// Hands a file's written pages to the disk as it grows and drops them from the page cache once
// they are there, so that the file takes no more memory than a window of its last bytes.
struct PageRelease {
  int fd = -1;           // the file, read only; -1: none
  long long next = 0;    // the size at which pages are released next
};
void release_open(PageRelease& r, const std::string& name);
// Call after writing: starts the disk writes of everything written and drops what went before.
void release_written(PageRelease& r);
void release_close(PageRelease& r);

}  // namespace skelv::nc
