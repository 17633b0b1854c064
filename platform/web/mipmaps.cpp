// The levels are made one from the other: level 0 is the caller's image, or its
// copy scaled to the power-of-two sides, and each next level the previous one
// scaled to half its sides (never below 1), so a 2 x 2 block, or a pair once a
// side is 1, becomes one pixel. Scaling averages the area each new pixel covers,
// which is a box filter when shrinking and a blend of the nearest pixels when
// enlarging; averages are rounded to the nearest byte.
#include "mipmaps.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>

int32_t mipmap_components(uint32_t format, uint32_t type) {
  if (type != GL_UNSIGNED_BYTE) return 0;
  switch (format) {
    case GL_ALPHA:
    case GL_LUMINANCE:
      return 1;
    case GL_LUMINANCE_ALPHA:
      return 2;
    case GL_RGB:
      return 3;
    case GL_RGBA:
      return 4;
    default:
      return 0;
  }
}

int64_t nearest_power_of_two(int64_t side) {
  int64_t below = 1;
  while (below * 2 <= side)
    below *= 2;
  return 2 * side >= 3 * below ? below * 2 : below;
}

int32_t mipmap_level_count(int32_t width, int32_t height) {
  int32_t count = 1;
  for (int32_t side = width > height ? width : height; side > 1; side /= 2)
    count++;
  return count;
}

// The whole block, every row padded; 0 when it would not fit size_t.
static size_t measure_image(int64_t width, int64_t height, int32_t components, int32_t alignment) {
  uint64_t row = static_cast<uint64_t>(width) * components;
  uint64_t stride = (row + alignment - 1) / alignment * alignment;
  if (stride > SIZE_MAX / static_cast<uint64_t>(height)) return 0;
  return static_cast<size_t>(stride * static_cast<uint64_t>(height));
}

static size_t row_stride(const pixel_image& image) {
  size_t row = static_cast<size_t>(image.width) * image.components;
  return (row + image.alignment - 1) / image.alignment * image.alignment;
}

// In units where a pixel of `from` is `to_side` long and one of `to` is `from_side`
// long, so both sides span the same length: how much of source pixel i lies in
// [low, low + from_side).
static int64_t overlap(int64_t i, int64_t low, int64_t from_side, int64_t to_side) {
  int64_t start = i * to_side > low ? i * to_side : low;
  int64_t end = (i + 1) * to_side < low + from_side ? (i + 1) * to_side : low + from_side;
  return end - start;
}

void scale_image(const pixel_image& from, const pixel_image& to) {
  size_t from_stride = row_stride(from), to_stride = row_stride(to);
  uint64_t area = static_cast<uint64_t>(from.width) * static_cast<uint64_t>(from.height);
  for (int64_t ty = 0; ty < to.height; ty++) {
    int64_t y_low = ty * from.height;
    int64_t sy_first = y_low / to.height, sy_last = (y_low + from.height - 1) / to.height;
    for (int64_t tx = 0; tx < to.width; tx++) {
      int64_t x_low = tx * from.width;
      int64_t sx_first = x_low / to.width, sx_last = (x_low + from.width - 1) / to.width;
      uint64_t totals[4] = {0, 0, 0, 0};
      for (int64_t sy = sy_first; sy <= sy_last; sy++) {
        uint64_t height_part = static_cast<uint64_t>(overlap(sy, y_low, from.height, to.height));
        const unsigned char* row = from.pixels + from_stride * static_cast<size_t>(sy);
        for (int64_t sx = sx_first; sx <= sx_last; sx++) {
          uint64_t weight =
              height_part * static_cast<uint64_t>(overlap(sx, x_low, from.width, to.width));
          for (int32_t c = 0; c < from.components; c++)
            totals[c] += weight * row[sx * from.components + c];
        }
      }
      unsigned char* out = to.pixels + to_stride * static_cast<size_t>(ty) + tx * to.components;
      for (int32_t c = 0; c < to.components; c++)
        out[c] = static_cast<unsigned char>((totals[c] + area / 2) / area);
    }
  }
}

int32_t build_mipmaps(const pixel_image& source, int32_t max_side, mipmap_sink sink,
                      void* context) {
  int64_t width = nearest_power_of_two(source.width);
  int64_t height = nearest_power_of_two(source.height);
  // GLU halves both sides until the texture fits; WebGL tells its largest side.
  while (max_side > 0 && (width > max_side || height > max_side)) {
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
  }
  if (width > INT32_MAX || height > INT32_MAX) return GLU_OUT_OF_MEMORY;  // no such texture

  pixel_image level = source;
  if (width != source.width || height != source.height) {
    size_t bytes = measure_image(width, height, source.components, source.alignment);
    level.pixels = bytes == 0 ? nullptr : static_cast<unsigned char*>(malloc(bytes));
    if (level.pixels == nullptr) return GLU_OUT_OF_MEMORY;
    level.width = static_cast<int32_t>(width);
    level.height = static_cast<int32_t>(height);
    scale_image(source, level);
  }
  int32_t levels = mipmap_level_count(level.width, level.height);
  for (int32_t number = 0;; number++) {
    sink(number, level, context);
    if (number == levels - 1) break;
    pixel_image next = level;
    next.width = level.width > 1 ? level.width / 2 : 1;
    next.height = level.height > 1 ? level.height / 2 : 1;
    next.pixels = static_cast<unsigned char*>(
        malloc(measure_image(next.width, next.height, next.components, next.alignment)));
    if (next.pixels == nullptr) {
      if (level.pixels != source.pixels) free(level.pixels);
      return GLU_OUT_OF_MEMORY;
    }
    scale_image(level, next);
    if (level.pixels != source.pixels) free(level.pixels);
    level = next;
  }
  if (level.pixels != source.pixels) free(level.pixels);
  return 0;
}

int32_t check_mipmap_args(int32_t width, int32_t height, uint32_t format, uint32_t type,
                          const void* data) {
  if (width < 1 || height < 1) return GLU_INVALID_VALUE;
  // GLU takes more formats and types; WebGL 1 holds none of the others as they are.
  if (mipmap_components(format, type) == 0) return GLU_INVALID_ENUM;
  if (data == nullptr) return GLU_INVALID_VALUE;  // GLU would read through it
  return 0;
}
