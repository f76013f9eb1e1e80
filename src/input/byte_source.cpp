#include "input/byte_source.h"

#include <cerrno>
#include <unistd.h>

namespace skelv {

void source_attach(ByteSource& in, int fd) {
  in.fd = fd;
  if (!in.buffer) in.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kInputBufferSize);
  in.pos = 0;
  in.fill = 0;
}

void source_close(ByteSource& in) {
  if (in.fd >= 0) ::close(in.fd);
  in.fd = -1;
  in.pos = in.fill = 0;
}

void source_halt(ByteSource& in) {
  in.pos = in.fill;
  in.halted = true;
  in.end_of_input = true;
}

bool source_seek(ByteSource& in, std::uint64_t offset) {
  in.pos = in.fill = 0;
  in.halted = false;
  in.byte_offset = offset;
  in.end_of_input = false;
  return in.fd >= 0 && ::lseek(in.fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

void report_progress(ByteSource& in) {
  if (in.progress) in.progress(in.byte_offset);
}

namespace {

// Refills the buffer; false when the file has nothing more (end of file or a read error alike).
bool refill(ByteSource& in) {
  in.pos = 0;
  in.fill = 0;
  if (in.fd < 0 || in.halted) return false;
  for (;;) {
    const ssize_t n = ::read(in.fd, in.buffer.get(), kInputBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in.fill = static_cast<std::size_t>(n);
    return true;
  }
}

}  // namespace

int source_peek(ByteSource& in) {
  if (in.pos == in.fill && !refill(in)) return -1;
  return in.buffer[in.pos];
}

bool read_bytes_slow(ByteSource& in, std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (in.pos == in.fill && !refill(in)) {
      // A short read: the bytes taken stay in the buffer, the offset stays where it was.
      in.end_of_input = true;
      return false;
    }
    std::size_t take = in.fill - in.pos;
    if (take > count - done) take = count - done;
    std::memcpy(buffer + done, in.buffer.get() + in.pos, take);
    in.pos += take;
    done += take;
  }
  in.byte_offset += count;
  if ((in.byte_offset & 1023u) == 0) report_progress(in);
  return true;
}

}  // namespace skelv
