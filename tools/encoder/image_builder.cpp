#include "encoder/image_builder.h"

#include <cstdio>
#include <stdexcept>

namespace skelv::test {

ImageBuilder& ImageBuilder::code(std::uint8_t c) { return u8(c); }

ImageBuilder& ImageBuilder::u8(std::uint8_t b) {
  bytes_.push_back(b);
  return *this;
}

ImageBuilder& ImageBuilder::u16(std::uint16_t v) {
  bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
  return *this;
}

ImageBuilder& ImageBuilder::time(const TagTime& t) {
  return u8(static_cast<std::uint8_t>(t.year - 1900))
      .u8(static_cast<std::uint8_t>(t.month))
      .u8(static_cast<std::uint8_t>(t.day))
      .u8(static_cast<std::uint8_t>(t.hour))
      .u8(static_cast<std::uint8_t>(t.minute))
      .u8(static_cast<std::uint8_t>(t.second))
      .u8(static_cast<std::uint8_t>(t.fraction));
}

ImageBuilder& ImageBuilder::step(int delta) {
  if (delta < -120 || delta > 120) throw std::invalid_argument("step out of range");
  // 0..120 step up by the byte; 0x79..0xF0 step down by byte - 120.
  return u8(static_cast<std::uint8_t>(delta >= 0 ? delta : 120 - delta));
}

ImageBuilder& ImageBuilder::escaped(std::uint16_t v) { return u8(0xFA).u16(v); }

ImageBuilder& ImageBuilder::forced(std::uint16_t v) { return u16(v); }

ImageBuilder& ImageBuilder::raw(std::initializer_list<std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

ImageBuilder& ImageBuilder::raw(const std::vector<std::uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

ImageBuilder& ImageBuilder::zeros(std::size_t n) {
  bytes_.insert(bytes_.end(), n, 0);
  return *this;
}

ImageBuilder& ImageBuilder::change(std::uint16_t from, std::uint16_t to) {
  const int delta = static_cast<int>(to) - static_cast<int>(from);
  if (delta >= -120 && delta <= 120) return step(delta);
  return escaped(to);
}

ImageBuilder& ImageBuilder::info(const InfoBlock& b) {
  std::vector<std::uint8_t> block;
  auto put16 = [&block](std::uint16_t v) {
    block.push_back(static_cast<std::uint8_t>(v >> 8));
    block.push_back(static_cast<std::uint8_t>(v & 0xFF));
  };
  put16(b.tag_version);
  put16(b.tdr_interval);
  put16(b.ctd_interval);
  put16(b.pressure_scale);
  put16(b.temperature_offset);
  put16(b.temperature_scale);
  put16(b.conductivity_offset);
  put16(b.conductivity_scale);
  put16(b.lag_time_constant);
  block.push_back(b.photo_channels);
  put16(b.unused);
  put16(b.acc_counts_per_g);
  block.push_back(b.acc_offset);
  block.resize(static_cast<std::size_t>(b.size), 0);
  code(TDRCODE_INFO).u8(static_cast<std::uint8_t>(b.size));
  return raw(block);
}

ImageBuilder& ImageBuilder::gps(const TagTime& t, const std::vector<GpsEntry>& entries) {
  code(TDRCODE_GPS)
      .u8(static_cast<std::uint8_t>(t.year - 1900))
      .u8(static_cast<std::uint8_t>(t.month))
      .u8(static_cast<std::uint8_t>(t.day))
      .u8(static_cast<std::uint8_t>(t.hour))
      .u8(static_cast<std::uint8_t>(t.minute))
      .u8(static_cast<std::uint8_t>(t.second))
      .u8(static_cast<std::uint8_t>(entries.size()));
  for (const GpsEntry& e : entries) u8(e.value8).u16(e.value16);
  return *this;
}

ImageBuilder& ImageBuilder::wetdry(std::uint8_t state) { return code(TDRCODE_WETDRY).u8(state); }

ImageBuilder& ImageBuilder::dive_start(std::uint8_t regime, const TagTime& t, std::uint16_t interval) {
  return code(TDRCODE_START_NORMAL).u8(regime).time(t).u16(interval);
}

ImageBuilder& ImageBuilder::dry_start(std::uint16_t interval) { return code(TDRCODE_START_DRY).u16(interval); }

ImageBuilder& ImageBuilder::ctd_start(std::uint8_t mask, const TagTime& t, std::uint16_t interval,
                                      std::uint16_t surface, const std::vector<std::uint16_t>& first) {
  code(TDRCODE_START_CTD).u8(mask).time(t).u16(interval).u16(surface);
  for (std::uint16_t v : first) u16(v);
  return *this;
}

ImageBuilder& ImageBuilder::ctd_end() { return code(TDRCODE_END_CTD); }

ImageBuilder& ImageBuilder::acc_start(std::uint16_t x, std::uint16_t y, std::uint16_t z) {
  return code(TDRCODE_ACC).u16(x).u16(y).u16(z);
}

ImageBuilder& ImageBuilder::acc_end() { return code(TDRCODE_END_ACC); }

ImageBuilder& ImageBuilder::eof() { return code(TDRCODE_EOF); }

void ImageBuilder::write_to(const std::string& path) const {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("can't create " + path);
  if (!bytes_.empty()) std::fwrite(bytes_.data(), 1, bytes_.size(), f);
  std::fclose(f);
}

}  // namespace skelv::test
