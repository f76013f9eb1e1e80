// A NetCDF-4 file written as blocks of rows along unlimited dimensions.
//
// The decoder's thread fills a few rows at a time in a stage small enough to stay in the
// processor's cache, column by column, and moves them into the block in one copy per column; a
// full block goes to one writer thread, which alone calls the NetCDF library (definition,
// compression, writing). Memory stays bounded: a few blocks per dimension are in flight at a
// time, whatever the image's size.
//
// The file is written as FINAL.partial, created new (never through a link, never into an existing
// file), and renamed onto FINAL only once it is complete and closed without error; a file that
// failed is removed, and an older FINAL stays as it was.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "output/netcdf/nc_page_release.h"

namespace skelv::nc {

// Runs tasks in order on its own thread; post() waits while too many tasks are queued.
class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  void post(std::function<void()> task);
  // Waits until every task posted so far has run.
  void drain();
  // Runs every task posted so far and ends the thread.
  void finish();

 private:
  void loop();
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

enum class Type { kByte, kUByte, kShort, kInt, kFloat, kDouble, kString };

using TextAttrs = std::vector<std::pair<std::string, std::string>>;

// One variable along one dimension.
struct VarSpec {
  std::string name;
  Type type = Type::kFloat;
  std::string units;          // empty: none
  std::string standard_name;  // empty: none
  std::string long_name;
  bool fill = false;          // has a _FillValue; unset rows read as it
  double scale_factor = 0.0;  // non-zero: stored packed, value = stored * scale_factor
  bool lazy = false;          // defined only once a block holds a value
  bool deflate = false;       // compressed (with shuffle) whatever its type and dimension
  TextAttrs text_attrs;
  std::vector<std::pair<std::string, std::vector<int>>> int_attrs;  // flag_values, flag_masks
};

class Dataset;

// A buffered column of one dimension, in the variable's own type: the library copies it as is.
struct Column {
  VarSpec def;
  int dim = 0;
  int group = 0;                        // index into the dataset's groups; 0: the root
  std::size_t size = 8;                 // bytes per value
  unsigned char fill[8] = {};           // the type's fill value, in its own bytes
  double low = 0.0, high = 0.0;         // integer types: values outside store the fill
  unsigned char* stage = nullptr;       // the staged rows' values, in the dimension's stage
  const unsigned char* stage_fill = nullptr;  // the stage's fill values
  std::unique_ptr<unsigned char[]> bytes;  // the block's values
  std::vector<std::unique_ptr<unsigned char[]>> spare;  // blocks written, for use again (spare_mutex_)
  std::vector<std::string> texts;       // Type::kString
  bool any = false;                // the block holds a value set by set() or set_text()
  bool unwritten = false;          // lazy, no value yet: its rows so far are fill, and not in the block
  int varid = -1;                  // writer thread only
};

struct Dim {
  std::string name;
  int group = 0;
  std::size_t block = 0;  // rows per block and per chunk
  std::size_t rows = 0;   // rows in the current block, staged rows aside
  std::size_t stage_rows = 0;  // rows staged before they move into the block
  std::size_t staged = 0;      // rows in the stage
  std::vector<unsigned char> stage;       // each column's stage_rows values in turn
  std::vector<unsigned char> stage_fill;  // the stage as it starts: the fill values
  std::size_t written = 0;  // rows handed to the writer before this block
  std::vector<int> columns;
  int twin_of = -1;  // the dimension whose netCDF dimension this one writes too; -1: its own
  int dimid = -1;  // writer thread only
};

class Dataset {
 public:
  // The file is created on the writer thread; a failure shows in errors() after finish().
  Dataset(Worker& worker, std::string path, TextAttrs globals);
  ~Dataset();

  // A group below the root (index 0), with its title as `long_name`-like attribute `title`.
  int add_group(const std::string& name, const std::string& title);
  // Dimensions are defined in the order they are added: a file's first unlimited dimension is
  // the one that grid-minded readers take as their time axis.
  int add_dim(const std::string& name, std::size_t block, int group = 0);
  // Rows of dimension `of`, written from the first on by rows of their own: for columns whose
  // values come later than the rest of their rows (and in row order).
  int add_twin_dim(int of);
  // A column along `dim`, defined in `group` (by default the dimension's own).
  int add_column(int dim, VarSpec def, int group = -1);
  // Defines the groups, dimensions and every column that is not lazy; call once after adding them.
  void define();

  // Sets a value of the row in progress of the column's dimension.
  [[gnu::always_inline]] void set(int column, double value) {
    Column& c = *columns_[column];
    store(c, c.stage + dims_[c.dim].staged * c.size, value);
    c.any = true;
  }
  // The row in progress of a dimension, in its stage: the row of the pointers stage() gives.
  std::size_t row(int dim) const { return dims_[dim].staged; }
  // The stage of a column whose type is T, fixed once define() has run: a value set at row(dim)
  // is the row's value, as it is (for values in the type's range). Whether a lazy column's block
  // holds a value is seen at flush, from its values.
  template <class T>
  T* stage(int column) const {
    return reinterpret_cast<T*>(columns_[column]->stage);
  }
  void set_text(int column, std::string text);
  // Ends the row in progress; a full block goes to the writer.
  void end_row(int dim) {
    Dim& d = dims_[dim];
    if (++d.staged == d.stage_rows) {
      unstage(d);
      if (d.rows == d.block) flush(dim);
    }
  }
  std::size_t rows(int dim) const { return dims_[dim].written + dims_[dim].rows + dims_[dim].staged; }

  void put_global(const std::string& name, const std::string& value);
  void put_global_int(const std::string& name, int value);
  void put_global_double(const std::string& name, double value);
  // Writes the last blocks, closes the file and moves it onto its final name (on the writer
  // thread). A file that failed is removed.
  // Writes the blocks in progress and has the library put everything on the disk, so that a
  // failure shows in errors() once the worker is drained.
  void sync();
  void close();
  const std::string& path() const { return path_; }
  // Every failure of the file (creation, definition, writing, closing, the move into place),
  // empty when none; read after the worker has finished.
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  void flush(int dim);
  // Moves the staged rows into the block and starts the stage again as fill.
  void unstage(Dim& d);
  [[gnu::always_inline]] static void store(const Column& c, unsigned char* at, double value) {
    switch (c.def.type) {
      case Type::kFloat: put(at, static_cast<float>(value)); return;
      case Type::kDouble: put(at, value); return;
      default: break;
    }
    // Not a number, or out of the type's range: the fill value (as the library would refuse it).
    if (!(value >= c.low && value <= c.high)) {
      std::memcpy(at, c.fill, c.size);
      return;
    }
    switch (c.def.type) {
      case Type::kByte: put(at, static_cast<std::int8_t>(value)); return;
      case Type::kUByte: put(at, static_cast<std::uint8_t>(value)); return;
      case Type::kShort: put(at, static_cast<std::int16_t>(value)); return;
      case Type::kInt: put(at, static_cast<std::int32_t>(value)); return;
      default: return;
    }
  }
  template <class T>
  static void put(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
  }
  void refill(Column& c);
  // Writes the first `rows` rows of a lazy column as its fill (writer thread).
  void write_fill(Column& c, std::size_t rows);
  static void fill_block(const Column& c, unsigned char* p, std::size_t rows);
  // Writer thread only.
  void create(const TextAttrs& globals);
  void define_var(Column& c);
  bool check(int status, const char* what);
  bool usable() const { return ncid_ >= 0 && errors_.empty(); }
  void finish_file();

  Worker& worker_;
  std::string path_;
  std::string partial_;
  bool created_ = false;  // partial_ is ours
  int ncid_ = -1;
  PageRelease release_;  // writer thread only
  std::vector<std::string> errors_;
  std::vector<std::pair<std::string, std::string>> groups_;  // name, title; [0] the root
  std::vector<int> group_ids_;
  std::vector<Dim> dims_;
  std::vector<std::unique_ptr<Column>> columns_;
  std::mutex spare_mutex_;
};

// Keeps the HDF5 library from tidying up at process exit: after a write that failed on a full
// disk, that tidying flushes the file again and crashes or loops. Files are closed (or given up)
// by the datasets themselves. Call before the first file is created.
void keep_library_at_exit();

}  // namespace skelv::nc
