// A buffered text output file written through its own descriptor.
// Every write lands in a large buffer; a failed write is remembered and reported at close.
#pragma once
#include <cstddef>
#include <cstring>
#include <memory>

namespace skelv {

struct OutFile {
  int fd = -1;
  bool write_failed = false;  // some bytes never reached the file
  std::unique_ptr<char[]> buffer;
  std::size_t used = 0;
};

inline constexpr std::size_t kOutBufferSize = 1 << 18;

// Creates (or empties) `path` for writing. False when it can't be created.
bool out_open(OutFile& file, const char* path);
// Writes through `fd`, a descriptor opened for writing; the file takes it.
void out_adopt(OutFile& file, int fd);
bool out_is_open(const OutFile& file);
// Writes buffered bytes to the descriptor; marks the file failed when a write fails.
void out_flush(OutFile& file);
// Flushes and closes. True when every byte written since the open reached the file.
bool out_close(OutFile& file);
// printf-style write.
void out_printf(OutFile& file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Room for at least `n` more bytes at the buffer's end (flushing first if needed).
inline char* out_reserve(OutFile& file, std::size_t n) {
  if (kOutBufferSize - file.used < n) out_flush(file);
  return file.buffer.get() + file.used;
}
inline void out_commit(OutFile& file, std::size_t n) { file.used += n; }

inline void out_write(OutFile& file, const char* data, std::size_t n) {
  if (n > kOutBufferSize / 2) {
    out_flush(file);
    while (n > kOutBufferSize / 2) {
      std::memcpy(file.buffer.get(), data, kOutBufferSize / 2);
      file.used = kOutBufferSize / 2;
      out_flush(file);
      data += kOutBufferSize / 2;
      n -= kOutBufferSize / 2;
    }
  }
  std::memcpy(out_reserve(file, n), data, n);
  file.used += n;
}
inline void out_puts(OutFile& file, const char* text) { out_write(file, text, std::strlen(text)); }

}  // namespace skelv
