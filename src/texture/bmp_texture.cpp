// The loader works in two halves: decode_bmp checks the headers and reads and
// converts the pixels without touching GL, and only a fully decoded image
// reaches upload_texture. Pixel rows keep the file's padding to 4 bytes, which
// is exactly the row layout OpenGL's default unpack alignment expects, so the
// uploads read the buffer to its last pixel and never past it.
#include "texture/bmp_texture.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

int32_t texture_counter = -1;

static const uint32_t FILE_HEADER_BYTES = 14;
static const uint32_t READ_HEADER_BYTES = 54;         // file header and a 40-byte info header
static const uint32_t INFO_HEADER_FULL_BYTES = 40;    // the smallest one with a compression field
static const uint32_t INFO_HEADER_PLANES_BYTES = 16;  // smaller (OS/2 core): 16-bit sides

// The largest pixel block the side limit allows fits size_t on any target.
static_assert((uint64_t{BMP_SIDE_LIMIT} * 3 + 3) * BMP_SIDE_LIMIT <= SIZE_MAX,
              "pixel block size must fit size_t");

struct bmp_header {
  uint32_t data_offset;
  uint32_t info_size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bpp;
  uint32_t compression;
};

static uint16_t get_u16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

static uint32_t get_u32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

static void parse_header(const unsigned char* bytes, bmp_header* header) {
  header->data_offset = get_u32(bytes + 10);
  header->info_size = get_u32(bytes + 14);
  header->width = static_cast<int32_t>(get_u32(bytes + 18));
  header->height = static_cast<int32_t>(get_u32(bytes + 22));
  header->planes = get_u16(bytes + 26);
  header->bpp = get_u16(bytes + 28);
  header->compression = get_u32(bytes + 30);
}

// -1 when the size cannot be had; a pipe's or a device's size is not its length.
static long long measure_file(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return static_cast<long long>(status.st_size);
}

static bool refuse(bmp_refusal* refusal, bmp_refusal_kind kind, long long first = 0,
                   long long second = 0) {
  *refusal = bmp_refusal{kind, first, second};
  return false;
}

// Planes and bits per pixel come first, so that a palette or 16/32-bit file is
// named by its bit depth; they are only where they are read from when the info
// header is not the 12-byte OS/2 one.
static bool check_format(const bmp_header& header, bmp_refusal* refusal) {
  if (header.info_size < INFO_HEADER_PLANES_BYTES)
    return refuse(refusal, BMP_INFO_HEADER, header.info_size);
  if (header.planes != 1) return refuse(refusal, BMP_PLANES, header.planes);
  if (header.bpp != 24) return refuse(refusal, BMP_BPP, header.bpp);
  if (header.info_size < INFO_HEADER_FULL_BYTES)
    return refuse(refusal, BMP_INFO_HEADER, header.info_size);
  if (header.compression != 0) return refuse(refusal, BMP_COMPRESSION, header.compression);
  return true;
}

static bool check_size(const bmp_header& header, bmp_refusal* refusal) {
  if (header.width <= 0 || header.height <= 0)
    return refuse(refusal, BMP_SIZE_NOT_POSITIVE, header.width, header.height);
  if (header.width > BMP_SIDE_LIMIT || header.height > BMP_SIDE_LIMIT)
    return refuse(refusal, BMP_SIZE_OVER_LIMIT, header.width, header.height);
  return true;
}

// The whole pixel block must lie between the headers and the end of the file,
// checked before anything is allocated from the header's numbers.
static bool check_extent(const bmp_header& header, size_t data_size, long long file_size,
                         bmp_refusal* refusal) {
  if (header.data_offset < uint64_t{FILE_HEADER_BYTES} + header.info_size)
    return refuse(refusal, BMP_OFFSET_IN_HEADERS, header.data_offset);
  if (file_size >= 0 && header.data_offset > file_size)
    return refuse(refusal, BMP_OFFSET_PAST_END, header.data_offset);
  if (file_size < 0 || data_size > static_cast<unsigned long long>(file_size - header.data_offset))
    return refuse(refusal, BMP_UNREADABLE);
  return true;
}

// Bytes come in blue-green-red; the row padding is left alone.
static void swap_red_blue(bmp_pixels* image) {
  size_t row_bytes = static_cast<size_t>(image->width) * 3;
  for (int32_t y = 0; y < image->height; y++) {
    unsigned char* row = image->pixels + bmp_row_stride(image->width) * static_cast<size_t>(y);
    for (size_t i = 0; i < row_bytes; i += 3) {
      unsigned char blue = row[i];
      row[i] = row[i + 2];
      row[i + 2] = blue;
    }
  }
}

size_t bmp_row_stride(int32_t width) {
  return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

bool read_bmp_pixels(FILE* file, bmp_pixels* image, bmp_refusal* refusal) {
  *image = bmp_pixels{};
  unsigned char bytes[READ_HEADER_BYTES];
  size_t got = fread(bytes, 1, sizeof bytes, file);
  if (got != sizeof bytes) return refuse(refusal, BMP_HEADERS_SHORT, static_cast<long long>(got));
  bmp_header header;
  parse_header(bytes, &header);
  if (!check_format(header, refusal) || !check_size(header, refusal)) return false;

  size_t data_size = bmp_row_stride(header.width) * static_cast<size_t>(header.height);
  if (!check_extent(header, data_size, measure_file(file), refusal)) return false;

  unsigned char* pixels = static_cast<unsigned char*>(malloc(data_size));
  if (pixels == nullptr) return refuse(refusal, BMP_NO_MEMORY);
  if (fseek(file, static_cast<long>(header.data_offset), SEEK_SET) != 0 ||
      fread(pixels, data_size, 1, file) != 1) {
    free(pixels);
    return refuse(refusal, BMP_UNREADABLE);
  }
  *image = bmp_pixels{header.width, header.height, pixels};
  swap_red_blue(image);
  return true;
}

void print_bmp_refusal(FILE* out, const char* path, const bmp_refusal& refusal) {
  long long first = refusal.first, second = refusal.second;
  switch (refusal.kind) {
    case BMP_HEADERS_SHORT:
      fprintf(out, "Headers from %s are cut short: %lld of %u bytes\n", path, first,
              READ_HEADER_BYTES);
      break;
    case BMP_INFO_HEADER:
      fprintf(out, "Info header from %s is not supported: %lld bytes\n", path, first);
      break;
    case BMP_PLANES:
      fprintf(out, "Planes from %s is not 1: %lld\n", path, first);
      break;
    case BMP_BPP:
      fprintf(out, "Bpp from %s is not 24: %lld\n", path, first);
      break;
    case BMP_COMPRESSION:
      fprintf(out, "Compression from %s is not 0: %lld\n", path, first);
      break;
    case BMP_SIZE_NOT_POSITIVE:
      fprintf(out, "Size from %s is not positive: %lld x %lld\n", path, first, second);
      break;
    case BMP_SIZE_OVER_LIMIT:
      fprintf(out, "Size from %s is over %d: %lld x %lld\n", path, BMP_SIDE_LIMIT, first, second);
      break;
    case BMP_OFFSET_IN_HEADERS:
      fprintf(out, "Data offset from %s lies inside the headers: %lld\n", path, first);
      break;
    case BMP_OFFSET_PAST_END:
      fprintf(out, "Data offset from %s lies beyond the end of the file: %lld\n", path, first);
      break;
    case BMP_NO_MEMORY:
      fprintf(out, "Error allocating memory for color-corrected image data\n");
      break;
    case BMP_UNREADABLE:
      fprintf(out, "Error reading image data from %s.\n", path);
      break;
  }
}

static void upload_texture(const bmp_pixels& image, int32_t name) {
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_REPEAT));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_REPEAT));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  static_cast<GLfloat>(GL_LINEAR_MIPMAP_NEAREST));
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_REPLACE));
  glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               image.pixels);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE,
                    image.pixels);
}

int32_t load_bmp_texture(const char* path) {
  texture_counter += 1;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return -1;
  bmp_pixels image;
  bmp_refusal refusal;
  bool decoded = read_bmp_pixels(file, &image, &refusal);
  fclose(file);
  if (!decoded) {
    print_bmp_refusal(stdout, path, refusal);
    return 0;
  }
  upload_texture(image, texture_counter);
  free(image.pixels);
  return texture_counter;
}
