// The entry point every harness here defines: libFuzzer calls it with each
// generated input, and replay_main calls it with each file named on its command
// line. It returns 0; a broken promise of the reader under test aborts.
#ifndef FUZZ_FUZZ_TARGET_H
#define FUZZ_FUZZ_TARGET_H

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);  // one input, one run

// A file whose name is given to the reader and whose bytes are the current
// input. Made once per process; its name stays valid for the whole run.
const char* write_input_file(const uint8_t* data, size_t size);  // path, or aborts on failure

// Sends stdout to /dev/null, fully buffered; the readers' dumps are not checked here.
void mute_stdout();  // once per process

#endif  // FUZZ_FUZZ_TARGET_H
