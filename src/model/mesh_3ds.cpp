// Reader of the 3DS chunk subset that carries one triangle mesh.
//
// A chunk is a u16 identifier, a u32 length (the 6-byte header plus contents and
// sub-chunks) and its contents. Containers are entered by simply reading on, lists
// are read value by value, everything else is skipped by its length. All numbers
// are little-endian.
#include "model/mesh_3ds.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

mesh_object die_mesh;

int32_t stream_file_size(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return -1;
  if (status.st_size > INT32_MAX) return INT32_MAX;  // the walk's bound is 32-bit
  return static_cast<int32_t>(status.st_size);
}

static bool read_u16(FILE* file, uint16_t* value) {
  unsigned char bytes[2];
  if (fread(bytes, 1, 2, file) != 2) return false;
  *value = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  return true;
}

static bool read_u32(FILE* file, uint32_t* value) {
  unsigned char bytes[4];
  if (fread(bytes, 1, 4, file) != 4) return false;
  *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

static bool read_printed_f32(FILE* file, const char* format, float* value) {
  uint32_t bits;
  if (!read_u32(file, &bits)) return false;
  memcpy(value, &bits, sizeof bits);
  printf(format, static_cast<double>(*value));
  return true;
}

static bool read_printed_index(FILE* file, const char* format, int32_t* slot) {
  uint16_t index;
  if (!read_u16(file, &index)) return false;
  *slot = index;
  printf(format, *slot);
  return true;
}

static bool report_early_end(FILE* file) {
  printf("File ended early at offset %ld\n", ftell(file));
  return false;
}

// Entries of a list that the record can hold; the rest are read and printed only,
// so the walk stays in step with the file.
static int32_t kept_entries(const char* list, uint16_t l_qty) {
  if (l_qty <= MESH_CAPACITY) return l_qty;
  printf("%s list cut: first %d of %d kept\n", list, MESH_CAPACITY, l_qty);
  return MESH_CAPACITY;
}

static bool read_vertex_list(FILE* file, mesh_object* mesh) {
  uint16_t l_qty;
  if (!read_u16(file, &l_qty)) return report_early_end(file);
  printf("Number of vertices: %d\n", l_qty);
  int32_t kept = kept_entries("Vertices", l_qty);
  int32_t whole = 0;
  for (; whole < l_qty; whole++) {
    mesh_vertex vertex;
    if (!read_printed_f32(file, "Vertices list x: %f\n", &vertex.x) ||
        !read_printed_f32(file, "Vertices list y: %f\n", &vertex.y) ||
        !read_printed_f32(file, "Vertices list z: %f\n", &vertex.z))
      break;
    if (whole < kept) mesh->vertices[whole] = vertex;
  }
  mesh->vertex_count = whole < kept ? whole : kept;
  return whole == l_qty || report_early_end(file);
}

static bool read_face_list(FILE* file, mesh_object* mesh) {
  uint16_t l_qty;
  if (!read_u16(file, &l_qty)) return report_early_end(file);
  printf("Number of polygons: %d\n", l_qty);
  int32_t kept = kept_entries("Polygons", l_qty);
  int32_t whole = 0;
  for (; whole < l_qty; whole++) {
    mesh_face face;
    uint16_t l_face_flags;
    if (!read_printed_index(file, "Polygon point a: %d\n", &face.a) ||
        !read_printed_index(file, "Polygon point b: %d\n", &face.b) ||
        !read_printed_index(file, "Polygon point c: %d\n", &face.c) ||
        !read_u16(file, &l_face_flags))
      break;
    printf("Face flags: %x\n", l_face_flags);
    if (whole < kept) mesh->polygons[whole] = face;
  }
  mesh->polygon_count = whole < kept ? whole : kept;
  return whole == l_qty || report_early_end(file);
}

static bool read_mapping_list(FILE* file, mesh_object* mesh) {
  uint16_t l_qty;
  if (!read_u16(file, &l_qty)) return report_early_end(file);
  int32_t kept = kept_entries("Mapping", l_qty);
  int32_t whole = 0;
  for (; whole < l_qty; whole++) {
    mesh_uv uv;
    if (!read_printed_f32(file, "Mapping list u: %f\n", &uv.u) ||
        !read_printed_f32(file, "Mapping list v: %f\n", &uv.v))
      break;
    if (whole < kept) mesh->mapping[whole] = uv;
  }
  return whole == l_qty || report_early_end(file);
}

static bool read_object_name(FILE* file, mesh_object* mesh) {
  int l_char = EOF;
  for (int i = 0; i < static_cast<int>(sizeof mesh->name) && l_char != 0; i++) {
    if ((l_char = fgetc(file)) == EOF) return report_early_end(file);
    mesh->name[i] = static_cast<char>(l_char);
  }
  // The tail of a longer name would otherwise be walked as chunk headers.
  while (l_char != 0) {
    if ((l_char = fgetc(file)) == EOF) return report_early_end(file);
  }
  return true;
}

static bool skip_chunk(FILE* file, uint16_t l_chunk_id, uint32_t l_chunk_lenght) {
  // A skip must move forward by a signed 32-bit offset: anything shorter than its
  // own header would walk backwards, or return to the same header for ever.
  if (l_chunk_lenght < 6 || l_chunk_lenght - 6 > INT32_MAX) {
    printf("ChunkID %x at offset %ld has length %x: cannot skip it\n", l_chunk_id, ftell(file) - 6,
           l_chunk_lenght);
    return false;
  }
  fseek(file, static_cast<long>(l_chunk_lenght - 6), SEEK_CUR);
  return true;
}

static bool walk_chunks(FILE* file, mesh_object* mesh) {
  for (;;) {
    long position = ftell(file);
    int32_t size = stream_file_size(fileno(file));
    if (position < 0 || size < 0) {
      printf("File size unknown: %s\n", strerror(errno));
      return false;
    }
    if (position >= size) return true;

    uint16_t l_chunk_id;
    uint32_t l_chunk_lenght;
    if (!read_u16(file, &l_chunk_id)) return report_early_end(file);
    printf("ChunkID: %x\n", l_chunk_id);
    if (!read_u32(file, &l_chunk_lenght)) return report_early_end(file);
    printf("ChunkLenght: %x\n", l_chunk_lenght);

    bool in_step = true;
    switch (l_chunk_id) {
      case 0x4d4d:  // main chunk: sub-chunks follow at once
      case 0x3d3d:  // 3D editor chunk: sub-chunks follow at once
      case 0x4100:  // triangle mesh: sub-chunks follow at once
        break;
      case 0x4000:  // object block: zero-terminated name, then sub-chunks
        in_step = read_object_name(file, mesh);
        break;
      case 0x4110:  // vertex list: u16 count, then count x (f32 x, f32 y, f32 z)
        in_step = read_vertex_list(file, mesh);
        break;
      case 0x4120:  // face list: u16 count, then count x (u16 a, b, c, flags); sub-chunks follow
        in_step = read_face_list(file, mesh);
        break;
      case 0x4140:  // mapping list: u16 count, then count x (f32 u, f32 v)
        in_step = read_mapping_list(file, mesh);
        break;
      default:
        in_step = skip_chunk(file, l_chunk_id, l_chunk_lenght);
        break;
    }
    if (!in_step) return false;
  }
}

bool read_3ds_mesh(mesh_object* mesh, const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  bool complete = walk_chunks(file, mesh);
  fclose(file);
  fflush(stdout);  // the account shows at once on a pipe too
  return complete;
}
