// A buffered output file written beside its final name and moved into place when it is whole.
//
// out_open checks that NAME is absent or a regular file the runner owns and may write, removes
// the old NAME and creates NAME.partial (never through a symbolic link, never over anything but
// a stale partial file of the runner's own); out_close flushes and renames NAME.partial onto
// NAME. A run that stops part-way leaves no NAME, and its data under NAME.partial. Every write
// lands in a large buffer; a failed write is remembered and reported at close, which then
// removes the partial file.
#pragma once
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace skelv {

struct OutFile {
  int fd = -1;
  bool write_failed = false;  // some bytes never reached the file
  std::unique_ptr<char[]> buffer;
  std::size_t used = 0;
  std::string path;     // the final name
  std::string partial;  // where the bytes go until the file is whole
  std::uint64_t bytes = 0;  // bytes handed to the file since it was opened
  std::size_t capacity = 0;  // of the buffer
  // Held back (-recover): the bytes wait in the buffer, which grows as needed, until they are
  // released; bytes after the release point can be taken back. The file itself is created once
  // bytes are first released (out_open_held).
  bool holding = false;
  std::uint64_t taken = 0;     // bytes that have left the buffer (holding only)
  std::uint64_t released = 0;  // bytes before this position may leave the buffer (holding only)
};

inline constexpr std::size_t kOutBufferSize = 1 << 18;
inline constexpr char kPartialSuffix[] = ".partial";

// True when a new file may take the name `path`: nothing is there, or a regular file of the
// runner's that the runner may write (not a link, a folder, a device, another user's file or an
// immutable one).
bool out_name_free(const char* path);

// Creates `path`.partial for writing. False when the final name is taken by something that is
// not a regular file of the runner's that the runner may write, or the partial file can't be made.
bool out_open(OutFile& file, const char* path);
// Starts `file` holding its bytes back, with no file yet: what is written stays in the buffer.
void out_hold(OutFile& file);
// Creates `path`.partial for a holding file, as out_open does, keeping what is buffered; on
// failure the file stops taking bytes and what it held is gone.
bool out_open_held(OutFile& file, const char* path);
// Bytes written so far, counted from the start (holding files).
inline std::uint64_t out_position(const OutFile& file) { return file.taken + file.used; }
// Lets the bytes before `position` leave the buffer (holding files).
inline void out_release(OutFile& file, std::uint64_t position) { file.released = position; }
// Forgets the bytes from `position` on; never before what was released (holding files).
void out_take_back(OutFile& file, std::uint64_t position);
// Inserts `n` bytes at `position`, which lies after what was released (holding files).
void out_insert(OutFile& file, std::uint64_t position, const char* data, std::size_t n);
// True while the file takes bytes: open, or holding them for a file yet to be created.
bool out_is_open(const OutFile& file);
// Writes buffered bytes to the descriptor; marks the file failed when a write fails.
void out_flush(OutFile& file);
// Flushes, closes and moves the file onto its final name. True when every byte written
// since the open reached the file under its final name; otherwise the partial file is removed.
bool out_close(OutFile& file);
// Closes and removes the partial file, leaving the final name as it was.
void out_discard(OutFile& file);
// printf-style write.
void out_printf(OutFile& file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Flushes what may leave the buffer; a holding buffer grows until `n` more bytes fit.
void out_make_room(OutFile& file, std::size_t n);

// Room for at least `n` more bytes at the buffer's end (flushing first if needed).
inline char* out_reserve(OutFile& file, std::size_t n) {
  if (file.capacity - file.used < n) out_make_room(file, n);
  return file.buffer.get() + file.used;
}
inline void out_commit(OutFile& file, std::size_t n) { file.used += n; }

inline void out_write(OutFile& file, const char* data, std::size_t n) {
  if (n > kOutBufferSize / 2 && !file.holding) {
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
