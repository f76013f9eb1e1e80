// An encoder of tag images for tests, tools and benchmarks. It knows the record layouts but
// shares no code with the decoder beyond the code constants, and writes what a tag never would
// as readily as what it does (records inside streams, escapes at boundaries, cut records).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "records/codes.h"

namespace skelv::test {

// A tag's 7-byte time with the year in full (stored as year - 1900).
struct TagTime {
  int year = 2020, month = 1, day = 1, hour = 0, minute = 0, second = 0, fraction = 0;
};

// The fields of an information block; `size` bytes of it are written (24 holds every field).
struct InfoBlock {
  std::uint16_t tag_version = 0;
  std::uint16_t tdr_interval = 0;
  std::uint16_t ctd_interval = 0;
  std::uint16_t pressure_scale = 30;
  std::uint16_t temperature_offset = 8000;
  std::uint16_t temperature_scale = 1000;
  std::uint16_t conductivity_offset = 200;
  std::uint16_t conductivity_scale = 800;
  std::uint16_t lag_time_constant = 1000;
  std::uint8_t photo_channels = 0;
  std::uint16_t unused = 0;
  std::uint16_t acc_counts_per_g = 256;
  std::uint8_t acc_offset = 16;
  int size = 24;
};

struct GpsEntry {
  std::uint8_t value8;
  std::uint16_t value16;
};

class ImageBuilder {
 public:
  // One verb per field.
  ImageBuilder& code(std::uint8_t c);
  ImageBuilder& u8(std::uint8_t b);
  ImageBuilder& u16(std::uint16_t v);  // big-endian, never classified (absolute values)
  ImageBuilder& time(const TagTime& t);
  ImageBuilder& step(int delta);  // relative step, -120..120
  ImageBuilder& escaped(std::uint16_t v);  // 0xFA, high, low
  ImageBuilder& forced(std::uint16_t v);   // high, low in forced-absolute streams
  ImageBuilder& raw(std::initializer_list<std::uint8_t> bytes);
  ImageBuilder& raw(const std::vector<std::uint8_t>& bytes);
  ImageBuilder& zeros(std::size_t n);
  // A channel change from `from` to `to`: a step when it fits, an escape otherwise.
  ImageBuilder& change(std::uint16_t from, std::uint16_t to);

  // One verb per record; each writes the code and the record's own bytes, not the next code.
  ImageBuilder& info(const InfoBlock& block);
  ImageBuilder& gps(const TagTime& t, const std::vector<GpsEntry>& entries);
  ImageBuilder& wetdry(std::uint8_t state);
  ImageBuilder& dive_start(std::uint8_t regime, const TagTime& t, std::uint16_t interval);
  ImageBuilder& dry_start(std::uint16_t interval);
  // CTD start with its mask, time, interval, surface pressure and first sample (absolute).
  ImageBuilder& ctd_start(std::uint8_t mask, const TagTime& t, std::uint16_t interval,
                          std::uint16_t surface, const std::vector<std::uint16_t>& first);
  ImageBuilder& ctd_end();
  ImageBuilder& acc_start(std::uint16_t x, std::uint16_t y, std::uint16_t z);
  ImageBuilder& acc_end();
  ImageBuilder& eof();

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  void write_to(const std::string& path) const;

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace skelv::test
