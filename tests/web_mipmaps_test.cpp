// The browser build's gluBuild2DMipmaps, worked out without GL: the sides it
// scales to, the levels it hands on and their pixels, and the errors it returns.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <vector>

#include "mipmaps.h"

struct level_record {
  int32_t level, width, height;
  std::vector<unsigned char> bytes;  // every row, padding included
};

static void record_level(int32_t level, const pixel_image& image, void* context) {
  size_t row = static_cast<size_t>(image.width) * image.components;
  size_t stride = (row + image.alignment - 1) / image.alignment * image.alignment;
  std::vector<unsigned char> bytes;
  for (int32_t y = 0; y < image.height; y++)
    bytes.insert(bytes.end(), image.pixels + stride * y, image.pixels + stride * y + row);
  static_cast<std::vector<level_record>*>(context)->push_back(
      {level, image.width, image.height, bytes});
}

static std::vector<level_record> build(std::vector<unsigned char> pixels, int32_t width,
                                       int32_t height, int32_t components, int32_t alignment,
                                       int32_t max_side = 16384) {
  std::vector<level_record> levels;
  pixel_image source = {width, height, components, alignment, pixels.data()};
  EXPECT_EQ(build_mipmaps(source, max_side, record_level, &levels), 0);
  return levels;
}

TEST(web_mipmaps, sides_go_to_the_nearest_power_of_two_and_ties_go_up) {
  const int64_t cases[][2] = {
      {1, 1},   {2, 2},   {3, 4},     {5, 4},     {6, 8},
      {23, 16}, {57, 64}, {256, 256}, {384, 512}, {(1 << 30) + (1 << 29), int64_t{1} << 31}};
  for (const auto& side : cases)
    EXPECT_EQ(nearest_power_of_two(side[0]), side[1]) << side[0];
}

TEST(web_mipmaps, the_die_atlas_is_scaled_to_512_by_256_and_halved_down_to_1_by_1) {
  std::vector<level_record> levels =
      build(std::vector<unsigned char>(384 * 256 * 3, 200), 384, 256, 3, 4);
  ASSERT_EQ(levels.size(), 10u);
  for (int32_t i = 0; i < 10; i++) {
    EXPECT_EQ(levels[i].level, i);
    EXPECT_EQ(levels[i].width, i < 9 ? 512 >> i : 1);
    EXPECT_EQ(levels[i].height, i < 8 ? 256 >> i : 1);
    // One colour stays that colour through every scaling.
    EXPECT_EQ(levels[i].bytes, std::vector<unsigned char>(levels[i].bytes.size(), 200)) << i;
  }
}

TEST(web_mipmaps, halving_averages_2_by_2_blocks_then_pairs_rounding_to_nearest) {
  std::vector<level_record> levels = build({0, 10, 100, 200, 20, 30, 50, 51}, 4, 2, 1, 1);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0].bytes, (std::vector<unsigned char>{0, 10, 100, 200, 20, 30, 50, 51}));
  EXPECT_EQ(levels[1].bytes, (std::vector<unsigned char>{15, 100}));  // 60 / 4, 401 / 4
  EXPECT_EQ(levels[2].bytes, (std::vector<unsigned char>{58}));       // 115 / 2
}

TEST(web_mipmaps, enlarging_blends_the_source_pixels_by_the_area_each_covers) {
  std::vector<level_record> levels = build({0, 90, 180}, 3, 1, 1, 1);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0].width, 4);
  EXPECT_EQ(levels[0].bytes, (std::vector<unsigned char>{0, 60, 120, 180}));
  EXPECT_EQ(levels[1].bytes, (std::vector<unsigned char>{30, 150}));
  EXPECT_EQ(levels[2].bytes, (std::vector<unsigned char>{90}));
}

TEST(web_mipmaps, rows_are_read_and_written_at_the_unpack_alignment) {
  const unsigned char pad = 0xee;  // a padding byte averaged in would show
  std::vector<level_record> levels =
      build({10, 20, 30, 40, 50, 60, pad, pad, 70, 80, 90, 100, 110, 120, pad, pad,
             0,  0,  0,  0,  0,  0,  pad, pad, 2,  4,  6,  8,   10,  12,  pad, pad},
            2, 4, 3, 4);
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[1].width, 1);
  EXPECT_EQ(levels[1].height, 2);
  EXPECT_EQ(levels[1].bytes, (std::vector<unsigned char>{55, 65, 75, 3, 4, 5}));
  EXPECT_EQ(levels[2].bytes, (std::vector<unsigned char>{29, 35, 40}));  // 69 / 2 rounds up
}

TEST(web_mipmaps, both_sides_are_halved_until_the_largest_texture_holds_them) {
  std::vector<level_record> levels =
      build(std::vector<unsigned char>(512 * 256, 7), 512, 256, 1, 4, 128);
  ASSERT_EQ(levels.size(), 8u);
  EXPECT_EQ(levels[0].width, 128);
  EXPECT_EQ(levels[0].height, 64);
}

TEST(web_mipmaps, arguments_are_refused_with_glu_errors) {
  unsigned char pixel[4] = {};
  EXPECT_EQ(check_mipmap_args(1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel), 0);
  EXPECT_EQ(check_mipmap_args(0, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel), GLU_INVALID_VALUE);
  EXPECT_EQ(check_mipmap_args(1, -1, GL_BGR, GL_UNSIGNED_BYTE, pixel), GLU_INVALID_VALUE);
  EXPECT_EQ(check_mipmap_args(1, 1, GL_BGR, GL_UNSIGNED_BYTE, pixel), GLU_INVALID_ENUM);
  EXPECT_EQ(check_mipmap_args(1, 1, GL_RGB, GL_FLOAT, pixel), GLU_INVALID_ENUM);
  EXPECT_EQ(check_mipmap_args(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, nullptr), GLU_INVALID_VALUE);
}
