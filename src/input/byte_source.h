// The one way to read the input image.
//
// read_bytes(label, buffer, count) takes `count` bytes. On success it advances byte_offset by
// `count` and returns true; when the input ends first it stores what was left, sets
// end_of_input and returns false with byte_offset unchanged. After every call, complete or of
// zero bytes, a byte_offset on a multiple of 1024 calls the progress callback. Reads are
// buffered, with the results of one read call per byte. `label` names the field read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "input/decoder_state.h"

namespace skelv {

// Starts reading `fd` at the position it stands at; the state takes the descriptor.
void source_attach(DecoderState& st, int fd);
void source_close(DecoderState& st);
// Makes every later read fail as at the end of the input (buffered bytes are dropped too).
void source_halt(DecoderState& st);
// Reads on from `offset` of the file, with byte_offset there; false when the input can't seek.
bool source_seek(DecoderState& st, std::uint64_t offset);

bool read_bytes_slow(DecoderState& st, std::uint8_t* buffer, std::size_t count);
void report_progress(DecoderState& st);

inline bool read_bytes(DecoderState& st, const char* /*label*/, std::uint8_t* buffer,
                       std::size_t count) {
  InputSource& in = st.input;
  if (count > in.fill - in.pos) return read_bytes_slow(st, buffer, count);
  if (count == 1) {
    *buffer = in.buffer[in.pos];
  } else if (count == 2) {
    std::memcpy(buffer, in.buffer.get() + in.pos, 2);
  } else if (count != 0) {
    std::memcpy(buffer, in.buffer.get() + in.pos, count);
  }
  in.pos += count;
  st.byte_offset += count;
  if ((st.byte_offset & 1023u) == 0) report_progress(st);
  return true;
}

}  // namespace skelv
