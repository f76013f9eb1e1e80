// The one way to read the input image.
//
// read_bytes(label, buffer, count) takes `count` bytes. On success it advances byte_offset by
// `count` and returns true; when the input ends first it stores what was left, sets
// end_of_input and returns false with byte_offset unchanged. After every call, complete or of
// zero bytes, a byte_offset on a multiple of 1024 calls the progress hook. Reads are
// buffered, with the results of one read call per byte. `label` names the field read.
//
// The input is read front to back only, so a pipe or a FIFO reads like a file. Once halted, the
// source stops giving bytes to the decoders and can be scanned forward from where they stopped
// (the rest of the image looked at, not decoded) and resumed there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

namespace skelv {

inline constexpr std::size_t kInputBufferSize = 1 << 16;

// The input image, its read buffer and the run's position in it. Only the byte source writes it.
struct ByteSource {
  int fd = -1;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t pos = 0;   // next unread byte in `buffer`
  std::size_t fill = 0;  // bytes held in `buffer`
  std::uint64_t byte_offset = 0;  // start offset plus the bytes of every complete read
  bool end_of_input = false;
  std::function<void(std::uint64_t)> progress;  // called with byte_offset on multiples of 1024
  std::uint64_t file_offset = 0;  // offset in the input of the byte after the buffer's last
  int read_error = 0;             // errno of a read that failed; 0 at the end of the input
  std::uint64_t read_error_at = 0;
  // Halted: reads fail; the bytes from buffer[scan], at input offset scan_offset, can be scanned.
  bool halted = false;
  std::size_t scan = 0;
  std::uint64_t scan_offset = 0;
  bool seekable = false;          // a file: its bytes can be read again (source_rewind)
  std::uint64_t reread_until = 0;  // bytes before this offset were read before: no progress again
};

// Starts reading `fd`, which stands at input offset `offset`; the source takes the descriptor.
void source_attach(ByteSource& in, int fd, std::uint64_t offset = 0);
void source_close(ByteSource& in);
// Drops the next `count` bytes of the input without reading them as data: a seek where the
// input can seek, reads where it can't. Returns the bytes dropped (fewer at the end of the input).
std::uint64_t source_skip(ByteSource& in, std::uint64_t count);

// A seekable source reads on from `offset`, which lies before the read position: the bytes from
// there are read again (the progress hook is not called again for them). False when the source
// can't seek; it is then left halted.
bool source_rewind(ByteSource& in, std::uint64_t offset);
// A seekable source is halted with its scan at `offset`, before or after where it stood: bytes
// already decoded can be looked at again. False when the source can't seek.
bool source_rescan(ByteSource& in, std::uint64_t offset);
// Makes every later read fail as at the end of the input; the unread bytes stay for a scan.
void source_halt(ByteSource& in);
// Halted: the bytes from the scan position on, at least `want` of them unless the input ends
// first (then the rest). `bytes` points at them until the next scan call. Returns how many.
std::size_t scan_window(ByteSource& in, std::size_t want, const std::uint8_t*& bytes);
// Halted: moves the scan position `count` bytes on (at most what scan_window showed).
void scan_skip(ByteSource& in, std::size_t count);
// Halted: decoding goes on at the scan position.
void scan_resume(ByteSource& in);

bool read_bytes_slow(ByteSource& in, std::uint8_t* buffer, std::size_t count);
void report_progress(ByteSource& in);

inline bool read_bytes(ByteSource& in, const char* /*label*/, std::uint8_t* buffer, std::size_t count) {
  if (count > in.fill - in.pos) return read_bytes_slow(in, buffer, count);
  if (count == 1) {
    *buffer = in.buffer[in.pos];
  } else if (count == 2) {
    std::memcpy(buffer, in.buffer.get() + in.pos, 2);
  } else if (count != 0) {
    std::memcpy(buffer, in.buffer.get() + in.pos, count);
  }
  in.pos += count;
  in.byte_offset += count;
  if ((in.byte_offset & 1023u) == 0) report_progress(in);
  return true;
}

}  // namespace skelv
