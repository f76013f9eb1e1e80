// Names of the output files, derived from the name of the image.
#pragma once

namespace skelv {

// Derives an output name: the last path component loses "_compressed.dat" (and what follows),
// else "_debug.txt" (and what follows), else its last dot and what follows; then `suffix` is
// appended. The directory part stays as it is. False, with `destination` empty, when the name
// does not fit 1024 bytes.
bool make_output_name(char* destination, const char* suffix, const char* input_name);

}  // namespace skelv
