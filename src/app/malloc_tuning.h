// glibc's malloc, set once at start-up for the software renderer's per-frame
// blocks (platform/glibc/). The build links a version that does nothing on other
// C libraries and with DICE_GLIBC_MALLOC_DEFAULTS (the benchmark's baseline); a
// setting the user gives glibc for the same thing wins.
#ifndef APP_MALLOC_TUNING_H
#define APP_MALLOC_TUNING_H

void keep_freed_memory();  // first thing in main, before the renderer allocates

#endif  // APP_MALLOC_TUNING_H
