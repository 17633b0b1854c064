// The view's 3DS walker. A chunk is a u16 identifier, a u32 length (header, contents
// and sub-chunks) and its contents; all numbers little-endian. Each level walks the
// chunks inside its parent only: a length that runs past the parent is cut to it,
// one shorter than a header ends that level.
#include "view/view_model.h"

#include <cstring>

struct byte_span {
  const unsigned char* data;
  size_t size;
};

struct chunk {
  uint16_t id;
  byte_span contents;
};

static uint16_t get_u16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

static uint32_t get_u32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static float get_f32(const unsigned char* bytes) {
  uint32_t bits = get_u32(bytes);
  float value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

static void skip(byte_span* span, size_t count) {
  span->data += count;
  span->size -= count;
}

static bool next_chunk(byte_span* rest, chunk* next) {
  if (rest->size < 6) return false;
  uint32_t length = get_u32(rest->data + 2);
  if (length < 6) return false;  // would not move on: the rest of this level is unreadable
  size_t taken = length < rest->size ? length : rest->size;
  *next = chunk{get_u16(rest->data), byte_span{rest->data + 6, taken - 6}};
  skip(rest, taken);
  return true;
}

// A zero-terminated string; without its terminator, the rest of the span.
static std::string take_string(byte_span* span) {
  if (span->size == 0) return std::string();
  const void* end = memchr(span->data, 0, span->size);
  size_t length =
      end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - span->data) : span->size;
  std::string text(reinterpret_cast<const char*>(span->data), length);
  skip(span, end ? length + 1 : length);
  return text;
}

// A list's u16 count, cut to the whole entries of entry_bytes that follow it.
static size_t take_count(byte_span* span, size_t entry_bytes) {
  if (span->size < 2) return 0;
  size_t count = get_u16(span->data);
  skip(span, 2);
  size_t whole = span->size / entry_bytes;
  return count < whole ? count : whole;
}

static void read_vertices(byte_span span, view_object* object) {
  size_t count = take_count(&span, 12);
  object->vertices.resize(count);
  for (size_t i = 0; i < count; i++, skip(&span, 12))
    object->vertices[i] = {get_f32(span.data), get_f32(span.data + 4), get_f32(span.data + 8)};
}

static void read_mapping(byte_span span, view_object* object) {
  size_t count = take_count(&span, 8);
  object->mapping.resize(count);
  for (size_t i = 0; i < count; i++, skip(&span, 8))
    object->mapping[i] = {get_f32(span.data), get_f32(span.data + 4)};
}

static void read_face_group(byte_span span, view_object* object) {
  view_face_group group;
  group.material = take_string(&span);
  size_t count = take_count(&span, 2);
  group.faces.resize(count);
  for (size_t i = 0; i < count; i++, skip(&span, 2))
    group.faces[i] = get_u16(span.data);
  object->groups.push_back(std::move(group));
}

// The faces (a, b, c, flags), then sub-chunks of their own.
static void read_faces(byte_span span, view_object* object) {
  size_t count = take_count(&span, 8);
  object->faces.resize(count);
  for (size_t i = 0; i < count; i++, skip(&span, 8))
    object->faces[i] = {get_u16(span.data), get_u16(span.data + 2), get_u16(span.data + 4)};
  chunk sub;
  while (next_chunk(&span, &sub)) {
    if (sub.id == 0x4130) read_face_group(sub.contents, object);  // material name, u16 count, faces
  }
}

static void read_mesh(byte_span span, const std::string& name, view_model* model) {
  view_object object;
  object.name = name;
  chunk list;
  while (next_chunk(&span, &list)) {
    switch (list.id) {
      case 0x4110:  // vertex list: u16 count, then count x (f32 x, f32 y, f32 z)
        read_vertices(list.contents, &object);
        break;
      case 0x4120:  // face list: u16 count, then count x (u16 a, b, c, flags); sub-chunks
        read_faces(list.contents, &object);
        break;
      case 0x4140:  // mapping list: u16 count, then count x (f32 u, f32 v)
        read_mapping(list.contents, &object);
        break;
    }
  }
  model->objects.push_back(std::move(object));
}

// A name, then what the block holds: a triangle mesh, or a camera or light to leave out.
static void read_object(byte_span span, view_model* model) {
  std::string name = take_string(&span);
  chunk part;
  while (next_chunk(&span, &part)) {
    if (part.id == 0x4100) read_mesh(part.contents, name, model);  // triangle mesh
  }
}

static void read_material(byte_span span, view_model* model) {
  view_material material;
  chunk part;
  while (next_chunk(&span, &part)) {
    if (part.id == 0xa000) {  // material name: a string
      material.name = take_string(&part.contents);
    } else if (part.id == 0xa200) {  // texture map: sub-chunks
      chunk map;
      while (next_chunk(&part.contents, &map)) {
        if (map.id == 0xa300) material.texture_map = take_string(&map.contents);  // file name
      }
    }
  }
  model->materials.push_back(std::move(material));
}

static void read_editor(byte_span span, view_model* model) {
  chunk part;
  while (next_chunk(&span, &part)) {
    if (part.id == 0x4000) read_object(part.contents, model);    // object block
    if (part.id == 0xafff) read_material(part.contents, model);  // material block
  }
}

view_model read_view_model(const unsigned char* bytes, size_t size) {
  view_model model;
  byte_span rest{bytes, size};
  chunk top;
  while (next_chunk(&rest, &top)) {
    if (top.id == 0x3d3d) read_editor(top.contents, &model);  // editor chunk at the top
    if (top.id != 0x4d4d) continue;
    chunk part;
    while (next_chunk(&top.contents, &part)) {
      if (part.id == 0x3d3d) read_editor(part.contents, &model);
    }
  }
  return model;
}
