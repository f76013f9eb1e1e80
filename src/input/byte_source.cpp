#include "input/byte_source.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace skelv {
namespace {

// Reads into buffer[fill..]; the count read, 0 at the end of the input or after an error.
std::size_t read_more(ByteSource& in) {
  if (in.fd < 0 || in.read_error != 0) return 0;
  for (;;) {
    const ssize_t n = ::read(in.fd, in.buffer.get() + in.fill, kInputBufferSize - in.fill);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // An unreadable input is no end of the image: the run says where it failed.
      in.read_error = errno;
      in.read_error_at = in.file_offset;
      return 0;
    }
    in.fill += static_cast<std::size_t>(n);
    in.file_offset += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n);
  }
}

// Refills the emptied buffer; false when the input has nothing more or the source is halted.
bool refill(ByteSource& in) {
  if (in.halted) return false;
  in.pos = 0;
  in.fill = 0;
  return read_more(in) != 0;
}

}  // namespace

void source_attach(ByteSource& in, int fd, std::uint64_t offset) {
  in.fd = fd;
  if (!in.buffer) in.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kInputBufferSize);
  in.pos = 0;
  in.fill = 0;
  in.file_offset = offset;
  in.read_error = 0;
  in.halted = false;
  struct stat st {};
  in.seekable = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  in.reread_until = 0;
}

void source_close(ByteSource& in) {
  if (in.fd >= 0) ::close(in.fd);
  in.fd = -1;
  in.pos = in.fill = 0;
}

std::uint64_t source_skip(ByteSource& in, std::uint64_t count) {
  const std::uint64_t buffered = std::min<std::uint64_t>(count, in.fill - in.pos);
  in.pos += buffered;
  std::uint64_t done = buffered;
  struct stat s {};
  if (done < count && in.fd >= 0 && ::fstat(in.fd, &s) == 0 && S_ISREG(s.st_mode)) {
    // A file: seek, but never past its end.
    const std::uint64_t size = static_cast<std::uint64_t>(s.st_size);
    const std::uint64_t step = std::min(count - done, size > in.file_offset ? size - in.file_offset : 0);
    if (::lseek(in.fd, static_cast<off_t>(in.file_offset + step), SEEK_SET) >= 0) {
      in.file_offset += step;
      done += step;
    }
  } else {
    // A pipe, a FIFO or a device: read and drop.
    while (done < count) {
      in.pos = in.fill = 0;
      if (read_more(in) == 0) break;
      const std::uint64_t take = std::min<std::uint64_t>(count - done, in.fill);
      in.pos = static_cast<std::size_t>(take);
      done += take;
    }
  }
  in.byte_offset += done;
  return done;
}

void source_halt(ByteSource& in) {
  if (!in.halted) {
    in.scan = in.pos;
    in.scan_offset = in.byte_offset;
    in.pos = in.fill;
    in.halted = true;
  }
  in.end_of_input = true;
}

std::size_t scan_window(ByteSource& in, std::size_t want, const std::uint8_t*& bytes) {
  if (in.fill - in.scan < want) {
    // Keep what is left at the buffer's front and read on behind it.
    std::memmove(in.buffer.get(), in.buffer.get() + in.scan, in.fill - in.scan);
    in.fill -= in.scan;
    in.scan = 0;
    while (in.fill < want && read_more(in) != 0) {
    }
  }
  bytes = in.buffer.get() + in.scan;
  return std::min(want, in.fill - in.scan);
}

void scan_skip(ByteSource& in, std::size_t count) {
  in.scan += count;
  in.scan_offset += count;
}

void scan_resume(ByteSource& in) {
  in.pos = in.scan;
  in.byte_offset = in.scan_offset;
  in.halted = false;
  in.end_of_input = false;
}

void report_progress(ByteSource& in) {
  if (in.progress && in.byte_offset >= in.reread_until) in.progress(in.byte_offset);
}

bool source_rewind(ByteSource& in, std::uint64_t offset) {
  if (offset > in.byte_offset || !source_rescan(in, offset)) return false;
  scan_resume(in);
  return true;
}

bool source_rescan(ByteSource& in, std::uint64_t offset) {
  if (!in.seekable || in.fd < 0 || ::lseek(in.fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  in.reread_until = std::max({in.reread_until, in.byte_offset + 1, in.halted ? in.scan_offset + 1 : 0});
  in.pos = in.fill = in.scan = 0;
  in.file_offset = in.byte_offset = in.scan_offset = offset;
  in.halted = in.end_of_input = true;
  return true;
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
