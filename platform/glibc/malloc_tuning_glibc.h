// What the glibc layer reads of the user's own malloc settings.
#ifndef PLATFORM_GLIBC_MALLOC_TUNING_GLIBC_H
#define PLATFORM_GLIBC_MALLOC_TUNING_GLIBC_H

// Whether the user gave glibc the tunable `name` ("glibc.malloc.top_pad") in
// GLIBC_TUNABLES, or through its older variable `alias` ("MALLOC_TOP_PAD_").
bool tunable_given(const char* name, const char* alias);

#endif  // PLATFORM_GLIBC_MALLOC_TUNING_GLIBC_H
