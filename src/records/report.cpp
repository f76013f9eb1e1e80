#include "records/report.h"

#include <cstdarg>
#include <cstdio>

#include "output/output.h"

namespace skelv {

void fail(DecoderState& st, Run& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(run.failure_text, sizeof run.failure_text, format, args);
  va_end(args);
  st.run_ok = false;
  for (int i = 0; i < st.outputs.count; ++i) st.outputs.items[i]->failure(Failure{st.byte_offset, run.failure_text});
}

void console_note(DecoderState& st, const char* text) {
  if (st.console) st.console(text);
}

}  // namespace skelv
