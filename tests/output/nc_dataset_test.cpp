// Blocks of a NetCDF dataset as the file holds them: values in each variable's own type, fill
// values where a row got none or a value its type can't hold, blocks joined in order.
#ifdef SKELV_TEST_NETCDF
#include "output/netcdf/nc_dataset.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace skelv::nc {
namespace {

VarSpec var(const char* name, Type type, bool fill, bool lazy = false) {
  VarSpec v;
  v.name = std::string(name);
  v.type = type;
  v.units = std::string("1");
  v.long_name = std::string(name);
  v.fill = fill;
  v.lazy = lazy;
  return v;
}

TEST(NcDataset, StoresEachTypeWithFillsForMissingAndUnfitValuesAcrossBlocks) {
  test::TempDir dir;
  const std::string path = dir.file("t.nc");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  {
    Worker worker;
    Dataset ds(worker, path, {{"Conventions", "CF-1.10"}});
    const int d = ds.add_dim("obs", 4);  // five rows: a block of four, then one
    const int s = ds.add_column(d, var("s", Type::kShort, true));
    const int b = ds.add_column(d, var("b", Type::kByte, false));
    const int u = ds.add_column(d, var("u", Type::kUShort, true));
    const int t = ds.add_column(d, var("t", Type::kDouble, false));
    const int late = ds.add_column(d, var("late", Type::kInt, true, true));
    ds.define();
    struct Row {
      double s, b, u, t;
      bool set_u;
    };
    const Row rows[] = {
        {5, 3, 0, 1.5, true},           // in range, the lowest unsigned value
        {nan, 127, 65535, -2.25, true},  // not a number: fill; the type's ends
        {40000, -128, 65536, 1e9, true}, // above the short's range, above the ushort's
        {-32769, 0, 7, 0.0, false},      // below the short's range; u left unset
        {-32768, -1, -1, 3.0, true},     // the short's lowest; below the ushort's
    };
    for (const Row& r : rows) {
      ds.set(s, r.s);
      ds.set(b, r.b);
      if (r.set_u) ds.set(u, r.u);
      ds.set(t, r.t);
      if (ds.rows(d) == 4) ds.set(late, 123456789);  // the second block's only row
      ds.end_row(d);
    }
    ds.close();
    worker.finish();
    ASSERT_EQ(ds.error(), "");
  }
  int ncid = -1;
  ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  const auto id = [&](const char* name) {
    int v = -1;
    EXPECT_EQ(nc_inq_varid(ncid, name, &v), NC_NOERR) << name;
    return v;
  };
  std::vector<short> s(5);
  std::vector<signed char> b(5);
  std::vector<unsigned short> u(5);
  std::vector<double> t(5);
  std::vector<int> late(5);
  ASSERT_EQ(nc_get_var_short(ncid, id("s"), s.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_schar(ncid, id("b"), b.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_ushort(ncid, id("u"), u.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_double(ncid, id("t"), t.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_int(ncid, id("late"), late.data()), NC_NOERR);
  nc_close(ncid);
  // Fill values: short -32767, ushort 65535, int -2147483647.
  EXPECT_EQ(s, (std::vector<short>{5, -32767, -32767, -32767, -32768}));
  EXPECT_EQ(b, (std::vector<signed char>{3, 127, -128, 0, -1}));
  EXPECT_EQ(u, (std::vector<unsigned short>{0, 65535, 65535, 65535, 65535}));
  EXPECT_EQ(t, (std::vector<double>{1.5, -2.25, 1e9, 0.0, 3.0}));
  EXPECT_EQ(late, (std::vector<int>{-2147483647, -2147483647, -2147483647, -2147483647, 123456789}));
}

}  // namespace
}  // namespace skelv::nc
#endif
