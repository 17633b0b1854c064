// Builds small BMP files for the loader's tests: any header field can be set
// wrong, and pixel rows carry the file's padding filled with a marker byte, so
// padding that leaks into a texture shows.
#ifndef TESTS_BMP_TEXTURE_FILES_H
#define TESTS_BMP_TEXTURE_FILES_H

#include <cstdint>
#include <string>

struct bmp_fields {
  int32_t width = 4;
  int32_t height = 4;
  uint16_t planes = 1;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  uint32_t info_size = 40;   // info header bytes written: at least 40, zero-filled past 40
  uint32_t gap = 0;          // bytes between the headers and the pixels (a palette, say)
  int64_t data_offset = -1;  // stored offset; -1: where the pixels really start
};

const unsigned char BMP_PAD_BYTE = 0xEE;

inline void append_le(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++)
    out->push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

inline size_t bmp_stride(int32_t width) {
  return (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
}

// Rows of distinct blue-green-red triples, bottom row first, each padded.
inline std::string bmp_pixel_rows(int32_t width, int32_t height) {
  std::string rows;
  for (int32_t y = 0; y < height; y++) {
    for (int32_t x = 0; x < width; x++)
      for (int c = 0; c < 3; c++)
        rows.push_back(static_cast<char>(1 + 3 * (y * width + x) + c));
    rows.append(bmp_stride(width) - static_cast<size_t>(width) * 3,
                static_cast<char>(BMP_PAD_BYTE));
  }
  return rows;
}

// The texture the rows should give: tightly packed red-green-blue, bottom row first.
inline std::string rgb_of_rows(const std::string& rows, int32_t width, int32_t height) {
  std::string rgb;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      size_t at = bmp_stride(width) * static_cast<size_t>(y) + 3 * static_cast<size_t>(x);
      rgb += {rows[at + 2], rows[at + 1], rows[at]};
    }
  return rgb;
}

inline std::string make_bmp(const bmp_fields& f, const std::string& pixels) {
  uint32_t headers = 14 + (f.info_size < 40 ? 40 : f.info_size);
  std::string bmp = "BM";
  append_le(&bmp, headers + f.gap + pixels.size(), 4);
  append_le(&bmp, 0, 4);
  append_le(&bmp, f.data_offset < 0 ? headers + f.gap : static_cast<uint64_t>(f.data_offset), 4);
  append_le(&bmp, f.info_size, 4);
  append_le(&bmp, static_cast<uint32_t>(f.width), 4);
  append_le(&bmp, static_cast<uint32_t>(f.height), 4);
  append_le(&bmp, f.planes, 2);
  append_le(&bmp, f.bpp, 2);
  append_le(&bmp, f.compression, 4);
  append_le(&bmp, pixels.size(), 4);
  append_le(&bmp, 2835, 4);  // 72 dpi, both ways
  append_le(&bmp, 2835, 4);
  append_le(&bmp, 0, 8);  // colours used and important
  bmp.resize(headers, '\0');
  bmp.append(f.gap, '\x55');
  return bmp + pixels;
}

#endif  // TESTS_BMP_TEXTURE_FILES_H
