// The scan dump: a listing of every record code byte in the image, written before decoding.
#pragma once
#include <cstdint>
#include <string>

#include "app/run.h"
#include "input/decoder_state.h"

namespace skelv {

// Where the dump goes: skelv_debug.txt in $TMPDIR (when set and not empty), else in /tmp.
std::string scan_dump_path();

// Lists the codes of run.input_name from `offset` into the dump file. Reads the image through
// a descriptor of its own, so the decoding state is left as it was. A dump file that can't be
// created fails the run and writes nothing.
void write_scan_dump(DecoderState& st, Run& run, std::int64_t offset);

}  // namespace skelv
