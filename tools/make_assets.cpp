// Writes the die's assets: its mesh (cube.3ds) and texture atlas (die.bmp), and on request a
// large mesh for rendering benchmarks. Every byte depends on this file alone, so the committed
// assets can be checked against a fresh run.
//
// Usage: make_assets <dir>                     writes <dir>/cube.3ds and <dir>/die.bmp
//        make_assets --capacity-mesh <path>    writes an 8000-face sphere
//        make_assets --view-mesh <path>        writes a 30,000-face sphere, the die's size
// Exit status: 0 done, 1 a file could not be written, 2 wrong usage.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct vec3 {
  float x, y, z;
};

struct uv2 {
  float u, v;
};

struct face3 {
  uint16_t a, b, c;
};

struct mesh_data {
  std::vector<vec3> vertices;
  std::vector<uv2> mapping;  // mapping[k] belongs to vertices[k]
  std::vector<face3> faces;
};

// Byte buffers are little-endian whatever the host, so values go in byte by byte.
static void append_u8(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xff));
}

static void append_u16(std::string* out, uint32_t value) {
  append_u8(out, value);
  append_u8(out, value >> 8);
}

static void append_u32(std::string* out, uint32_t value) {
  append_u16(out, value);
  append_u16(out, value >> 16);
}

static void append_f32(std::string* out, float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  append_u32(out, bits);
}

static void append_name(std::string* out, const char* name) {
  out->append(name, strlen(name) + 1);  // 3DS names keep their terminating zero
}

// Building a chunk from its finished contents keeps every length exact, however deep the nesting.
static std::string make_chunk(uint16_t id, const std::string& contents) {
  std::string chunk;
  append_u16(&chunk, id);
  append_u32(&chunk, static_cast<uint32_t>(6 + contents.size()));
  return chunk + contents;
}

static std::string make_u32_chunk(uint16_t id, uint32_t value) {
  std::string contents;
  append_u32(&contents, value);
  return make_chunk(id, contents);
}

static std::string make_material_block() {
  std::string name, colour, white;
  append_name(&name, "white");
  for (int i = 0; i < 3; i++)
    append_u8(&white, 255);
  colour = make_chunk(0x0011, white);  // 24-bit colour
  return make_chunk(0xAFFF, make_chunk(0xA000, name) + make_chunk(0xA010, colour));
}

static std::string make_triangle_mesh(const mesh_data& mesh) {
  std::string vertices, mapping, axes, faces, face_material;
  append_u16(&vertices, static_cast<uint32_t>(mesh.vertices.size()));
  for (const vec3& p : mesh.vertices) {
    append_f32(&vertices, p.x);
    append_f32(&vertices, p.y);
    append_f32(&vertices, p.z);
  }
  append_u16(&mapping, static_cast<uint32_t>(mesh.mapping.size()));
  for (const uv2& t : mesh.mapping) {
    append_f32(&mapping, t.u);
    append_f32(&mapping, t.v);
  }
  const float identity_then_origin[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  for (float value : identity_then_origin)
    append_f32(&axes, value);

  append_name(&face_material, "white");
  append_u16(&face_material, static_cast<uint32_t>(mesh.faces.size()));
  append_u16(&faces, static_cast<uint32_t>(mesh.faces.size()));
  for (size_t i = 0; i < mesh.faces.size(); i++) {
    append_u16(&faces, mesh.faces[i].a);
    append_u16(&faces, mesh.faces[i].b);
    append_u16(&faces, mesh.faces[i].c);
    append_u16(&faces, 7);  // edge visibility flags, as modellers usually leave them
    append_u16(&face_material, static_cast<uint32_t>(i));
  }
  // The face-material chunk nests inside the face list, after the faces themselves.
  faces += make_chunk(0x4130, face_material);
  return make_chunk(0x4100, make_chunk(0x4110, vertices) + make_chunk(0x4140, mapping) +
                                make_chunk(0x4160, axes) + make_chunk(0x4120, faces));
}

static std::string make_keyframes(const char* object_name) {
  std::string header, frames;
  append_u16(&header, 5);
  append_name(&header, object_name);
  append_u32(&header, 100);
  append_u32(&frames, 0);
  append_u32(&frames, 100);
  return make_chunk(0xB000, make_chunk(0xB00A, header) + make_chunk(0xB008, frames));
}

static std::string make_mesh_file(const mesh_data& mesh, const char* object_name) {
  std::string object, scale;
  append_name(&object, object_name);
  object += make_triangle_mesh(mesh);
  append_f32(&scale, 1.0f);
  std::string editor = make_u32_chunk(0x3D3E, 3) + make_material_block() +
                       make_chunk(0x0100, scale) + make_chunk(0x4000, object);
  return make_chunk(
      0x4D4D, make_u32_chunk(0x0002, 3) + make_chunk(0x3D3D, editor) + make_keyframes(object_name));
}

// Each side is seen from outside with `right` and `up` spanning it (right x up = outward normal),
// and its image is laid in the cell with u along right and v along up, so no side shows mirrored.
// Value v sits in cell (col, row) = ((v-1) % 3, (v-1) / 3), row 0 at the image's bottom:
//   value  side  cell   up on the die
//     1     +z   (0,0)  +y
//     2     +x   (1,0)  +y
//     3     +y   (2,0)  -z
//     4     -y   (0,1)  +z
//     5     -x   (1,1)  +y
//     6     -z   (2,1)  +y
// Opposite sides add up to 7, and 1, 2, 3 run counter-clockwise around their shared corner.
struct side_frame {
  int value;
  int normal[3], right[3], up[3];
};

static const side_frame die_sides[6] = {
    {1, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {2, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    {3, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {4, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    {5, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {6, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
};

static const int CELL_PIXELS = 128;
static const int ATLAS_COLUMNS = 3, ATLAS_ROWS = 2;
static const int CELL_INSET_PIXELS = CELL_PIXELS / 64;  // keeps mip levels off the next cell

static mesh_data make_die_mesh() {
  const float half = 10.0f;
  const int corner_signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};  // CCW from outside
  mesh_data mesh;
  for (const side_frame& side : die_sides) {
    int col = (side.value - 1) % ATLAS_COLUMNS, row = (side.value - 1) / ATLAS_COLUMNS;
    uint16_t first = static_cast<uint16_t>(mesh.vertices.size());
    for (const auto& s : corner_signs) {
      float p[3];
      for (int k = 0; k < 3; k++)
        p[k] = half * static_cast<float>(side.normal[k] + s[0] * side.right[k] + s[1] * side.up[k]);
      mesh.vertices.push_back({p[0], p[1], p[2]});
      int px = col * CELL_PIXELS + (s[0] < 0 ? CELL_INSET_PIXELS : CELL_PIXELS - CELL_INSET_PIXELS);
      int py = row * CELL_PIXELS + (s[1] < 0 ? CELL_INSET_PIXELS : CELL_PIXELS - CELL_INSET_PIXELS);
      mesh.mapping.push_back({static_cast<float>(px) / (ATLAS_COLUMNS * CELL_PIXELS),
                              static_cast<float>(py) / (ATLAS_ROWS * CELL_PIXELS)});
    }
    mesh.faces.push_back(
        {first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2)});
    mesh.faces.push_back(
        {first, static_cast<uint16_t>(first + 2), static_cast<uint16_t>(first + 3)});
  }
  return mesh;
}

// A sphere of latitude rings: rows from the +y pole down, columns around it with the seam
// repeated for its mapping. The pole rows keep only their non-degenerate triangle, which gives
// 2 * columns * (rows - 1) faces on (rows + 1) * (columns + 1) vertices: 8000 on 4212 for the
// reader's capacity, 30,000 on 15,402 for the view's benchmark.
static mesh_data make_sphere_mesh(int rows, int columns) {
  const double radius = 10.0, pi = 3.14159265358979323846;
  mesh_data mesh;
  for (int i = 0; i <= rows; i++) {
    double theta = pi * i / rows;
    for (int j = 0; j <= columns; j++) {
      double phi = 2 * pi * j / columns;
      double ring = (i == 0 || i == rows) ? 0.0 : radius * std::sin(theta);
      mesh.vertices.push_back({static_cast<float>(ring * std::cos(phi)),
                               static_cast<float>(radius * std::cos(theta)),
                               static_cast<float>(-ring * std::sin(phi))});
      mesh.mapping.push_back(
          {static_cast<float>(j) / columns, 1.0f - static_cast<float>(i) / rows});
    }
  }
  for (int i = 0; i < rows; i++) {
    for (int j = 0; j < columns; j++) {
      uint16_t a = static_cast<uint16_t>(i * (columns + 1) + j), d = static_cast<uint16_t>(a + 1);
      uint16_t b = static_cast<uint16_t>(a + columns + 1), c = static_cast<uint16_t>(b + 1);
      if (i != rows - 1) mesh.faces.push_back({a, b, c});
      if (i != 0) mesh.faces.push_back({a, c, d});
    }
  }
  return mesh;
}

// Pip layouts as seen on the cell, top row first.
static const char* const pip_layouts[6][3] = {
    {"...", ".o.", "..."}, {"o..", "...", "..o"}, {"o..", ".o.", "..o"},
    {"o.o", "...", "o.o"}, {"o.o", ".o.", "o.o"}, {"o.o", "o.o", "o.o"},
};

// Colour of one texel, (x, y) counted from the image's bottom-left, as blue, green, red.
static void colour_texel(int x, int y, unsigned char bgr[3]) {
  const int PIP_RADIUS = 11, PIP_SPACING = 32, BORDER_PIXELS = 2;
  int value = (y / CELL_PIXELS) * ATLAS_COLUMNS + x / CELL_PIXELS + 1;
  int lx = x % CELL_PIXELS, ly = y % CELL_PIXELS;
  // The border starts at the cell's edge but is only seen past the mapping's inset.
  int edge = CELL_INSET_PIXELS + BORDER_PIXELS;
  bool border = lx < edge || ly < edge || lx >= CELL_PIXELS - edge || ly >= CELL_PIXELS - edge;
  bool pip = false;
  for (int gy = 0; gy < 3; gy++) {
    for (int gx = 0; gx < 3; gx++) {
      if (pip_layouts[value - 1][2 - gy][gx] != 'o') continue;
      // Doubled coordinates put texel centres and pip centres on integers.
      int dx = 2 * lx + 1 - 2 * PIP_SPACING * (gx + 1);
      int dy = 2 * ly + 1 - 2 * PIP_SPACING * (gy + 1);
      if (dx * dx + dy * dy <= 4 * PIP_RADIUS * PIP_RADIUS) pip = true;
    }
  }
  const unsigned char face[3] = {240, 245, 245}, dark[3] = {20, 20, 20}, line[3] = {170, 170, 170};
  memcpy(bgr, border ? line : pip ? dark : face, 3);
}

static std::string make_atlas_bmp() {
  const int width = ATLAS_COLUMNS * CELL_PIXELS, height = ATLAS_ROWS * CELL_PIXELS;
  const int row_bytes = (width * 3 + 3) / 4 * 4;
  const uint32_t image_bytes = static_cast<uint32_t>(row_bytes * height);
  std::string bmp = "BM";
  append_u32(&bmp, 54 + image_bytes);
  append_u32(&bmp, 0);  // two reserved u16 fields
  append_u32(&bmp, 54);
  const uint32_t info[10] = {40,
                             static_cast<uint32_t>(width),
                             static_cast<uint32_t>(height),
                             0,
                             0,
                             image_bytes,
                             2835,
                             2835,
                             0,
                             0};  // 2835 px/m = 72 dpi
  for (int i = 0; i < 10; i++) {
    if (i == 3) {
      append_u16(&bmp, 1);   // planes
      append_u16(&bmp, 24);  // bits per pixel
    } else {
      append_u32(&bmp, info[i]);
    }
  }
  for (int y = 0; y < height; y++) {  // bottom row first
    for (int x = 0; x < width; x++) {
      unsigned char bgr[3];
      colour_texel(x, y, bgr);
      bmp.append(reinterpret_cast<const char*>(bgr), 3);
    }
    bmp.append(static_cast<size_t>(row_bytes - width * 3), '\0');
  }
  return bmp;
}

static bool write_file(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  bool written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file != nullptr && fclose(file) != 0) written = false;
  if (!written)
    fprintf(stderr, "make_assets: cannot write %s: %s\n", path.c_str(), strerror(errno));
  return written;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--capacity-mesh") == 0)
    return write_file(argv[2], make_mesh_file(make_sphere_mesh(51, 80), "capacity")) ? 0 : 1;
  if (argc == 3 && strcmp(argv[1], "--view-mesh") == 0)
    return write_file(argv[2], make_mesh_file(make_sphere_mesh(101, 150), "view")) ? 0 : 1;
  if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
    fprintf(stderr, "usage: make_assets <dir> | make_assets --capacity-mesh|--view-mesh <path>\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!write_file(dir + "/cube.3ds", make_mesh_file(make_die_mesh(), "die"))) return 1;
  if (!write_file(dir + "/die.bmp", make_atlas_bmp())) return 1;
  return 0;
}
