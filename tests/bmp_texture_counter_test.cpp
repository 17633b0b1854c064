// Texture names count from the process's first call, so this runs alone in
// its own executable.
#include <gtest/gtest.h>

#include <string>

#include "bmp_texture_files.h"
#include "capture_stdout.h"
#include "temp_dir.h"
#include "texture/bmp_texture.h"

namespace {

TEST(texture_names, first_two_loads_get_0_and_1_and_every_failure_uses_up_a_name) {
  std::string dir = make_temp_dir();
  std::string good = dir + "/good.bmp", palette = dir + "/palette.bmp";
  write_file(good, make_bmp({}, bmp_pixel_rows(4, 4)));
  bmp_fields eight_bit;
  eight_bit.bpp = 8;
  write_file(palette, make_bmp(eight_bit, std::string(16, '\0')));
  EXPECT_EQ(texture_counter, -1);

  int32_t names[5];
  capture_stdout([&] {
    names[0] = load_bmp_texture(good.c_str());
    names[1] = load_bmp_texture(good.c_str());
    names[2] = load_bmp_texture(palette.c_str());
    names[3] = load_bmp_texture((dir + "/missing.bmp").c_str());
    names[4] = load_bmp_texture(good.c_str());
  });

  EXPECT_EQ(names[0], 0);
  EXPECT_EQ(names[1], 1);
  EXPECT_EQ(names[2], 0);
  EXPECT_EQ(names[3], -1);
  EXPECT_EQ(names[4], 4);
  remove_tree(dir);
}

}  // namespace
