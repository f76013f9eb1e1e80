#include "output/netcdf/nc_dataset.h"

#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/netcdf/nc_hdf5_file.h"
#include "output/out_file.h"

namespace skelv::nc {
namespace {

constexpr std::size_t kStageRows = 128;  // rows staged at most (a dimension's block holds a whole number)
constexpr int kDeflateLevel = 1;
constexpr std::size_t kDeflateAllBelow = 4096;  // rows per block: dimensions whose columns all deflate
// Chunks of this many bytes and more start on a multiple of it in the file, so that the page cache
// takes each chunk's write in large pages, which costs the kernel less per byte than small ones
// (about a tenth of its time on the files). The gaps before them add under 0.2 % to a file.
constexpr int kChunkAlignment = 256 * 1024;

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

}  // namespace

Dataset::Dataset(Worker& worker, std::string path, TextAttrs globals)
    : worker_(worker), path_(std::move(path)), partial_(path_ + ".partial") {
  groups_.emplace_back("", "");
  worker_.post([this, globals = std::move(globals)] { create(globals); });
}

Dataset::~Dataset() { release_close(release_); }

void Dataset::create(const TextAttrs& globals) {
  // The final name too must be free to take the file when it is whole.
  std::string in_the_way = out_name_free(path_.c_str()) ? clear_partial(partial_) : path_ + " is in the way";
  // The old file goes now, as for every output (see out_open).
  if (in_the_way.empty() && ::unlink(path_.c_str()) != 0 && errno != ENOENT) in_the_way = path_ + ": " + std::strerror(errno);
  if (!in_the_way.empty()) {
    errors_.push_back("create: " + in_the_way);
    return;
  }
  nc_set_alignment(kChunkAlignment, kChunkAlignment);  // refused only for negative values
  // No clobber: the library creates the file exclusively, so a link put there meanwhile is refused.
  if (!check(nc_create(partial_.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &ncid_), "create")) {
    ncid_ = -1;
    return;
  }
  created_ = true;
  hold_metadata_cache(partial_);
  release_open(release_, hdf5_descriptor(partial_));
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

void Dataset::refill(Column& c) {
  const std::size_t n = dims_[c.dim].block;
  if (c.def.type == Type::kString) {
    c.texts.assign(n, std::string());
  } else {
    // Every row of a block comes from the stage, values or fill: a block needs no filling.
    {
      std::lock_guard lock(spare_mutex_);
      if (!c.spare.empty()) {
        c.bytes = std::move(c.spare.back());
        c.spare.pop_back();
      }
    }
    if (!c.bytes) c.bytes = std::make_unique_for_overwrite<unsigned char[]>(n * c.size);
  }
  c.any = false;
}

void Dataset::set_text(int column, std::string text) {
  Column& c = *columns_[column];
  const Dim& d = dims_[c.dim];
  c.texts[d.rows + d.staged] = std::move(text);
  c.any = true;
}

bool Dataset::check(int status, const char* what) {
  if (status == NC_NOERR) return true;
  // The first failure says what went wrong; later calls are not made (usable() turns false).
  if (errors_.empty()) errors_.push_back(std::string(what) + ": " + nc_strerror(status));
  return false;
}

void Dataset::define() {
  // Each dimension's stage: its columns' values side by side, each column's rows in a run; it
  // starts as the fill values, kept beside it to start again from.
  for (Dim& d : dims_) {
    d.stage_rows = std::min(d.block, kStageRows);
    std::size_t bytes = 0;
    for (int id : d.columns) bytes += d.stage_rows * columns_[id]->size;
    d.stage.assign(bytes, 0);
    d.stage_fill.assign(bytes, 0);
    std::size_t at = 0;
    for (int id : d.columns) {
      Column& c = *columns_[id];
      c.stage = d.stage.data() + at;
      c.stage_fill = d.stage_fill.data() + at;
      fill_block(c, d.stage_fill.data() + at, d.stage_rows);
      c.unwritten = c.def.lazy;
      at += d.stage_rows * c.size;
    }
    std::copy(d.stage_fill.begin(), d.stage_fill.end(), d.stage.begin());
  }
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
    // Every row is written, fill values included (a lazy column's rows before its first block
    // with a value when that block comes): the library never fills a chunk before a block goes
    // into it.
    check(nc_def_var_fill(id, c.varid, NC_NOFILL, nullptr), "fill mode");
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

namespace {

// Copies `n` bytes past the caches where it can: the block is read next by the writer's thread,
// not by this one, and a plain copy would first read every line of it from memory.
void copy_out(unsigned char* to, const unsigned char* from, std::size_t n) {
#if defined(__SSE2__)
  if (reinterpret_cast<std::uintptr_t>(to) % 16 == 0 && n % 64 == 0) {
    for (std::size_t i = 0; i < n; i += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 32));
      const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 48));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + i), a);
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 48), e);
    }
    return;
  }
#endif
  std::memcpy(to, from, n);
}

// The copies past the caches are seen by every thread that learns of them after this.
void copies_out_done() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

}  // namespace

void Dataset::unstage(Dim& d) {
  if (d.staged == 0) return;
  for (int id : d.columns) {
    Column& c = *columns_[id];
    if (c.size == 0) continue;
    const std::size_t n = d.staged * c.size;
    if (c.unwritten) {
      // A channel the data may never have: its rows stay out of the block until a value comes.
      if (!c.any && std::memcmp(c.stage, c.stage_fill, n) == 0) continue;
      fill_block(c, c.bytes.get(), d.rows);
      c.unwritten = false;
    }
    copy_out(c.bytes.get() + d.rows * c.size, c.stage, n);
  }
  std::memcpy(d.stage.data(), d.stage_fill.data(), d.stage.size());
  d.rows += d.staged;
  d.staged = 0;
}

void Dataset::flush(int dim) {
  Dim& d = dims_[dim];
  unstage(d);
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
  copies_out_done();
  auto parts = std::make_shared<std::vector<Part>>();
  for (int id : d.columns) {
    Column& c = *columns_[id];
    if (c.unwritten && !c.any) {
      // Nothing to write yet; a later block that has a value defines the variable, and these
      // rows read as its fill value.
      continue;
    }
    c.unwritten = false;
    parts->push_back(Part{&c, std::move(c.bytes), std::move(c.texts)});
    refill(c);
  }
  worker_.post([this, parts, start, n] {
    for (Part& part : *parts) {
      Column& c = *part.column;
      if (c.varid < 0) {  // a lazy column's first block with a value
        define_var(c);
        if (c.varid >= 0 && c.def.type != Type::kString) write_fill(c, start);
      }
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
    release_written(release_);
    std::lock_guard lock(spare_mutex_);
    for (Part& part : *parts) {
      if (part.bytes) part.column->spare.push_back(std::move(part.bytes));
    }
  });
}

void Dataset::write_fill(Column& c, std::size_t rows) {
  const std::size_t block = dims_[c.dim].block;
  const auto fill = std::make_unique_for_overwrite<unsigned char[]>(block * c.size);
  fill_block(c, fill.get(), block);
  for (std::size_t from = 0; from < rows && usable(); from += block) {
    const std::size_t n = std::min(block, rows - from);
    check(nc_put_vara(group_ids_[c.group], c.varid, &from, &n, fill.get()), "write");
  }
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
    release_close(release_);
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
