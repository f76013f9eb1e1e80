// What the NetCDF files need of the HDF5 library beneath them: their HDF5 file found by name,
// given up on a full disk, and held to a flat memory footprint.
#pragma once
#include <hdf5.h>

#include <string>

namespace skelv::nc {

// The HDF5 identifier of the open file `name`, negative when there is none.
hid_t hdf5_file(const std::string& name);
// A descriptor of its own for the open file `name` (the library's, duplicated), -1 when there is
// none.
int hdf5_descriptor(const std::string& name);
// Gives up the file `name`: removes it and points the library's descriptor at /dev/null, so that
// the library's last writes (the disk may be full) succeed, and it closes and frees the file.
void discard(const std::string& name);
// Holds the metadata cache of the HDF5 file `name` (open, and created by this thread) at a fixed
// size: entries beyond it go to the file, and memory stays flat whatever its size.
void hold_metadata_cache(const std::string& name);

}  // namespace skelv::nc
