// The input file behind every harness run: an in-memory file (memfd), or an
// unlinked temporary file where memfd is missing, reached through
// /proc/self/fd so a crashing or killed run leaves nothing behind. Each run
// rewrites it in place; a disk file's truncate and close would cost more than
// most runs.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_target.h"

static int input_descriptor = -1;
static char input_path[64];

static void open_input_file() {
  input_descriptor = memfd_create("dice_fuzz_input", 0);
  if (input_descriptor >= 0) {
    snprintf(input_path, sizeof input_path, "/proc/self/fd/%d", input_descriptor);
    return;
  }
  const char* directory = getenv("TMPDIR");
  char name[4096];
  snprintf(name, sizeof name, "%s/dice_fuzz_XXXXXX",
           directory != nullptr && directory[0] != '\0' ? directory : "/tmp");
  input_descriptor = mkstemp(name);
  if (input_descriptor < 0) {
    perror("dice fuzz: cannot make the input file");
    abort();
  }
  unlink(name);
  snprintf(input_path, sizeof input_path, "/proc/self/fd/%d", input_descriptor);
}

const char* write_input_file(const uint8_t* data, size_t size) {
  if (input_descriptor < 0) open_input_file();
  if (ftruncate(input_descriptor, 0) != 0) {
    perror("dice fuzz: cannot empty the input file");
    abort();
  }
  size_t written = 0;
  while (written < size) {
    ssize_t step =
        pwrite(input_descriptor, data + written, size - written, static_cast<off_t>(written));
    if (step <= 0) {
      perror("dice fuzz: cannot write the input file");
      abort();
    }
    written += static_cast<size_t>(step);
  }
  return input_path;
}

void mute_stdout() {
  static bool muted = false;
  if (muted) return;
  muted = true;
  if (freopen("/dev/null", "w", stdout) == nullptr) {
    perror("dice fuzz: cannot mute stdout");
    abort();
  }
  // Line buffering would make every dump line a write system call.
  setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}
