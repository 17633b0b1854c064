// A user's whole model, for viewing: every object's vertices, faces and mapping,
// which faces wear which material, and each material's texture file name.
//
// read_view_model parses a 3DS file's bytes with a walker of its own: it prints
// nothing, checks every length against the bytes left in its chunk and keeps only
// whole entries, so any bytes give a defined model (a broken file, what was whole
// in it). Chunks are looked for only where the format puts them (4D4D > 3D3D >
// 4000 > 4100 > lists; 3D3D > AFFF > A000, A200 > A300), so nesting is bounded.
// Indices are kept as read; view_mesh checks them against their own object.
#ifndef VIEW_VIEW_MODEL_H
#define VIEW_VIEW_MODEL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct view_point {
  float x, y, z;
};

struct view_uv {
  float u, v;
};

struct view_face {
  uint16_t a, b, c;  // corners, indices into the object's vertices
};

struct view_face_group {  // 4130: the faces that wear one material
  std::string material;
  std::vector<uint16_t> faces;  // indices into the object's faces
};

struct view_object {  // one triangle mesh (4100) and the name of its object block
  std::string name;
  std::vector<view_point> vertices;
  std::vector<view_face> faces;
  std::vector<view_uv> mapping;  // mapping[k] belongs to vertices[k]
  std::vector<view_face_group> groups;
};

struct view_material {
  std::string name;
  std::string texture_map;  // A300 under A200, as the file names it; empty: none
};

struct view_model {
  std::vector<view_object> objects;  // in file order; blocks without a mesh are left out
  std::vector<view_material> materials;
};

view_model read_view_model(const unsigned char* bytes, size_t size);

#endif  // VIEW_VIEW_MODEL_H
