#include "records/report.h"

#include <cstdarg>
#include <cstdio>

namespace skelv {

void fail(DecoderState& st, Run& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(run.failure_text, sizeof run.failure_text, format, args);
  va_end(args);
  st.run_ok = false;
}

void console_note(DecoderState& st, const char* text) {
  if (st.console) st.console(text);
}

}  // namespace skelv
