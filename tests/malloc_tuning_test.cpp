// The start-up malloc setting against the software renderer's allocations, and
// the user's own glibc settings winning over it.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>

#include "app/malloc_tuning.h"
#include "malloc_tuning_glibc.h"

#if defined(__SANITIZE_ADDRESS__)
#define ALLOCATOR_REPLACED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOCATOR_REPLACED 1
#endif
#endif

namespace {

long minor_faults() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

void* filled(void* block, size_t size) {
  memset(block, 1, size);
  return block;
}

// What Mesa's llvmpipe allocates in a frame of the 8000-face mesh, as logged
// from the running program: a new 512 kB vertex buffer (4 kB-aligned, 48 bytes
// of padding) replacing the last frame's, five 145 kB vertex blocks, each in use
// while four 64 kB scene blocks are taken, and the frame before's scene blocks
// freed (two frames are in flight); all the while a 1 MB upload buffer is in use.
struct frames_seen {
  double faults_per_frame;  // once warm
  bool block_mapped;        // a block mapped on its own, outside the heap
};

frames_seen draw_frames() {
  const int warm_frames = 100, frames = 100;
  const size_t vertex_buffer_size = 524336, upload_size = 1048624, scratch_size = 1536 * 1024;
  size_t mapped_before = mallinfo2().hblks;
  void* upload_buffer = nullptr;
  if (posix_memalign(&upload_buffer, 4096, upload_size) != 0) abort();
  filled(upload_buffer, upload_size);
  void* vertex_buffer = nullptr;
  void* scenes[2][20] = {};
  frames_seen seen = {0, false};
  long before = 0;
  for (int frame = 0; frame < warm_frames + frames; frame++) {
    if (frame == warm_frames) before = minor_faults();
    void* next = nullptr;
    if (posix_memalign(&next, 4096, vertex_buffer_size) != 0) abort();
    free(vertex_buffer);
    vertex_buffer = filled(next, vertex_buffer_size);
    void** scene = scenes[frame % 2];
    for (int i = 0; i < 5; i++) {
      void* vertices = filled(malloc(147968), 147968);
      for (int j = 0; j < 4; j++)
        scene[4 * i + j] = filled(malloc(65552), 65552);
      seen.block_mapped = seen.block_mapped || mallinfo2().hblks > mapped_before;
      free(vertices);
    }
    for (void*& block : scenes[(frame + 1) % 2]) {
      free(block);
      block = nullptr;
    }
    // Last, a block larger than any hole the frame leaves, so it is taken from the
    // top of the heap and handed back there: whether the next frame faults it in
    // again is then the top pad's to say, whatever the heap's layout.
    // (Through a volatile, or the compiler drops the pair of calls altogether.)
    void* volatile scratch = filled(malloc(scratch_size), scratch_size);
    free(scratch);
  }
  seen.faults_per_frame = static_cast<double>(minor_faults() - before) / frames;
  free(vertex_buffer);
  free(upload_buffer);
  for (auto& scene : scenes)
    for (void* block : scene)
      free(block);
  return seen;
}

// A fresh process, started with the environment as the test leaves it, so glibc
// reads the user's settings as it would at the program's start. Exits 0 when
// every block stays on the heap and the frames take (almost) no page faults, 1
// when memory is mapped afresh.
void exit_with_frames_seen() {
  // One fault a page: with transparent huge pages one fault can bring in 2 MB of
  // heap, and how many do depends on where the heap happens to lie.
  prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
  keep_freed_memory();
  frames_seen seen = draw_frames();
  exit(seen.faults_per_frame < 1 && !seen.block_mapped ? 0 : 1);
}

const char* const GLIBC_MALLOC_VARIABLES[] = {"GLIBC_TUNABLES", "MALLOC_TOP_PAD_",
                                              "MALLOC_TRIM_THRESHOLD_", "MALLOC_MMAP_THRESHOLD_"};

class malloc_tuning : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* name : GLIBC_MALLOC_VARIABLES)
      unsetenv(name);
  }
  void TearDown() override {
    for (const char* name : GLIBC_MALLOC_VARIABLES)
      unsetenv(name);
  }
};

TEST_F(malloc_tuning, renderer_frames_take_no_page_faults_unless_the_user_sets_glibc_otherwise) {
#ifdef ALLOCATOR_REPLACED
  GTEST_SKIP() << "AddressSanitizer's allocator stands in for glibc's";
#endif
  EXPECT_EXIT(exit_with_frames_seen(), ::testing::ExitedWithCode(0), "");

  // The user's setting is glibc's to apply: with either, frames fault again.
  const struct {
    const char* variable;
    const char* value;
  } own_settings[] = {
      {"GLIBC_TUNABLES", "glibc.malloc.top_pad=0"},
      {"GLIBC_TUNABLES", "glibc.malloc.arena_max=4:glibc.malloc.trim_threshold=0"},
      {"MALLOC_TOP_PAD_", "0"},
      {"MALLOC_TRIM_THRESHOLD_", "0"},
      {"GLIBC_TUNABLES", "glibc.malloc.mmap_threshold=131072"},
      {"MALLOC_MMAP_THRESHOLD_", "131072"},
  };
  for (const auto& setting : own_settings) {
    SCOPED_TRACE(std::string(setting.variable) + "=" + setting.value);
    setenv(setting.variable, setting.value, 1);
    EXPECT_EXIT(exit_with_frames_seen(), ::testing::ExitedWithCode(1), "");
    unsetenv(setting.variable);
  }
}

TEST_F(malloc_tuning, tunable_counts_only_under_its_own_name_with_a_value) {
  const struct {
    const char* tunables;
    bool given;
  } cases[] = {
      {"glibc.malloc.top_pad=0", true},
      {"glibc.malloc.arena_max=1:glibc.malloc.top_pad=0", true},
      {"glibc.malloc.top_pad_max=1", false},
      {"glibc.malloc.top_pad", false},
      {"glibc.malloc.arena_max=1:glibc.malloc.top_pad", false},
      {"glibc.malloc.mmap_threshold=glibc.malloc.top_pad=1", false},
      {"", false},
  };
  EXPECT_FALSE(tunable_given("glibc.malloc.top_pad", "MALLOC_TOP_PAD_"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tunables);
    setenv("GLIBC_TUNABLES", c.tunables, 1);
    EXPECT_EQ(tunable_given("glibc.malloc.top_pad", "MALLOC_TOP_PAD_"), c.given);
  }
}

}  // namespace
