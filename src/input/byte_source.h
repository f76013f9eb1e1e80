// The one way to read the input image.
//
// read_bytes(label, buffer, count) takes `count` bytes. On success it advances byte_offset by
// `count` and returns true; when the input ends first it stores what was left, sets
// end_of_input and returns false with byte_offset unchanged. After every call, complete or of
// zero bytes, a byte_offset on a multiple of 1024 calls the progress hook. Reads are
// buffered, with the results of one read call per byte. `label` names the field read.
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
  bool halted = false;   // every read fails until the input is positioned again
  std::uint64_t byte_offset = 0;  // start offset plus the bytes of every complete read
  bool end_of_input = false;
  std::function<void(std::uint64_t)> progress;  // called with byte_offset on multiples of 1024
};

// Starts reading `fd` at the position it stands at; the source takes the descriptor.
void source_attach(ByteSource& in, int fd);
void source_close(ByteSource& in);
// Makes every later read fail as at the end of the input (buffered bytes are dropped too).
void source_halt(ByteSource& in);
// Reads on from `offset` of the file, with byte_offset there; false when the input can't seek.
bool source_seek(ByteSource& in, std::uint64_t offset);

// The next byte of the input without taking it; -1 at the end of the input.
int source_peek(ByteSource& in);

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
