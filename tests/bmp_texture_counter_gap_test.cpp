// Texture names count from the process's first call, so this runs alone in
// its own executable.
#include <gtest/gtest.h>

#include <string>

#include "bmp_texture_files.h"
#include "capture_stdout.h"
#include "same_output.h"
#include "temp_dir.h"
#include "texture/bmp_texture.h"

namespace {

TEST(texture_names, a_refused_load_between_the_first_two_successes_makes_the_second_2) {
  std::string dir = make_temp_dir();
  std::string good = dir + "/good.bmp", cut = dir + "/cut.bmp";
  std::string bytes = make_bmp({}, bmp_pixel_rows(4, 4));
  write_file(good, bytes);
  write_file(cut, bytes.substr(0, 60));

  int32_t names[3];
  std::string output = capture_stdout([&] {
    names[0] = load_bmp_texture(good.c_str());
    names[1] = load_bmp_texture(cut.c_str());
    names[2] = load_bmp_texture(good.c_str());
  });

  EXPECT_EQ(names[0], 0);
  EXPECT_EQ(names[1], 0);
  EXPECT_EQ(names[2], 2);
  EXPECT_SAME_OUTPUT(output, "Error reading image data from " + cut + ".\n");
  remove_tree(dir);
}

}  // namespace
