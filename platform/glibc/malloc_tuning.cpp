// glibc's malloc settings for the software renderer, the layer the build links
// where the C library is glibc (and DICE_GLIBC_MALLOC_DEFAULTS is off).
#include "malloc_tuning_glibc.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "app/malloc_tuning.h"

bool tunable_given(const char* name, const char* alias) {
  if (getenv(alias) != nullptr) return true;
  size_t length = strlen(name);
  // name=value pairs joined by colons; glibc takes a name only when "=" follows it.
  const char* item = getenv("GLIBC_TUNABLES");
  while (item != nullptr) {
    if (strncmp(item, name, length) == 0 && item[length] == '=') return true;
    item = strchr(item, ':');
    if (item != nullptr) item++;
  }
  return false;
}

// Mesa's software renderer allocates and frees about 3 MB a frame with a large
// mesh: a new 512 kB vertex buffer, 64 kB scene blocks, 145 kB vertex blocks, and
// now and then a new 1 MB upload buffer. By default glibc maps the two buffers on
// their own (its moving threshold, raised to a freed block's size, stays just
// short of a 4 kB-aligned block's padded request), and gives the top of the heap
// back to the kernel whenever a frame leaves more than a little free there:
// either way the next frame faults the same memory in afresh. So blocks up to
// 2 MB come from the heap, and trimming leaves 8 MB of it mapped. Measured at
// 8000 faces: the threshold alone still leaves 44 faults a frame, a 2 MB pad
// none; the pad is four times that, and only what frames touch is resident.
static const int MMAP_THRESHOLD_BYTES = 2 * 1024 * 1024;
static const int TOP_PAD_BYTES = 8 * 1024 * 1024;

void keep_freed_memory() {
  // A setting of the user's own wins; their trim threshold says as much as a pad.
  if (!tunable_given("glibc.malloc.mmap_threshold", "MALLOC_MMAP_THRESHOLD_"))
    mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD_BYTES);
  if (!tunable_given("glibc.malloc.top_pad", "MALLOC_TOP_PAD_") &&
      !tunable_given("glibc.malloc.trim_threshold", "MALLOC_TRIM_THRESHOLD_"))
    mallopt(M_TOP_PAD, TOP_PAD_BYTES);
}
