// Every other C library, and the benchmark's baseline: malloc as the library sets it.
#include "app/malloc_tuning.h"

void keep_freed_memory() {}
