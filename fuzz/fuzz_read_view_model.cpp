// Feeds each input to the view's reader and builds what a frame would draw, every
// material taken as textured, and holds both to their promises: each batch within
// the corners, whole triangles, every position finite and inside the die's box
// after the fit, and no texture name that could leave the model's folder.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "view/texture_lookup.h"
#include "view/view_mesh.h"
#include "view/view_model.h"

static void fail(const char* what) {
  fprintf(stderr, "view reader broke its promise: %s\n", what);
  abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  view_model model = read_view_model(data, size);
  std::vector<int32_t> textures(model.materials.size(), 0);
  for (const view_material& material : model.materials) {
    std::string name = texture_file_name(material.texture_map);
    if (name.find_first_of("/\\:") != std::string::npos || name == "..") fail("a path as a name");
  }
  view_mesh mesh = build_view_mesh(model, fit_view_box(measure_view_model(model)), textures);
  if (mesh.corners.size() % 3 != 0) fail("a triangle cut");
  size_t drawn = 0;
  for (const view_batch& batch : mesh.batches) {
    if (batch.first + batch.count > mesh.corners.size() || batch.count > VIEW_BATCH_CORNERS)
      fail("a batch past the corners");
    drawn += batch.count;
  }
  if (drawn != mesh.corners.size()) fail("corners in no batch");
  // Half the die's side, and a little for the rounding to float.
  const double reach = VIEW_SIDE / 2 * (1 + 1e-6);
  for (const view_corner& corner : mesh.corners) {
    for (float at : {corner.x, corner.y, corner.z}) {
      if (!(std::fabs(at) <= reach)) fail("a corner outside the fitted box");
    }
  }
  return 0;
}
