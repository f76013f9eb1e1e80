// The variable definitions shared by the NetCDF datasets: times, plain values with a fill, and
// integer counts packed with a scale factor.
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>

#include "output/netcdf/nc_dataset.h"

namespace skelv::ncvars {

using nc::Type;
using nc::VarSpec;

inline constexpr char kTimeUnits[] = "seconds since 1970-01-01 00:00:00 UTC";

// Rows per block and chunk: of the samples at most kSampleBlock, of the other tables (casts,
// starts, haul-outs, dives, entries, events) a sixteenth of that. A small image gets small
// chunks, so that its files stay small; a chunk is written whole.
inline constexpr std::size_t kSampleBlock = std::size_t{1} << 16;
inline constexpr std::size_t kMinSampleBlock = std::size_t{1} << 6;
inline constexpr std::size_t kMinSmallBlock = std::size_t{1} << 4;

// Rows of a sample block for an image of `size` bytes: about one row per 32 bytes of image, a
// power of two; images from 2 MiB up and images of unknown size (negative) get whole blocks.
inline std::size_t sample_block_for(long long size) {
  std::size_t rows = kMinSampleBlock;
  while (rows < kSampleBlock && (size < 0 || static_cast<unsigned long long>(size) / 32 > rows)) rows *= 2;
  return rows;
}
inline std::size_t small_block_for(long long size) { return std::max(kMinSmallBlock, sample_block_for(size) / 16); }

inline VarSpec variable(const std::string& name, Type type, const std::string& units, const std::string& standard_name,
                        const std::string& long_name) {
  VarSpec v;
  v.name = name;
  v.type = type;
  v.units = units;
  v.standard_name = standard_name;
  v.long_name = long_name;
  return v;
}

// A time in seconds since 1970 UTC (datetimes in xarray, to the microsecond).
inline VarSpec time_var(const std::string& name, const std::string& long_name) {
  VarSpec v = variable(name, Type::kDouble, kTimeUnits, "time", long_name);
  v.text_attrs = {{"calendar", "standard"}};
  return v;
}

// A value that may be absent: unset rows read as the fill value.
inline VarSpec plain(const std::string& name, Type type, const std::string& units, const std::string& standard_name,
                     const std::string& long_name, bool lazy = false) {
  VarSpec v = variable(name, type, units, standard_name, long_name);
  v.fill = true;
  v.lazy = lazy;
  return v;
}

// Whole counts of `scale` in an int, unpacked with a double scale factor and no offset: readers
// unpack it to double (an int needs more than float's 24 bits), so the value reads back as the
// count times the scale, with no rounding but double's own.
inline VarSpec packed(const std::string& name, const std::string& units, const std::string& standard_name,
                      const std::string& long_name, double scale, bool lazy = false) {
  VarSpec v = plain(name, Type::kInt, units, standard_name, long_name, lazy);
  v.scale_factor = scale;
  return v;
}

// A flag variable: flag_values 0, 1, ... with their meanings.
inline VarSpec flags(const std::string& name, Type type, const std::string& long_name, const std::string& meanings,
                     int count) {
  VarSpec v = variable(name, type, "1", "", long_name);
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(i);
  v.int_attrs = {{"flag_values", values}};
  v.text_attrs = {{"flag_meanings", meanings}};
  return v;
}

// The variable with its coordinates named.
inline VarSpec with_coordinates(VarSpec v, const std::string& coordinates) {
  v.text_attrs.push_back({"coordinates", coordinates});
  return v;
}

}  // namespace skelv::ncvars
