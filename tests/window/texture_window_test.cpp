// The BMP loader against the real GL on a window: textures read back byte for
// byte, and the die's atlas drawn on the die. Built twice, with DIE_TEXTURE 0
// and 1, so that each process's first texture name is known.
#include <GL/glu.h>
#include <GL/glut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../bmp_texture_files.h"
#include "app/scene_setup.h"
#include "capture_stdout.h"
#include "model/mesh_3ds.h"
#include "same_output.h"
#include "scene/draw_frame.h"
#include "temp_dir.h"
#include "texture/bmp_texture.h"

// draw_frame's swap goes through here (linked with --wrap=glutSwapBuffers), so
// the frame is read from the back buffer before it is swapped away.
static std::vector<unsigned char> swapped_frame;
extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers() {
  swapped_frame.assign(640 * 480 * 3, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, swapped_frame.data());
  __real_glutSwapBuffers();
}

namespace {

// Level 0 of the bound texture, rows unpadded.
struct level_image {
  int width = 0, height = 0;
  std::string rgb;
};

level_image read_level_0() {
  level_image image;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.height);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  std::string padded(bmp_stride(image.width) * static_cast<size_t>(image.height), '\0');
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, &padded[0]);
  for (int y = 0; y < image.height; y++)
    image.rgb.append(padded, bmp_stride(image.width) * static_cast<size_t>(y),
                     static_cast<size_t>(image.width) * 3);
  return image;
}

}  // namespace

// GLU replaces a level 0 whose sides are not powers of two by a rescaled one,
// so the loader's own level 0 is read here, between the two uploads (linked
// with --wrap=gluBuild2DMipmaps).
static level_image level_0_before_mipmaps;
extern "C" GLint __real_gluBuild2DMipmaps(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum,
                                          const void*);
extern "C" GLint __wrap_gluBuild2DMipmaps(GLenum target, GLint components, GLsizei width,
                                          GLsizei height, GLenum format, GLenum type,
                                          const void* data) {
  level_0_before_mipmaps = read_level_0();
  return __real_gluBuild2DMipmaps(target, components, width, height, format, type, data);
}

namespace {

#if !DIE_TEXTURE
TEST(readback, textures_hold_the_file_pixels_with_blue_and_red_exchanged_row_for_row) {
  std::string dir = make_temp_dir();
  for (int32_t side : {4, 3}) {
    SCOPED_TRACE(side);
    std::string rows = bmp_pixel_rows(side, side);
    std::string expected = rgb_of_rows(rows, side, side);
    std::string path = dir + "/" + std::to_string(side) + ".bmp";
    write_file(path, make_bmp({side, side}, rows));
    level_0_before_mipmaps = {};
    int32_t name = -2;

    std::string output = capture_stdout([&] { name = load_bmp_texture(path.c_str()); });

    EXPECT_SAME_OUTPUT(output, "");
    EXPECT_EQ(name, texture_counter);
    EXPECT_EQ(level_0_before_mipmaps.width, side);
    EXPECT_EQ(level_0_before_mipmaps.height, side);
    EXPECT_EQ(level_0_before_mipmaps.rgb, expected);
    // After the mipmaps a side of 4 stays as loaded; GLU rescales a side of 3.
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
    if (side == 4) {
      EXPECT_EQ(read_level_0().rgb, expected);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
  remove_tree(dir);
}

#else

struct frame {
  int width, height;
  std::vector<unsigned char> rgb;  // rows bottom-up, no padding
  const unsigned char* at(int x, int y) const { return &rgb[3 * (y * width + x)]; }
};

bool is_light(const unsigned char* p) {
  return p[0] >= 200 && p[1] >= 200 && p[2] >= 200;
}
bool is_dark(const unsigned char* p) {
  return p[0] <= 60 && p[1] <= 60 && p[2] <= 60;
}

// Dark spots with light pixels on both sides in their row: on a convex solid
// these lie inside the die's outline, so they are pips, not background.
// Returns the spots of at least min_pixels pixels; counts light pixels too.
int count_enclosed_dark_spots(const frame& f, int min_pixels, int* light_pixels) {
  std::vector<char> enclosed(static_cast<size_t>(f.width * f.height), 0);
  *light_pixels = 0;
  for (int y = 0; y < f.height; y++) {
    int first = -1, last = -1;
    for (int x = 0; x < f.width; x++)
      if (is_light(f.at(x, y))) {
        if (first < 0) first = x;
        last = x;
        ++*light_pixels;
      }
    for (int x = first + 1; x < last; x++)
      if (is_dark(f.at(x, y))) enclosed[static_cast<size_t>(y * f.width + x)] = 1;
  }
  int spots = 0;
  std::vector<int> stack;
  for (int start = 0; start < f.width * f.height; start++) {
    if (!enclosed[static_cast<size_t>(start)]) continue;
    int size = 0;
    stack.assign(1, start);
    enclosed[static_cast<size_t>(start)] = 0;
    while (!stack.empty()) {
      int p = stack.back();
      stack.pop_back();
      size++;
      int x = p % f.width, y = p / f.width;
      const int neighbours[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
      for (const auto& n : neighbours) {
        if (n[0] < 0 || n[1] < 0 || n[0] >= f.width || n[1] >= f.height) continue;
        size_t q = static_cast<size_t>(n[1] * f.width + n[0]);
        if (enclosed[q]) {
          enclosed[q] = 0;
          stack.push_back(static_cast<int>(q));
        }
      }
    }
    if (size >= min_pixels) spots++;
  }
  return spots;
}

// The die's atlas is the process's first texture, name 0, the name the mesh
// carries; the set-up reads cube.3ds from the assets directory.
class die_texture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(DICE_ASSETS_DIR), 0);
    capture_stdout([] {
      scene_setup();
      loaded_name = load_bmp_texture("die.bmp");
    });
    ASSERT_EQ(chdir(here), 0);
  }
  static int32_t loaded_name;
};
int32_t die_texture::loaded_name = -2;

TEST_F(die_texture, atlas_loads_into_the_name_the_mesh_carries) {
  EXPECT_EQ(loaded_name, 0);
  EXPECT_EQ(texture_counter, 0);
  EXPECT_EQ(die_mesh.texture_id, 0);
  EXPECT_EQ(die_mesh.polygon_count, 12);
}

// Close up, turned so that sides 1 (+z), 2 (+x) and 3 (+y) face the camera:
// six dark pips inside light faces.
TEST_F(die_texture, close_up_die_shows_the_six_pips_of_its_three_front_sides) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -60);
  glRotatef(30, 1, 0, 0);
  glRotatef(-40, 0, 1, 0);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(die_mesh.texture_id));
  glBegin(GL_TRIANGLES);
  for (int32_t i = 0; i < die_mesh.polygon_count; i++)
    for (int32_t k : {die_mesh.polygons[i].a, die_mesh.polygons[i].b, die_mesh.polygons[i].c}) {
      glTexCoord2f(die_mesh.mapping[k].u, die_mesh.mapping[k].v);
      glVertex3f(die_mesh.vertices[k].x, die_mesh.vertices[k].y, die_mesh.vertices[k].z);
    }
  glEnd();
  glFinish();
  frame f{640, 480, std::vector<unsigned char>(640 * 480 * 3)};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());

  int light = 0;
  int pips = count_enclosed_dark_spots(f, 20, &light);

  EXPECT_EQ(pips, 6);
  EXPECT_GT(light, 10000);
}

// Wherever the throw has the die, the frame routine draws it in the atlas's
// face colour (245, 245, 240), not the untextured white.
TEST_F(die_texture, frame_routine_draws_the_die_in_the_atlas_colours) {
  swapped_frame.clear();
  capture_stdout(draw_frame);
  ASSERT_EQ(swapped_frame.size(), 640u * 480 * 3);

  int face = 0, white = 0;
  for (size_t i = 0; i < swapped_frame.size(); i += 3) {
    const unsigned char* p = &swapped_frame[i];
    if (p[0] == 255 && p[1] == 255 && p[2] == 255) white++;
    if (p[0] >= 241 && p[0] <= 249 && p[1] >= 241 && p[1] <= 249 && p[2] >= 236 && p[2] <= 244)
      face++;
  }
  EXPECT_GT(face, 20);
  EXPECT_EQ(white, 0);
}

#endif  // DIE_TEXTURE

}  // namespace

int main(int argc, char** argv) {
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
  glutInitWindowSize(640, 480);
  glutInitWindowPosition(0, 0);
  glutCreateWindow("3d DICE model");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
