#include "app/scene_setup.h"

#include <GL/glut.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/mesh_3ds.h"
#include "scene/draw_frame.h"
#include "texture/bmp_texture.h"
#include "view/model_view.h"

int32_t window_width = 640;
int32_t window_height = 480;

static void set_projection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(window_width) / window_height, 10.0, 10000.0);
}

// The reader is silent when it cannot open the file; without a word here the
// user would be left with a black window and no reason.
static void report_unopenable(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file != nullptr) {
    fclose(file);  // it opened, so the reader has said what went wrong
    return;
  }
  printf("%s: %s\n", path, strerror(errno));
  fflush(stdout);
}

void scene_setup() {
  glClearColor(0, 0, 0, 0);
  glShadeModel(GL_SMOOTH);
  glViewport(0, 0, window_width, window_height);
  set_projection();
  glEnable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_TEXTURE_2D);
  if (!read_3ds_mesh(&die_mesh, MODEL_FILE)) report_unopenable(MODEL_FILE);
}

void load_die_texture(const char* path) {
  int32_t name = load_bmp_texture(path);
  // -1: the file cannot be opened, and the loader is silent about that. The mesh
  // then gets 0, the default texture, as after a refusal (the loader has said
  // why): the die stays white. A success is named 0 too when it is the
  // process's first texture.
  if (name < 0) {
    report_unopenable(path);
    name = 0;
  }
  die_mesh.texture_id = name;
}

void on_reshape(int width, int height) {
  window_width = width;
  window_height = height;
  size_model_view(width, height);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, window_width, window_height);
  set_projection();
  glutPostRedisplay();
}

void on_mouse(int button, int state, int, int) {
  if (button != GLUT_LEFT_BUTTON || state != GLUT_DOWN) return;
  glutDisplayFunc(draw_frame);
  glutIdleFunc(draw_frame);
  glutReshapeFunc(on_reshape);
  scene_setup();
}
