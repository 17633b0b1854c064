// gluBuild2DMipmaps worked out without GL, for the browser build, where GLU has
// no such call: the checks of its arguments, the power-of-two sides the image is
// scaled to (the nearest, ties upwards, then halved while a side is over the
// largest texture), and every level from that down to 1 x 1, each handed to a
// sink (gl_layer.cpp's uploads it). Pixels are bytes; rows are padded to the
// unpack alignment, as GL reads them. Returns GLU's error numbers.
#ifndef PLATFORM_WEB_MIPMAPS_H
#define PLATFORM_WEB_MIPMAPS_H

#include <cstdint>

struct pixel_image {
  int32_t width;
  int32_t height;
  int32_t components;  // bytes per pixel, 1 to 4
  int32_t alignment;   // each row starts on a multiple of this many bytes: 1, 2, 4 or 8
  unsigned char* pixels;
};

typedef void (*mipmap_sink)(int32_t level, const pixel_image& image, void* context);

int32_t mipmap_components(uint32_t format, uint32_t type);  // bytes per pixel; 0: not WebGL 1's
int64_t nearest_power_of_two(int64_t side);                 // side >= 1; a tie goes up
int32_t mipmap_level_count(int32_t width, int32_t height);  // levels from width x height to 1 x 1
void scale_image(const pixel_image& from, const pixel_image& to);  // area average into to's size
int32_t build_mipmaps(const pixel_image& source, int32_t max_side, mipmap_sink sink,
                      void* context);  // 0 or GLU_OUT_OF_MEMORY
int32_t check_mipmap_args(int32_t width, int32_t height, uint32_t format, uint32_t type,
                          const void* data);  // 0, GLU_INVALID_VALUE or GLU_INVALID_ENUM

#endif  // PLATFORM_WEB_MIPMAPS_H
