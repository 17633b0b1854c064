// glibc's malloc, set once at start-up for the software renderer's per-frame
// blocks. Nothing changes on other C libraries, in a build with
// DICE_GLIBC_MALLOC_DEFAULTS (the benchmark's baseline), or where the user has
// given glibc a setting of their own for the same thing.
#ifndef APP_MALLOC_TUNING_H
#define APP_MALLOC_TUNING_H

void keep_freed_memory();  // first thing in main, before the renderer allocates

// Whether the user gave glibc the tunable `name` ("glibc.malloc.top_pad") in
// GLIBC_TUNABLES, or through its older variable `alias` ("MALLOC_TOP_PAD_").
bool tunable_given(const char* name, const char* alias);

#endif  // APP_MALLOC_TUNING_H
