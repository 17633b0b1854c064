#include "app/roll_mode.h"

#include <GL/glut.h>

#include "app/scene_setup.h"
#include "roll/rolled_dice.h"

static bool texture_loaded = false;

void start_roll_mode(int count, uint64_t seed) {
  glutMouseFunc(on_roll_mouse);
  glutKeyboardFunc(on_roll_key);
  glutDisplayFunc(draw_roll_frame);
  glutIdleFunc(draw_roll_frame);
  // Once: the page starts roll mode again at every roll, and each load takes a name.
  if (!texture_loaded) load_die_texture(ROLL_TEXTURE_FILE);
  texture_loaded = true;
  find_rolled_faces();
  begin_rolls(count, seed);
  roll_again();
}

void on_roll_mouse(int button, int state, int, int) {
  if (button != GLUT_LEFT_BUTTON || state != GLUT_DOWN) return;
  scene_setup();
  find_rolled_faces();
}

void on_roll_key(unsigned char key, int, int) {
  if (key == ' ' || key == '\r' || key == '\n') roll_again();
}
