// What the view draws, worked out without GL: the model's box, its fit to the die's
// size and place, the corners of every drawable face in vertex arrays grouped by
// texture, each face's normal, and its shade under a light on the camera.
//
// The box holds finite coordinates only. The fit scales uniformly so that the box's
// largest side is the die's, and centres the box on the die's centre; a flat box is
// fitted by its largest side, a single point (or nothing finite) only centred. A face
// is drawn when its corners index its own object's vertices and are all finite; it is
// textured when its material has a texture and its object maps all three corners.
#ifndef VIEW_VIEW_MESH_H
#define VIEW_VIEW_MESH_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "view/view_model.h"

constexpr double VIEW_SIDE = 20.0;  // the die's side, model units
// Corners per draw: emscripten's GL emulation copies a draw's arrays through a 2 MiB
// buffer, 87,381 corners of 24 bytes; a multiple of 3 keeps triangles whole.
constexpr size_t VIEW_BATCH_CORNERS = 87381;
// A face square to the light is fully lit, one edge-on keeps the ambient part.
constexpr double VIEW_AMBIENT = 0.25;

struct view_box {
  bool empty;              // no finite vertex at all
  double low[3], high[3];  // x, y, z
};

struct view_fit {
  double centre[3];
  double scale;
};

struct view_corner {  // laid out as GL_T2F_C4UB_V3F: one array, one stride
  float u, v;
  unsigned char rgba[4];  // the face's shade, grey
  float x, y, z;
};

struct view_batch {
  int32_t texture;  // index into the caller's textures; -1: untextured
  size_t first;     // corners[first] ...
  size_t count;     // ... count of them, at most VIEW_BATCH_CORNERS
};

struct view_mesh {
  std::vector<view_corner> corners;
  std::vector<view_point> normals;  // a unit normal per face: corners 3f, 3f + 1, 3f + 2
  std::vector<view_batch> batches;
  size_t faces_left_out;  // a corner out of its object's range, or not finite
};

view_box measure_view_model(const view_model& model);
view_fit fit_view_box(const view_box& box);  // to VIEW_SIDE, centred on the origin
// material_textures[m]: the texture for model.materials[m], or -1.
view_mesh build_view_mesh(const view_model& model, const view_fit& fit,
                          const std::vector<int32_t>& material_textures);
// Each face's shade under a light on the camera, from either side (3DS files do not
// agree on winding): the ambient part, and the rest by how squarely the face, turned
// by the model-view matrix (column-major, no scaling), faces the camera.
void shade_view_mesh(view_mesh* mesh, const float modelview[16]);

#endif  // VIEW_VIEW_MESH_H
