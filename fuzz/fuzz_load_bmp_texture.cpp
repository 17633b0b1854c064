// Feeds each input to load_bmp_texture as a file, against the recording GL
// stand-in whose uploads read every byte OpenGL would read, and holds the
// loader to its promises: an accepted file makes exactly one level-0 upload
// and one mipmap build of the size it was given; a refused one makes no GL
// call at all.
#include <cstdio>
#include <cstdlib>

#include "fuzz_target.h"
#include "gl_recorder.h"
#include "texture/bmp_texture.h"

static void fail(const char* why, int32_t result) {
  fprintf(stderr, "load_bmp_texture returned %d: %s\n", result, why);
  abort();
}

// The only call named `name`, or nullptr when there is none or more than one.
// Looked up in place: the recorded uploads hold the whole image.
static const gl_call* single_call(const char* name) {
  const gl_call* found = nullptr;
  for (const gl_call& call : recorded_gl_calls()) {
    if (call.name != name) continue;
    if (found != nullptr) return nullptr;
    found = &call;
  }
  return found;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mute_stdout();
  const char* path = write_input_file(data, size);
  clear_gl_calls();
  // Name 0 doubles as "refused", so the harness hands out name 1 every run.
  texture_counter = 0;
  int32_t result = load_bmp_texture(path);
  if (result == 0) {
    if (!recorded_gl_calls().empty()) fail("refused, yet GL was called", result);
    return 0;
  }
  if (result != 1) fail("not the name handed out", result);
  const gl_call* upload = single_call("glTexImage2D");
  if (upload == nullptr) fail("accepted without exactly one glTexImage2D", result);
  if (single_call("gluBuild2DMipmaps") == nullptr)
    fail("accepted without exactly one gluBuild2DMipmaps", result);
  double width = upload->args[3];
  double height = upload->args[4];
  if (width < 1 || height < 1 || width > BMP_SIDE_LIMIT || height > BMP_SIDE_LIMIT)
    fail("uploaded a size outside 1..BMP_SIDE_LIMIT", result);
  // The recorder copies what the upload reads: rows padded to 4 but the last.
  size_t row = static_cast<size_t>(width) * 3;
  size_t expected = ((row + 3) & ~static_cast<size_t>(3)) * (static_cast<size_t>(height) - 1) + row;
  if (upload->pixels.size() != expected) fail("upload read a different byte count", result);
  return 0;
}
