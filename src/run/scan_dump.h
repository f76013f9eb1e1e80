// The scan dump: a listing of every record code byte in the image, written before decoding.
#pragma once
#include <cstdint>
#include <string>

#include "records/decoder.h"

namespace skelv {

// Where the dump goes: skelv_debug.txt in $TMPDIR (when set and not empty), else in /tmp.
std::string scan_dump_path();

// Lists the codes of the image `input_name` from `offset` into the dump file. Reads the image
// through a descriptor of its own, so the decoding is left as it was. A dump file that can't be
// created fails the run and writes nothing.
void write_scan_dump(Decoder& d, const char* input_name, std::int64_t offset);

}  // namespace skelv
