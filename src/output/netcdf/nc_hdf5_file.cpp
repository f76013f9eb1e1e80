#include "output/netcdf/nc_hdf5_file.h"

#include <H5ACpublic.h>
#include <H5Fpublic.h>
#include <H5Ppublic.h>
#include <H5public.h>
#include <fcntl.h>
#include <unistd.h>

#include "output/netcdf/nc_dataset.h"

namespace skelv::nc {
namespace {

// The HDF5 metadata cache of a file (its chunk index above all) stays this size: it otherwise
// grows with the file, by about 40 KB per MiB of image.
constexpr std::size_t kMetadataCache = std::size_t{1} << 20;
constexpr int kFreeLists = 1 << 20;  // bytes of freed blocks the library keeps per kind

}  // namespace

hid_t hdf5_file(const std::string& name) {
  hid_t ids[16];
  const ssize_t n = H5Fget_obj_ids(H5F_OBJ_ALL, H5F_OBJ_FILE, 16, ids);
  for (ssize_t i = 0; i < n; ++i) {
    char open_name[4096];
    const ssize_t length = H5Fget_name(ids[i], open_name, sizeof open_name);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof open_name && name == open_name) return ids[i];
  }
  return -1;
}

namespace {

// The library's own descriptor of the open file `name`, null when there is none.
int* library_descriptor(const std::string& name) {
  const hid_t id = hdf5_file(name);
  void* handle = nullptr;
  if (id < 0 || H5Fget_vfd_handle(id, H5P_DEFAULT, &handle) < 0) return nullptr;
  return static_cast<int*>(handle);
}

}  // namespace

int hdf5_descriptor(const std::string& name) {
  const int* fd = library_descriptor(name);
  return fd != nullptr ? ::fcntl(*fd, F_DUPFD_CLOEXEC, 0) : -1;
}

void discard(const std::string& name) {
  ::unlink(name.c_str());
  int* fd = library_descriptor(name);
  if (fd == nullptr) return;
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  ::dup2(null, *fd);
  ::close(null);
}

// The file's chunk indexes are extensible arrays (HDF5 1.10), whose memory does not grow with it.
void hold_metadata_cache(const std::string& name) {
  const hid_t id = hdf5_file(name);
  if (id < 0) return;
  H5Fset_libver_bounds(id, H5F_LIBVER_V110, H5F_LIBVER_LATEST);
  H5AC_cache_config_t config{};
  config.version = H5AC__CURR_CACHE_CONFIG_VERSION;
  if (H5Fget_mdc_config(id, &config) < 0) return;
  config.set_initial_size = true;
  config.initial_size = config.min_size = config.max_size = kMetadataCache;
  config.incr_mode = H5C_incr__off;
  config.flash_incr_mode = H5C_flash_incr__off;
  config.decr_mode = H5C_decr__off;
  H5Fset_mdc_config(id, &config);
}

void keep_library_at_exit() {
  H5dont_atexit();
  // The library keeps freed blocks for reuse, up to 16 MiB and more of them: a few suffice here.
  H5set_free_list_limits(kFreeLists, kFreeLists / 4, kFreeLists, kFreeLists / 4, kFreeLists, kFreeLists / 4);
}

}  // namespace skelv::nc
