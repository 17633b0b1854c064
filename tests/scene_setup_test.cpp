#include <GL/glut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/scene_setup.h"
#include "capture_stdout.h"
#include "chunk_writer.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "open_descriptors.h"
#include "pipe_output.h"
#include "same_output.h"
#include "scene/draw_frame.h"
#include "temp_dir.h"

namespace {

// Runs each test inside an empty scratch directory, the process's working
// directory, since the set-up reads "cube.3ds" from there.
class app_shell : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_dir = here;
    ASSERT_EQ(chdir(dir.c_str()), 0);
    window_width = 640;
    window_height = 480;
    memset(&die_mesh, 0, sizeof die_mesh);
    clear_gl_calls();
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_dir.c_str()), 0);
    remove_tree(dir);
  }

  std::string dir;
  std::string previous_dir;
};

std::vector<gl_call> setup_calls(int width, int height) {
  return {
      {"glClearColor", {0, 0, 0, 0}},
      {"glShadeModel", {GL_SMOOTH}},
      {"glViewport", {0, 0, static_cast<double>(width), static_cast<double>(height)}},
      {"glMatrixMode", {GL_PROJECTION}},
      {"glLoadIdentity", {}},
      {"gluPerspective", {45.0, static_cast<double>(width) / height, 10.0, 10000.0}},
      {"glEnable", {GL_DEPTH_TEST}},
      {"glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}},
      {"glEnable", {GL_TEXTURE_2D}},
  };
}

// A one-triangle model and the dump it gives.
void write_small_model() {
  chunk_writer w;
  begin_chunk(w, 0x4100);
  begin_chunk(w, 0x4110);
  put_u16(w, 1);
  for (float value : {0.5f, -0.5f, 2.0f})
    put_f32(w, value);
  end_chunk(w);
  begin_chunk(w, 0x4120);
  put_u16(w, 1);
  for (uint16_t value : {0, 0, 0, 3})
    put_u16(w, value);
  end_chunk(w);
  end_chunk(w);
  write_file("cube.3ds", w.bytes);
}

const char* const small_model_dump =
    "ChunkID: 4100\nChunkLenght: 2a\n"
    "ChunkID: 4110\nChunkLenght: 14\n"
    "Number of vertices: 1\n"
    "Vertices list x: 0.500000\nVertices list y: -0.500000\nVertices list z: 2.000000\n"
    "ChunkID: 4120\nChunkLenght: 10\n"
    "Number of polygons: 1\n"
    "Polygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 3\n";

TEST_F(app_shell, setup_fixes_gl_state_and_projection_then_reads_the_model) {
  write_small_model();

  std::string output = capture_stdout(scene_setup);

  EXPECT_EQ(recorded_gl_calls(), setup_calls(640, 480));
  EXPECT_SAME_OUTPUT(output, small_model_dump);
  EXPECT_EQ(die_mesh.polygon_count, 1);
  EXPECT_EQ(die_mesh.vertices[0].z, 2.0f);
}

TEST_F(app_shell, setup_names_a_model_file_it_cannot_open_each_time) {
  std::string output = capture_stdout([] {
    scene_setup();
    on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  });

  EXPECT_SAME_OUTPUT(output,
                     "cube.3ds: No such file or directory\n"
                     "cube.3ds: No such file or directory\n");
  EXPECT_EQ(die_mesh.polygon_count, 0);
}

// Once the die rests nothing else prints or flushes, so after a left press this
// line would sit in the buffer of a piped stdout for good.
TEST_F(app_shell, line_for_a_model_it_cannot_open_reaches_a_pipe_before_the_press_returns) {
  std::string sent = reached_pipe([] { on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0); });

  EXPECT_SAME_OUTPUT(sent, "cube.3ds: No such file or directory\n");
}

// The set-up opens the model itself to tell a missing file from a malformed one.
TEST_F(app_shell, malformed_model_is_reported_by_the_reader_alone_and_left_closed) {
  write_file("cube.3ds", std::string("\x4d", 1));
  long before = open_descriptors();

  std::string output = capture_stdout([] {
    scene_setup();
    on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  });

  EXPECT_EQ(open_descriptors(), before);
  EXPECT_SAME_OUTPUT(output, "File ended early at offset 1\nFile ended early at offset 1\n");
}

TEST_F(app_shell, reshape_sets_viewport_and_aspect_and_a_later_left_press_keeps_them) {
  write_small_model();

  std::string reshape_output = capture_stdout([] { on_reshape(800, 600); });

  EXPECT_SAME_OUTPUT(reshape_output, "");
  EXPECT_EQ(window_width, 800);
  EXPECT_EQ(window_height, 600);
  EXPECT_EQ(recorded_gl_calls(), (std::vector<gl_call>{
                                     {"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
                                     {"glViewport", {0, 0, 800, 600}},
                                     {"glMatrixMode", {GL_PROJECTION}},
                                     {"glLoadIdentity", {}},
                                     {"gluPerspective", {45.0, 800.0 / 600.0, 10.0, 10000.0}},
                                     {"glutPostRedisplay", {}},
                                 }));

  clear_gl_calls();
  std::string press_output = capture_stdout([] { on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 5, 7); });

  std::vector<gl_call> expected = {
      {"glutDisplayFunc", {}, callback_address(draw_frame)},
      {"glutIdleFunc", {}, callback_address(draw_frame)},
      {"glutReshapeFunc", {}, callback_address(on_reshape)},
  };
  for (const gl_call& call : setup_calls(800, 600))
    expected.push_back(call);
  EXPECT_EQ(recorded_gl_calls(), expected);
  EXPECT_SAME_OUTPUT(press_output, small_model_dump);
}

TEST_F(app_shell, only_a_left_press_does_anything) {
  write_small_model();
  const int presses[][2] = {
      {GLUT_RIGHT_BUTTON, GLUT_DOWN}, {GLUT_MIDDLE_BUTTON, GLUT_DOWN},
      {GLUT_LEFT_BUTTON, GLUT_UP},    {GLUT_RIGHT_BUTTON, GLUT_UP},
      {GLUT_MIDDLE_BUTTON, GLUT_UP},  {3, GLUT_DOWN},  // a wheel step
  };

  std::string output = capture_stdout([&] {
    for (const auto& press : presses)
      on_mouse(press[0], press[1], 10, 10);
  });

  EXPECT_SAME_OUTPUT(output, "");
  EXPECT_TRUE(recorded_gl_calls().empty());
  EXPECT_EQ(die_mesh.vertex_count, 0);
}

TEST_F(app_shell, every_left_press_prints_the_whole_dump_again) {
  write_small_model();

  std::string output = capture_stdout([] {
    scene_setup();
    for (int i = 0; i < 3; i++)
      on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  });

  EXPECT_SAME_OUTPUT(output, std::string(small_model_dump) + small_model_dump + small_model_dump +
                                 small_model_dump);
}

TEST_F(app_shell, reshape_to_no_height_hands_the_unbounded_aspect_on) {
  capture_stdout([] {
    on_reshape(300, 0);
    on_reshape(0, 0);
  });

  std::vector<gl_call> projections = gl_calls_named("gluPerspective");
  ASSERT_EQ(projections.size(), 2u);
  EXPECT_TRUE(std::isinf(projections[0].args[1]) && projections[0].args[1] > 0);
  EXPECT_TRUE(std::isnan(projections[1].args[1]));
  std::vector<gl_call> viewports = gl_calls_named("glViewport");
  ASSERT_EQ(viewports.size(), 2u);
  EXPECT_EQ(viewports[1], (gl_call{"glViewport", {0, 0, 0, 0}}));
}

}  // namespace
