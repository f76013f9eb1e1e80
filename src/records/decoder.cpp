#include "records/decoder.h"

#include <cstdarg>
#include <cstdio>

namespace skelv {

void console_to_stdout(const char* text) { std::fputs(text, stdout); }

void fail(Decoder& d, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  add_failure(d.events, d.input.byte_offset, text);
  emit(d.outputs, &Output::failure, Failure{d.input.byte_offset, text});
}

void console_note(Decoder& d, const char* text) {
  // Bytes read a second time (-recover) showed their notes the first time.
  if (d.console && d.input.byte_offset >= d.input.reread_until) d.console(text);
}

}  // namespace skelv
