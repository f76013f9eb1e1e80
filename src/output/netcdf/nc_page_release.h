// What the page cache holds of a NetCDF file being written: its written pages go to the disk as
// it grows and leave the cache once they are there, so that the file takes no more memory than a
// window of its last bytes (memory the kernel would otherwise take fresh for every page).
//
// Where the disk has room to spare, the file's blocks are also reserved ahead of its writes, a
// few tens of MiB at a time: the file system then maps each page written to a block it already
// has, instead of reserving one page by page. What the file did not take is given back at close.
#pragma once

namespace skelv::nc {

struct PageRelease {
  int fd = -1;               // the file (a descriptor of its own); -1: none
  long long next = 0;        // the size at which pages are released next
  long long reserved = 0;    // blocks are reserved up to here
  bool reserve = false;      // the disk had room to spare at the start
};
// Takes over `fd`, a descriptor of the file open for writing (none when negative).
void release_open(PageRelease& r, int fd);
// Call after writing: starts the disk writes of everything written and drops what went before.
void release_written(PageRelease& r);
// Gives back the blocks reserved past the file's end and closes the descriptor.
void release_close(PageRelease& r);

}  // namespace skelv::nc
