#include "output/netcdf/nc_dataset.h"

#include <H5ACpublic.h>
#include <H5Fpublic.h>
#include <H5Ppublic.h>
#include <H5public.h>
#include <malloc.h>
#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>

#include "output/out_file.h"

namespace skelv::nc {
namespace {

constexpr std::size_t kMaxQueued = 2;  // blocks waiting for the writer
constexpr int kDeflateLevel = 1;
constexpr std::size_t kDeflateAllBelow = 4096;  // rows per block: dimensions whose columns all deflate
// The HDF5 metadata cache of a file (its chunk index above all) stays this size: it otherwise
// grows with the file, by about 40 KB per MiB of image.
constexpr std::size_t kMetadataCache = std::size_t{1} << 20;
constexpr int kFreeLists = 1 << 20;
constexpr std::size_t kTrimEvery = 64;  // tasks of the writer between returns of freed pages  // bytes of freed blocks the library keeps per kind

nc_type nc_type_of(Type t) {
  switch (t) {
    case Type::kByte: return NC_BYTE;
    case Type::kUByte: return NC_UBYTE;
    case Type::kShort: return NC_SHORT;
    case Type::kInt: return NC_INT;
    case Type::kFloat: return NC_FLOAT;
    case Type::kDouble: return NC_DOUBLE;
    case Type::kString: return NC_STRING;
  }
  return NC_DOUBLE;
}

std::size_t type_size(Type t) {
  switch (t) {
    case Type::kByte:
    case Type::kUByte: return 1;
    case Type::kShort: return 2;
    case Type::kInt:
    case Type::kFloat: return 4;
    default: return 8;
  }
}

// The library's default fill of each type; what a row without a value reads as.
double fill_of(Type t) {
  switch (t) {
    case Type::kByte: return NC_FILL_BYTE;
    case Type::kUByte: return NC_FILL_UBYTE;
    case Type::kShort: return NC_FILL_SHORT;
    case Type::kInt: return NC_FILL_INT;
    case Type::kFloat: return NC_FILL_FLOAT;
    default: return NC_FILL_DOUBLE;
  }
}

// The fill value of a type in its own bytes, and the range of values an integer type holds.
template <class T>
void describe(Column& c, T fill, double low, double high) {
  c.size = sizeof(T);
  std::memcpy(c.fill, &fill, sizeof fill);
  c.low = low;
  c.high = high;
}

void describe(Column& c) {
  switch (c.def.type) {
    case Type::kByte: describe<std::int8_t>(c, NC_FILL_BYTE, -128, 127); return;
    case Type::kUByte: describe<std::uint8_t>(c, NC_FILL_UBYTE, 0, 255); return;
    case Type::kShort: describe<std::int16_t>(c, NC_FILL_SHORT, -32768, 32767); return;
    case Type::kInt: describe<std::int32_t>(c, NC_FILL_INT, -2147483648.0, 2147483647.0); return;
    case Type::kFloat: describe<float>(c, NC_FILL_FLOAT, 0, 0); return;
    case Type::kDouble: describe<double>(c, NC_FILL_DOUBLE, 0, 0); return;
    case Type::kString: c.size = 0; return;
  }
}

}  // namespace

Worker::Worker() : thread_([this] { loop(); }) {}

Worker::~Worker() { finish(); }

void Worker::post(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return tasks_.size() < kMaxQueued; });
  tasks_.push_back(std::move(task));
  changed_.notify_all();
}

void Worker::drain() {
  std::promise<void> done;
  post([&done] { done.set_value(); });
  done.get_future().wait();
}

void Worker::finish() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void Worker::loop() {
  for (std::size_t done = 1;; ++done) {
    // The library's blocks of many sizes, freed in another order than taken, would otherwise
    // spread the heap over more and more pages.
    if (done % kTrimEvery == 0) malloc_trim(0);
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
      changed_.notify_all();
    }
    task();
  }
}


namespace {

// Makes way for a new FINAL.partial: the leftover of an interrupted run goes when it is a
// regular file of this user; anything else under that name is refused. Empty when clear.
std::string clear_partial(const std::string& partial) {
  struct stat st {};
  if (::lstat(partial.c_str(), &st) != 0) return errno == ENOENT ? "" : std::strerror(errno);
  if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return partial + " is in the way";
  if (::unlink(partial.c_str()) != 0) return partial + ": " + std::strerror(errno);
  return "";
}

// The HDF5 identifier of the open file `name`, negative when there is none.
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

// Gives up the file `name`: removes it and points the library's descriptor at /dev/null, so that
// the library's last writes (the disk may be full) succeed, and it closes and frees the file.
void discard(const std::string& name) {
  ::unlink(name.c_str());
  const hid_t id = hdf5_file(name);
  void* handle = nullptr;
  if (id < 0 || H5Fget_vfd_handle(id, H5P_DEFAULT, &handle) < 0 || handle == nullptr) return;
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  ::dup2(null, *static_cast<int*>(handle));
  ::close(null);
}

// Holds the metadata cache of the HDF5 file `name` (open, and created by this thread) at
// kMetadataCache: entries beyond it go to the file, and memory stays flat whatever its size.
// Its chunk indexes are extensible arrays (HDF5 1.10), whose memory does not grow with the file.
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

}  // namespace

void keep_library_at_exit() {
  H5dont_atexit();
  // The library keeps freed blocks for reuse, up to 16 MiB and more of them: a few suffice here.
  H5set_free_list_limits(kFreeLists, kFreeLists / 4, kFreeLists, kFreeLists / 4, kFreeLists, kFreeLists / 4);
}

Dataset::Dataset(Worker& worker, std::string path, TextAttrs globals)
    : worker_(worker), path_(std::move(path)), partial_(path_ + ".partial") {
  groups_.emplace_back("", "");
  worker_.post([this, globals = std::move(globals)] { create(globals); });
}

Dataset::~Dataset() = default;

void Dataset::create(const TextAttrs& globals) {
  // The final name too must be free to take the file when it is whole.
  std::string in_the_way = out_name_free(path_.c_str()) ? clear_partial(partial_) : path_ + " is in the way";
  // The old file goes now, as for every output (see out_open).
  if (in_the_way.empty() && ::unlink(path_.c_str()) != 0 && errno != ENOENT) in_the_way = path_ + ": " + std::strerror(errno);
  if (!in_the_way.empty()) {
    errors_.push_back("create: " + in_the_way);
    return;
  }
  // No clobber: the library creates the file exclusively, so a link put there meanwhile is refused.
  if (!check(nc_create(partial_.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &ncid_), "create")) {
    ncid_ = -1;
    return;
  }
  created_ = true;
  hold_metadata_cache(partial_);
  for (const auto& [name, value] : globals) {
    check(nc_put_att_text(ncid_, NC_GLOBAL, name.c_str(), value.size(), value.data()), "global attribute");
  }
}

int Dataset::add_group(const std::string& name, const std::string& title) {
  groups_.emplace_back(name, title);
  return static_cast<int>(groups_.size()) - 1;
}

int Dataset::add_dim(const std::string& name, std::size_t block, int group) {
  Dim d;
  d.name = name;
  d.group = group;
  d.block = block;
  dims_.push_back(std::move(d));
  return static_cast<int>(dims_.size()) - 1;
}

int Dataset::add_twin_dim(int of) {
  Dim d = dims_[of];
  d.rows = d.written = 0;
  d.columns.clear();
  d.twin_of = of;
  dims_.push_back(std::move(d));
  return static_cast<int>(dims_.size()) - 1;
}

int Dataset::add_column(int dim, VarSpec def, int group) {
  auto c = std::make_unique<Column>();
  c->def = std::move(def);
  c->dim = dim;
  c->group = group >= 0 ? group : dims_[dim].group;
  describe(*c);
  refill(*c);
  columns_.push_back(std::move(c));
  const int id = static_cast<int>(columns_.size()) - 1;
  dims_[dim].columns.push_back(id);
  return id;
}

void Dataset::fill_block(const Column& c, unsigned char* p, std::size_t rows) {
  if (!c.def.fill || rows == 0) return;
  // One value, then copies of what is filled so far, doubling.
  const std::size_t total = rows * c.size;
  std::memcpy(p, c.fill, c.size);
  for (std::size_t done = c.size; done < total; done *= 2) std::memcpy(p + done, p, std::min(done, total - done));
}

bool Dataset::holds_value(const Column& c, std::size_t rows) const {
  if (c.any) return true;
  if (!c.def.fill) return false;  // (lazy columns have a fill)
  if (rows == 0) return false;
  // Every row the first one's bytes (the block against itself shifted by a row), and that the fill.
  const unsigned char* p = c.bytes.get();
  return std::memcmp(p, c.fill, c.size) != 0 || std::memcmp(p, p + c.size, (rows - 1) * c.size) != 0;
}

void Dataset::refill(Column& c) {
  const std::size_t n = dims_[c.dim].block;
  if (c.def.type == Type::kString) {
    c.texts.assign(n, std::string());
  } else {
    // A row of a column without fill always gets a value; the others start as the fill. A block
    // the writer has finished with comes back filled: no new pages, and no filling here.
    {
      std::lock_guard lock(spare_mutex_);
      if (!c.spare.empty()) {
        c.bytes = std::move(c.spare.back());
        c.spare.pop_back();
      }
    }
    if (!c.bytes) {
      c.bytes = std::make_unique_for_overwrite<unsigned char[]>(n * c.size);
      fill_block(c, c.bytes.get(), n);
    }
  }
  c.any = false;
}

void Dataset::set_text(int column, std::string text) {
  Column& c = *columns_[column];
  c.texts[dims_[c.dim].rows] = std::move(text);
  c.any = true;
}

bool Dataset::check(int status, const char* what) {
  if (status == NC_NOERR) return true;
  // The first failure says what went wrong; later calls are not made (usable() turns false).
  if (errors_.empty()) errors_.push_back(std::string(what) + ": " + nc_strerror(status));
  return false;
}

void Dataset::define() {
  worker_.post([this] {
    if (!usable()) return;
    group_ids_.assign(groups_.size(), ncid_);
    for (std::size_t g = 1; g < groups_.size(); ++g) {
      if (!check(nc_def_grp(ncid_, groups_[g].first.c_str(), &group_ids_[g]), "group")) return;
      const std::string& title = groups_[g].second;
      check(nc_put_att_text(group_ids_[g], NC_GLOBAL, "title", title.size(), title.data()), "group attribute");
    }
    for (Dim& d : dims_) {
      if (d.twin_of >= 0) {
        d.dimid = dims_[d.twin_of].dimid;
      } else {
        check(nc_def_dim(group_ids_[d.group], d.name.c_str(), NC_UNLIMITED, &d.dimid), "dimension");
      }
    }
    for (auto& c : columns_) {
      if (!c->def.lazy) define_var(*c);
    }
  });
}

void Dataset::define_var(Column& c) {
  if (!usable()) return;
  const VarSpec& s = c.def;
  const Dim& d = dims_[c.dim];
  const int id = group_ids_[c.group];
  if (!check(nc_def_var(id, s.name.c_str(), nc_type_of(s.type), 1, &d.dimid, &c.varid), "variable")) return;
  const std::size_t chunk = d.block;
  check(nc_def_var_chunking(id, c.varid, NC_CHUNKED, &chunk), "chunking");
  const bool compressed = s.deflate || d.block < kDeflateAllBelow;
  if (s.type != Type::kString) {
    // Deflate costs the writer more time than the decoder spends on a sample, so only what it
    // shrinks most for the least time is compressed: the rows of the short dimensions and the
    // columns that ask for it.
    if (compressed) {
      check(nc_def_var_deflate(id, c.varid, type_size(s.type) > 1 ? 1 : 0, 1, kDeflateLevel), "deflate");
    }
    // Whole chunks are written once. Uncompressed, they go straight to the file when the
    // chunk cache is smaller than a chunk; compressed, the cache holds little more than one.
    const std::size_t bytes = chunk * type_size(s.type);
    nc_set_var_chunk_cache(id, c.varid, compressed ? 2 * bytes : bytes - 1, compressed ? 7 : 1, 1.0f);
    // Every block of a column defined from the start is written whole, fill values included: the
    // library need not fill a chunk before the block goes into it. (A lazy column's chunks
    // before its first value are never written, and read as its fill.)
    if (!s.lazy) check(nc_def_var_fill(id, c.varid, NC_NOFILL, nullptr), "fill mode");
  }
  const auto text = [&](const char* name, const std::string& value) {
    if (!value.empty()) check(nc_put_att_text(id, c.varid, name, value.size(), value.data()), "attribute");
  };
  text("standard_name", s.standard_name);
  text("long_name", s.long_name);
  text("units", s.units);
  if (s.fill) {
    const double f = fill_of(s.type);
    check(nc_put_att_double(id, c.varid, "_FillValue", nc_type_of(s.type), 1, &f), "fill");
  }
  if (s.scale_factor != 0.0) check(nc_put_att_double(id, c.varid, "scale_factor", NC_DOUBLE, 1, &s.scale_factor), "scale");
  for (const auto& [name, value] : s.text_attrs) text(name.c_str(), value);
  for (const auto& [name, values] : s.int_attrs) {
    std::vector<double> v(values.begin(), values.end());
    check(nc_put_att_double(id, c.varid, name.c_str(), nc_type_of(s.type), v.size(), v.data()), "attribute");
  }
}

void Dataset::flush(int dim) {
  Dim& d = dims_[dim];
  const std::size_t start = d.written;
  const std::size_t n = d.rows;
  d.written += n;
  d.rows = 0;
  if (n == 0) return;
  // The whole block is one task: the writer takes it while the decoder fills the next one.
  struct Part {
    Column* column;
    std::unique_ptr<unsigned char[]> bytes;
    std::vector<std::string> texts;
  };
  auto parts = std::make_shared<std::vector<Part>>();
  for (int id : d.columns) {
    Column& c = *columns_[id];
    if (c.def.lazy && !c.started && !holds_value(c, n)) {
      // Nothing to write yet; a later block that has a value defines the variable, and these
      // rows read as its fill value.
      continue;
    }
    c.started = true;
    parts->push_back(Part{&c, std::move(c.bytes), std::move(c.texts)});
    refill(c);
  }
  worker_.post([this, parts, start, n, block = d.block] {
    for (Part& part : *parts) {
      Column& c = *part.column;
      if (c.varid < 0) define_var(c);  // a lazy column's first block with a value
      if (!usable() || c.varid < 0) break;
      const int id = group_ids_[c.group];
      if (c.def.type == Type::kString) {
        std::vector<const char*> p(n);
        for (std::size_t i = 0; i < n; ++i) p[i] = part.texts[i].c_str();
        check(nc_put_vara_string(id, c.varid, &start, &n, p.data()), "write");
      } else {
        check(nc_put_vara(id, c.varid, &start, &n, part.bytes.get()), "write");
      }
    }
    // The blocks go back filled for their next rows.
    for (Part& part : *parts) {
      if (part.bytes) fill_block(*part.column, part.bytes.get(), block);
    }
    std::lock_guard lock(spare_mutex_);
    for (Part& part : *parts) {
      if (part.bytes) part.column->spare.push_back(std::move(part.bytes));
    }
  });
}

void Dataset::put_global(const std::string& name, const std::string& value) {
  worker_.post([this, name, value] {
    if (usable()) check(nc_put_att_text(ncid_, NC_GLOBAL, name.c_str(), value.size(), value.data()), "global attribute");
  });
}

void Dataset::put_global_int(const std::string& name, int value) {
  worker_.post([this, name, value] {
    if (usable()) check(nc_put_att_int(ncid_, NC_GLOBAL, name.c_str(), NC_INT, 1, &value), "global attribute");
  });
}

void Dataset::put_global_double(const std::string& name, double value) {
  worker_.post([this, name, value] {
    if (usable()) check(nc_put_att_double(ncid_, NC_GLOBAL, name.c_str(), NC_DOUBLE, 1, &value), "global attribute");
  });
}

void Dataset::sync() {
  for (std::size_t d = 0; d < dims_.size(); ++d) flush(static_cast<int>(d));
  worker_.post([this] {
    if (ncid_ >= 0 && errors_.empty()) check(nc_sync(ncid_), "write");
  });
}

void Dataset::close() {
  for (std::size_t d = 0; d < dims_.size(); ++d) flush(static_cast<int>(d));
  worker_.post([this] { finish_file(); });
}

void Dataset::finish_file() {
  if (ncid_ >= 0) {
    // Everything goes to the disk first, so that a failure shows before the close; a file that
    // failed is given up, and the close then frees it. A close that fails all the same leaves the
    // file to the process's end (see keep_library_at_exit).
    if (errors_.empty()) check(nc_sync(ncid_), "write");
    if (!errors_.empty()) discard(partial_);
    const int status = nc_close(ncid_);
    ncid_ = -1;
    if (status != NC_NOERR) {
      errors_.push_back(std::string("close: ") + nc_strerror(status));
      // The library holds the file still: given up, it closes now.
      discard(partial_);
      const hid_t id = hdf5_file(partial_);
      if (id >= 0) H5Fclose(id);
    }
  }
  if (!created_) return;
  if (errors_.empty() && std::rename(partial_.c_str(), path_.c_str()) == 0) return;
  if (errors_.empty()) errors_.push_back(std::string("rename: ") + std::strerror(errno));
  ::unlink(partial_.c_str());
}

}  // namespace skelv::nc
