// Feeds each input to read_3ds_mesh as a file and holds the reader to the
// bounds it promises: both counts within 0..MESH_CAPACITY, whatever the file.
#include <cstdio>
#include <cstdlib>

#include "fuzz_target.h"
#include "model/mesh_3ds.h"

static mesh_object mesh;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mute_stdout();
  const char* path = write_input_file(data, size);
  // Only the counts carry over between runs in a way that changes what a run
  // does; clearing them keeps every run a function of its input alone.
  mesh.vertex_count = 0;
  mesh.polygon_count = 0;
  read_3ds_mesh(&mesh, path);
  if (mesh.vertex_count < 0 || mesh.vertex_count > MESH_CAPACITY || mesh.polygon_count < 0 ||
      mesh.polygon_count > MESH_CAPACITY) {
    fprintf(stderr, "read_3ds_mesh left counts out of range: %d vertices, %d polygons\n",
            mesh.vertex_count, mesh.polygon_count);
    abort();
  }
  return 0;
}
