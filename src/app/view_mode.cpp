#include "app/view_mode.h"

#include <GL/glut.h>

#include <cstdlib>

#include "app/scene_setup.h"
#include "scene/draw_frame.h"
#include "view/model_view.h"

static const int DRAG_PIXELS = 4;  // a press that moves further is a drag, not a click
static const double DEGREES_PER_PIXEL = 0.5;
static const double DEGREES_PER_KEY = 5.0;
static const int WHEEL_UP = 3, WHEEL_DOWN = 4;  // GLUT's buttons for the wheel

static bool pressed = false;
static bool dragging = false;
static int press_x = 0, press_y = 0, last_x = 0, last_y = 0;

void choose_view_mode() {
  glutMouseFunc(on_view_mouse);
  glutMotionFunc(on_view_motion);
  glutKeyboardFunc(on_view_key);
  glutSpecialFunc(on_view_special_key);
  glutDisplayFunc(draw_view_frame);
  glutIdleFunc(draw_view_frame);
  start_model_view_at_die();  // drawn there until now, by the die's frame or the throw
}

void choose_die_mode() {
  glutMotionFunc(nullptr);
  glutKeyboardFunc(nullptr);
  glutSpecialFunc(nullptr);
  glutMouseFunc(on_mouse);
  glutDisplayFunc(draw_frame);
  glutIdleFunc(draw_frame);
  pressed = false;
}

void read_view_again() {
  scene_setup();
  load_model_view(MODEL_FILE);
}

void on_view_mouse(int button, int state, int x, int y) {
  if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN) {
    pressed = true;
    dragging = false;
    press_x = last_x = x;
    press_y = last_y = y;
  } else if (button == GLUT_LEFT_BUTTON && pressed) {
    pressed = false;
    if (!dragging) read_view_again();
  } else if ((button == WHEEL_UP || button == WHEEL_DOWN) && state == GLUT_DOWN) {
    zoom_model_view(button == WHEEL_UP ? 1 : -1);
  }
}

void on_view_motion(int x, int y) {
  if (!pressed) return;
  if (abs(x - press_x) > DRAG_PIXELS || abs(y - press_y) > DRAG_PIXELS) dragging = true;
  if (!dragging) return;
  turn_model_view((x - last_x) * DEGREES_PER_PIXEL, (y - last_y) * DEGREES_PER_PIXEL);
  last_x = x;
  last_y = y;
}

void on_view_key(unsigned char key, int, int) {
  if (key == 'r' || key == 'R') put_model_view_back();
  if (key == '+' || key == '=') zoom_model_view(1);
  if (key == '-') zoom_model_view(-1);
}

void on_view_special_key(int key, int, int) {
  if (key == GLUT_KEY_LEFT) turn_model_view(-DEGREES_PER_KEY, 0);
  if (key == GLUT_KEY_RIGHT) turn_model_view(DEGREES_PER_KEY, 0);
  if (key == GLUT_KEY_UP) turn_model_view(0, -DEGREES_PER_KEY);
  if (key == GLUT_KEY_DOWN) turn_model_view(0, DEGREES_PER_KEY);
}
