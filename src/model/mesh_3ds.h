// The die's mesh record and the narrow 3DS chunk reader that fills it.
//
// read_3ds_mesh walks the file's chunks in one flat loop and prints every chunk
// header, both list counts and every vertex, face and mapping value it reads to
// stdout. It returns false when the file cannot be opened (silently, the record
// untouched) or when the walk has to stop early on a malformed file (with one
// line saying why); the record then holds only what was read whole.
#ifndef MODEL_MESH_3DS_H
#define MODEL_MESH_3DS_H

#include <cstdint>

constexpr int MESH_CAPACITY = 8000;  // entries per array; longer lists are cut

struct mesh_vertex {
  float x, y, z;
};

struct mesh_face {
  int32_t a, b, c;  // 16-bit vertex indices, zero-extended
};

struct mesh_uv {
  float u, v;
};

struct mesh_object {
  char name[20];  // not terminated when the name has 20 or more characters
  int32_t vertex_count;
  int32_t polygon_count;
  mesh_vertex vertices[MESH_CAPACITY];
  mesh_face polygons[MESH_CAPACITY];
  mesh_uv mapping[MESH_CAPACITY];  // mapping[k] belongs to vertices[k]
  int32_t texture_id;              // GL texture name bound when drawing
};

extern mesh_object die_mesh;  // the one mesh; all zero at start

bool read_3ds_mesh(mesh_object* mesh, const char* path);  // false: unopenable or cut short
int32_t stream_file_size(int descriptor);                 // st_size via fstat; -1 on failure

#endif  // MODEL_MESH_3DS_H
