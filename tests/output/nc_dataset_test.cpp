// Blocks of a NetCDF dataset as the file holds them (values in each variable's own type, fill
// values where a row got none or a value its type can't hold, blocks joined in order), and the
// file's way into place: written as FINAL.partial, moved onto FINAL only when it is whole.
#ifdef SKELV_TEST_NETCDF
#include "output/netcdf/nc_dataset.h"

#include <gtest/gtest.h>
#include <hdf5.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <limits>
#include <vector>

#include "support/test_support.h"

namespace skelv::nc {
namespace {

VarSpec var(const std::string& name, Type type, bool fill, bool lazy = false) {
  VarSpec v;
  v.name = v.long_name = name;
  v.type = type;
  v.units = std::string("1");
  v.fill = fill;
  v.lazy = lazy;
  return v;
}

// A whole variable of `rows` rows, read in its own type.
template <class T>
std::vector<T> read(int ncid, const char* name, std::size_t rows = 5) {
  int id = -1;
  std::vector<T> values(rows);
  EXPECT_EQ(nc_inq_varid(ncid, name, &id), NC_NOERR) << name;
  EXPECT_EQ(nc_get_var(ncid, id, values.data()), NC_NOERR) << name;
  return values;
}

// Closes the file, lets the writer finish it and opens what it wrote (-1 when it can't).
int finish_and_open(Dataset& ds, Worker& worker, const std::string& path) {
  ds.close();
  worker.finish();
  EXPECT_TRUE(ds.errors().empty());
  int ncid = -1;
  EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  return ncid;
}

TEST(NcDataset, StoresEachTypeWithFillsForMissingAndUnfitValuesAcrossBlocks) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  int ncid = -1;
  {
    Worker worker;
    Dataset ds(worker, path, {{"Conventions", "CF-1.10"}});
    const int d = ds.add_dim("obs", 4);  // five rows: a block of four, then one
    const int s = ds.add_column(d, var("s", Type::kShort, true));
    const int b = ds.add_column(d, var("b", Type::kByte, false));
    const int u = ds.add_column(d, var("u", Type::kUByte, true));
    const int t = ds.add_column(d, var("t", Type::kDouble, false));
    const int late = ds.add_column(d, var("late", Type::kInt, true, true));
    ds.define();
    struct Row {
      double s, b, u, t;
      bool set_u;
    };
    const Row rows[] = {
        {5, 3, 0, 1.5, true},           // in range, the lowest unsigned value
        {std::numeric_limits<double>::quiet_NaN(), 127, 255, -2.25, true},  // NaN: fill; the types' ends
        {40000, -128, 256, 1e9, true},   // above the short's range, above the ubyte's
        {-32769, 128, 7, 0.0, false},    // below the short's range, above the byte's; u left unset
        {-32768, -129, -1, 3.0, true},   // the short's lowest; below the byte's and the ubyte's
    };
    for (const Row& r : rows) {
      ds.set(s, r.s);
      ds.set(b, r.b);
      if (r.set_u) ds.set(u, r.u);
      ds.set(t, r.t);
      if (ds.rows(d) == 4) ds.set(late, 123456789);  // the second block's only row
      ds.end_row(d);
    }
    ncid = finish_and_open(ds, worker, path);
  }
  ASSERT_GE(ncid, 0);
  // Fill values: short -32767, byte -127 (with no _FillValue too), ubyte 255, int -2147483647.
  EXPECT_EQ(read<short>(ncid, "s"), (std::vector<short>{5, -32767, -32767, -32767, -32768}));
  EXPECT_EQ(read<signed char>(ncid, "b"), (std::vector<signed char>{3, 127, -128, -127, -127}));
  EXPECT_EQ(read<unsigned char>(ncid, "u"), (std::vector<unsigned char>{0, 255, 255, 255, 255}));
  EXPECT_EQ(read<double>(ncid, "t"), (std::vector<double>{1.5, -2.25, 1e9, 0.0, 3.0}));
  EXPECT_EQ(read<int>(ncid, "late"), (std::vector<int>{-2147483647, -2147483647, -2147483647, -2147483647, 123456789}));
  nc_close(ncid);
  EXPECT_NE(::access((path + ".partial").c_str(), F_OK), 0);
}

// Values stored by type, row by row, as the per-sample columns are: a lazy column that never
// gets a value stays out of the file, one whose first value comes in a later block reads as the
// fill before it, and a block used again after the writer had it holds no value of before.
TEST(NcDataset, TypedValuesKeepLazyColumnsOutUntilTheirFirstValueAndBlocksComeBackFilled) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  int ncid = -1;
  {
    Worker worker;
    Dataset ds(worker, path, {});
    const int d = ds.add_dim("obs", 2);  // seven rows: blocks of two, two, two and one
    const int some = ds.add_column(d, var("some", Type::kShort, true));
    const int later = ds.add_column(d, var("later", Type::kFloat, true, true));
    const int never = ds.add_column(d, var("never", Type::kInt, true, true));
    ds.define();
    (void)never;
    for (int i = 0; i < 7; ++i) {
      const std::size_t r = ds.row(d);
      if (i == 0 || i == 1 || i == 4) ds.stage<std::int16_t>(some)[r] = static_cast<std::int16_t>(10 * i + 1);
      if (i == 4) ds.stage<float>(later)[r] = 2.5f;
      ds.end_row(d);
      worker.drain();  // the written block is back before the next row: it is used again
    }
    ncid = finish_and_open(ds, worker, path);
  }
  ASSERT_GE(ncid, 0);
  std::size_t length = 0;
  int dim = -1;
  ASSERT_EQ(nc_inq_dimid(ncid, "obs", &dim), NC_NOERR);
  ASSERT_EQ(nc_inq_dimlen(ncid, dim, &length), NC_NOERR);
  ASSERT_EQ(length, 7u);
  const short s = -32767;  // the short's fill
  EXPECT_EQ(read<short>(ncid, "some", 7), (std::vector<short>{1, 11, s, s, 41, s, s}));
  const float f = 9.9692099683868690e+36f;  // the float's fill
  EXPECT_EQ(read<float>(ncid, "later", 7), (std::vector<float>{f, f, f, f, 2.5f, f, f}));
  int id = -1;
  EXPECT_EQ(nc_inq_varid(ncid, "never", &id), NC_ENOTVAR);
  nc_close(ncid);
}

// Rows go into a block a stage of rows at a time: a block of 512 rows fills in several stages,
// each starting again as the fill, and the last rows of the file move in a stage cut short.
TEST(NcDataset, RowsReadTheSameWhereverTheyFallInStagesAndBlocks) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  constexpr int kRows = 1100;  // blocks of 512, 512 and 76 rows
  int ncid = -1;
  {
    Worker worker;
    Dataset ds(worker, path, {});
    const int d = ds.add_dim("obs", 512);
    const int every = ds.add_column(d, var("every", Type::kInt, false));
    const int some = ds.add_column(d, var("some", Type::kShort, true));
    const int small = ds.add_column(d, var("small", Type::kByte, true));
    const int late = ds.add_column(d, var("late", Type::kDouble, true, true));
    ds.define();
    for (int i = 0; i < kRows; ++i) {
      ASSERT_EQ(ds.rows(d), static_cast<std::size_t>(i));
      const std::size_t r = ds.row(d);
      ds.stage<std::int32_t>(every)[r] = i;
      if (i % 3 == 0) ds.set(some, i);
      if (i % 5 == 0) ds.stage<std::int8_t>(small)[r] = static_cast<std::int8_t>(i % 100);
      if (i == 700 || i == 1099) ds.set(late, i + 0.5);
      ds.end_row(d);
    }
    ncid = finish_and_open(ds, worker, path);
  }
  ASSERT_GE(ncid, 0);
  std::vector<int> every(kRows);
  std::vector<short> some(kRows);
  std::vector<signed char> small(kRows);
  std::vector<double> late(kRows);
  for (int i = 0; i < kRows; ++i) {
    every[i] = i;
    some[i] = i % 3 == 0 ? static_cast<short>(i) : short{-32767};
    small[i] = i % 5 == 0 ? static_cast<signed char>(i % 100) : static_cast<signed char>(-127);
    late[i] = i == 700 || i == 1099 ? i + 0.5 : 9.9692099683868690e+36;
  }
  EXPECT_EQ(read<int>(ncid, "every", kRows), every);
  EXPECT_EQ(read<short>(ncid, "some", kRows), some);
  EXPECT_EQ(read<signed char>(ncid, "small", kRows), small);
  EXPECT_EQ(read<double>(ncid, "late", kRows), late);
  nc_close(ncid);
}

TEST(NcDataset, ChunksOfAQuarterMiBAndMoreStartOnQuarterMiBBoundaries) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  constexpr int kBlock = 65536;  // chunks of 512 KiB, 256 KiB and 64 KiB
  {
    Worker worker;
    Dataset ds(worker, path, {});
    const int d = ds.add_dim("obs", kBlock);
    const int wide = ds.add_column(d, var("wide", Type::kDouble, false));
    const int mid = ds.add_column(d, var("mid", Type::kInt, false));
    const int narrow = ds.add_column(d, var("narrow", Type::kByte, false));
    ds.define();
    for (int i = 0; i < 3 * kBlock + 5; ++i) {
      const std::size_t r = ds.row(d);
      ds.stage<double>(wide)[r] = i;
      ds.stage<std::int32_t>(mid)[r] = i;
      ds.stage<std::int8_t>(narrow)[r] = static_cast<std::int8_t>(i % 100);
      ds.end_row(d);
    }
    ds.close();
    worker.finish();
    ASSERT_TRUE(ds.errors().empty());
  }
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  ASSERT_GE(file, 0);
  for (const char* name : {"wide", "mid"}) {
    const hid_t set = H5Dopen2(file, name, H5P_DEFAULT);
    ASSERT_GE(set, 0) << name;
    const hid_t space = H5Dget_space(set);
    hsize_t chunks = 0;
    ASSERT_GE(H5Dget_num_chunks(set, space, &chunks), 0);
    EXPECT_EQ(chunks, 4u) << name;
    for (hsize_t i = 0; i < chunks; ++i) {
      hsize_t offset = 0, size = 0;
      haddr_t address = 0;
      unsigned filters = 0;
      ASSERT_GE(H5Dget_chunk_info(set, space, i, &offset, &filters, &address, &size), 0);
      EXPECT_EQ(address % (256 * 1024), 0u) << name << " chunk " << i;
    }
    H5Sclose(space);
    H5Dclose(set);
  }
  H5Fclose(file);
}

// Writes a one-row file to `path`; its errors.
std::vector<std::string> write_one(const std::string& path) {
  Worker worker;
  Dataset ds(worker, path, {});
  const int d = ds.add_dim("obs", 4);
  const int c = ds.add_column(d, var("v", Type::kInt, false));
  ds.define();
  ds.set(c, 7);
  ds.end_row(d);
  ds.close();
  worker.finish();
  return ds.errors();
}

TEST(NcDataset, TakesNoMoreOfTheDiskThanItsSizeOnceWhole) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  struct statvfs fs {};
  ASSERT_EQ(::statvfs(dir.file("").c_str(), &fs), 0);
  if (static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize) < 5.0 * (1 << 30)) {
    GTEST_SKIP() << "blocks are reserved ahead of the writes only on a disk with room to spare";
  }
  // Tens of MiB are reserved past the end of a file while it is written; a file of a few KiB
  // gives them back when it is closed.
  ASSERT_TRUE(write_one(path).empty());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, st.st_size + (1 << 20));
}

TEST(NcDataset, GoesIntoPlaceOnlyWholeAndNeverThroughWhatStandsInTheWay) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  const std::string partial = path + ".partial";
  // A leftover of an interrupted run (a regular file of ours) makes way.
  test::write_file(partial, "half a file");
  test::write_file(path, "old");
  EXPECT_TRUE(write_one(path).empty());
  int ncid = -1;
  ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  nc_close(ncid);
  EXPECT_NE(::access(partial.c_str(), F_OK), 0);

  // A link where the partial file goes is refused, and neither it nor its target nor the old
  // file changes; so is a folder.
  const std::string target = dir.file("target");
  test::write_file(target, "keep");
  test::write_file(path, "old");
  ASSERT_EQ(::symlink(target.c_str(), partial.c_str()), 0);
  auto errors = write_one(path);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "create: " + partial + " is in the way");
  EXPECT_EQ(test::read_file(target), "keep");
  EXPECT_EQ(test::read_file(path), "old");
  ::unlink(partial.c_str());
  ASSERT_EQ(::mkdir(partial.c_str(), 0700), 0);
  EXPECT_EQ(write_one(path).size(), 1u);
  EXPECT_EQ(test::read_file(path), "old");
  ::rmdir(partial.c_str());

  // A final name that is a link, or a folder, can't take the file: refused before anything is
  // written, and what stands there stays.
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  errors = write_one(path);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "create: " + path + " is in the way");
  EXPECT_EQ(test::read_file(target), "keep");
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ::unlink(path.c_str());
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(write_one(path), std::vector<std::string>{"create: " + path + " is in the way"});
  EXPECT_NE(::access(partial.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace skelv::nc
#endif
