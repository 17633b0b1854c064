// Loader of uncompressed 24-bit Windows BMP files into mip-mapped RGB textures.
//
// load_bmp_texture hands out the next texture name, reads the file's pixel rows
// (padding kept, so the buffer matches OpenGL's unpack alignment of 4), swaps
// blue and red, and uploads level 0 and the mipmap chain, leaving the texture
// bound. It returns -1 silently when the file cannot be opened, and 0 after one
// line on stdout naming the file when the file is refused or cannot be read;
// no GL call is made then. A refused call still uses up its name.
//
// read_bmp_pixels is the loader's decoding alone, silent and without GL, for a
// caller with textures of its own; print_bmp_refusal says why in the loader's words.
#ifndef TEXTURE_BMP_TEXTURE_H
#define TEXTURE_BMP_TEXTURE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int32_t BMP_SIDE_LIMIT = 16384;  // longest side accepted, pixels

enum bmp_refusal_kind {
  BMP_HEADERS_SHORT,      // first: bytes there were
  BMP_INFO_HEADER,        // first: its size
  BMP_PLANES,             // first: planes
  BMP_BPP,                // first: bits per pixel
  BMP_COMPRESSION,        // first: the compression field
  BMP_SIZE_NOT_POSITIVE,  // first, second: width, height
  BMP_SIZE_OVER_LIMIT,    // first, second: width, height
  BMP_OFFSET_IN_HEADERS,  // first: the data offset
  BMP_OFFSET_PAST_END,    // first: the data offset
  BMP_NO_MEMORY,
  BMP_UNREADABLE,  // the pixels are not all there, or cannot be read
};

struct bmp_refusal {
  bmp_refusal_kind kind;
  long long first, second;
};

struct bmp_pixels {
  int32_t width, height;
  unsigned char* pixels;  // RGB, bottom row first, rows padded to 4 bytes; free() it
};

extern int32_t texture_counter;  // last texture name handed out; -1 before the first call

int32_t load_bmp_texture(const char* path);  // texture name; 0 refused, -1 unopenable
bool read_bmp_pixels(FILE* file, bmp_pixels* image, bmp_refusal* refusal);        // false: refused
void print_bmp_refusal(FILE* out, const char* path, const bmp_refusal& refusal);  // one line
size_t bmp_row_stride(int32_t width);  // bytes from one pixel row to the next

#endif  // TEXTURE_BMP_TEXTURE_H
