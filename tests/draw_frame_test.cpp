#include <GL/glut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "capture_stdout.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "scene/draw_frame.h"

namespace {

class frame : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&die_mesh, 0, sizeof die_mesh);
    clear_gl_calls();
  }

  // Draws one frame; the die's path lines are not this test's business.
  std::vector<gl_call> draw() {
    capture_stdout(draw_frame);
    return recorded_gl_calls();
  }
};

// The calls from the texture binding to the end of the frame.
std::vector<gl_call> from_bind(const std::vector<gl_call>& calls) {
  auto bind = std::find_if(calls.begin(), calls.end(),
                           [](const gl_call& call) { return call.name == "glBindTexture"; });
  return std::vector<gl_call>(bind, calls.end());
}

// A cube of 8 corners and 12 faces, each corner with its own mapping.
void load_cube() {
  for (int k = 0; k < 8; k++) {
    die_mesh.vertices[k] = {k & 1 ? 10.0f : -10.0f, k & 2 ? 10.0f : -10.0f, k & 4 ? 10.0f : -10.0f};
    die_mesh.mapping[k] = {k / 8.0f, 1.0f - k / 8.0f};
  }
  const int faces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                            {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  for (int i = 0; i < 12; i++)
    die_mesh.polygons[i] = {faces[i][0], faces[i][1], faces[i][2]};
  die_mesh.vertex_count = 8;
  die_mesh.polygon_count = 12;
}

void expect_corner(std::vector<gl_call>& expected, int k) {
  const mesh_uv& uv = die_mesh.mapping[k];
  const mesh_vertex& v = die_mesh.vertices[k];
  expected.push_back({"glTexCoord2f", {uv.u, uv.v}});
  expected.push_back({"glVertex3f", {v.x, v.y, v.z}});
}

TEST_F(frame, starts_with_clear_identity_and_camera_offset) {
  std::vector<gl_call> calls = draw();

  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(std::vector<gl_call>(calls.begin(), calls.begin() + 4),
            (std::vector<gl_call>{{"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
                                  {"glMatrixMode", {GL_MODELVIEW}},
                                  {"glLoadIdentity", {}},
                                  {"glTranslatef", {0, 0, -300}}}));
}

TEST_F(frame, twelve_faces_give_thirty_six_corners_in_face_order) {
  load_cube();
  die_mesh.texture_id = 3;

  std::vector<gl_call> expected = {{"glBindTexture", {GL_TEXTURE_2D, 3}},
                                   {"glBegin", {GL_TRIANGLES}}};
  for (int i = 0; i < 12; i++) {
    expect_corner(expected, die_mesh.polygons[i].a);
    expect_corner(expected, die_mesh.polygons[i].b);
    expect_corner(expected, die_mesh.polygons[i].c);
  }
  expected.push_back({"glEnd", {}});
  expected.push_back({"glFlush", {}});
  expected.push_back({"glutSwapBuffers", {}});

  std::vector<gl_call> calls = draw();

  EXPECT_EQ(from_bind(calls), expected);
  EXPECT_EQ(gl_calls_named("glTexCoord2f").size(), 36u);
  EXPECT_EQ(gl_calls_named("glVertex3f").size(), 36u);
}

TEST_F(frame, empty_mesh_gives_an_empty_batch) {
  EXPECT_EQ(from_bind(draw()), (std::vector<gl_call>{{"glBindTexture", {GL_TEXTURE_2D, 0}},
                                                     {"glBegin", {GL_TRIANGLES}},
                                                     {"glEnd", {}},
                                                     {"glFlush", {}},
                                                     {"glutSwapBuffers", {}}}));
}

TEST_F(frame, faces_reaching_past_the_vertices_read_are_left_out) {
  load_cube();
  die_mesh.polygons[0] = {0, 8, 1};      // one past the last vertex read
  die_mesh.polygons[1] = {65535, 1, 2};  // far past the arrays
  die_mesh.polygons[2] = {7, 7, 7};      // the last vertex read: drawn
  die_mesh.polygons[3] = {8, 1, 2};      // each corner is checked
  die_mesh.polygons[4] = {1, 2, 8};

  draw();

  ASSERT_EQ(gl_calls_named("glVertex3f").size(), 24u);
  EXPECT_EQ(gl_calls_named("glVertex3f")[0], (gl_call{"glVertex3f", {10, 10, 10}}));
}

}  // namespace
