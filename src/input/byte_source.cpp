#include "input/byte_source.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace skelv {

void console_to_stdout(const char* text) { std::fputs(text, stdout); }

void source_attach(DecoderState& st, int fd) {
  InputSource& in = st.input;
  in.fd = fd;
  if (!in.buffer) in.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kInputBufferSize);
  in.pos = 0;
  in.fill = 0;
}

void source_close(DecoderState& st) {
  if (st.input.fd >= 0) ::close(st.input.fd);
  st.input.fd = -1;
  st.input.pos = st.input.fill = 0;
}

void source_halt(DecoderState& st) {
  st.input.pos = st.input.fill;
  st.input.halted = true;
  st.end_of_input = true;
}

bool source_seek(DecoderState& st, std::uint64_t offset) {
  InputSource& in = st.input;
  in.pos = in.fill = 0;
  in.halted = false;
  st.byte_offset = offset;
  st.end_of_input = false;
  return in.fd >= 0 && ::lseek(in.fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

void report_progress(DecoderState& st) {
  if (st.progress) st.progress(st.byte_offset, st.tdr_count, st.ctd_count, st.gps_count, st.acc_count);
}

// Refills the buffer; false when the file has nothing more (end of file or a read error alike).
static bool refill(InputSource& in) {
  in.pos = 0;
  in.fill = 0;
  if (in.fd < 0 || in.halted) return false;
  for (;;) {
    ssize_t n = ::read(in.fd, in.buffer.get(), kInputBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in.fill = static_cast<std::size_t>(n);
    return true;
  }
}

bool read_bytes_slow(DecoderState& st, std::uint8_t* buffer, std::size_t count) {
  InputSource& in = st.input;
  std::size_t done = 0;
  while (done < count) {
    if (in.pos == in.fill && !refill(in)) {
      // A short read: the bytes taken stay in the buffer, the offset stays where it was.
      st.end_of_input = true;
      return false;
    }
    std::size_t take = in.fill - in.pos;
    if (take > count - done) take = count - done;
    std::memcpy(buffer + done, in.buffer.get() + in.pos, take);
    in.pos += take;
    done += take;
  }
  st.byte_offset += count;
  if ((st.byte_offset & 1023u) == 0) report_progress(st);
  return true;
}

}  // namespace skelv
