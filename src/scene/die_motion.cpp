#include "scene/die_motion.h"

#include <GL/gl.h>

#include <cstdio>

// The throw's first state; restart_throw returns to it.
static const double START_X = -320.0, START_Y = 0.0, START_Z = -360.0, START_DRIFT_X = 88.0;
static const double START_SEG1_Y = 0.0, START_SEG2_Y = -240.0, START_SEG3_Y = -175.0;
static const double START_SEG4_Y = -207.0, START_SEG5_Y = -207.0;

double die_x = START_X;
double die_y = START_Y;
double die_z = START_Z;
double drift_x = START_DRIFT_X;
double seg1_y = START_SEG1_Y;
double seg2_y = START_SEG2_Y;
double seg3_y = START_SEG3_Y;
double seg4_y = START_SEG4_Y;
double seg5_y = START_SEG5_Y;
int32_t frame_counter = 0;
double tumble_x = 0.0;
double tumble_y = 0.0;
double tumble_z = 0.0;
double tumble_step_x = 0.1;
double tumble_step_y = 0.05;
double tumble_step_z = 0.03;

// Heights against the floor line y = -240. Both keep the two-move form: the
// printed path is only exact to the last digit with this rounding.
static double falling_height(double p) {
  double t = -(p / 320) * 240;
  return -(240 - t);
}

static double rising_height(double p) {
  double t = -(p / 320) * 240;
  return -(240 + t);
}

static bool within(double y, double ceiling) {
  return y >= -240 && y <= ceiling;
}

static void finish_step(double* seg_y, double height, double advance, const char* line) {
  *seg_y = height;
  die_y = height;
  die_x += advance;
  printf(line, die_x, die_y);
  // Each line starts with its newline: without a flush the newest position would
  // sit in the buffer, and the resting one would never show.
  fflush(stdout);
}

void step_throw_path() {
  if (seg1_y >= -240) {
    finish_step(&seg1_y, falling_height(die_x), 4.0, "\n%f\t%f");
  } else if (within(seg2_y, -175)) {
    finish_step(&seg2_y, rising_height(die_x), 3.0, "\n %f\t%f");
  } else if (within(seg3_y, -174)) {
    drift_x -= 1.0;
    finish_step(&seg3_y, rising_height(drift_x), 2.0, "\n %f\t%f");
  } else if (within(seg4_y, -207)) {
    drift_x += 1.0;
    finish_step(&seg4_y, rising_height(drift_x), 1.0, "\n %f\t%f");
  } else if (within(seg5_y, -207)) {
    drift_x -= 1.0;
    finish_step(&seg5_y, rising_height(drift_x), 0.5, "\n %f\t%f");
  }
}

static double wrapped(double angle) {
  return angle > 359 ? 0 : angle;
}

void tumble_die() {
  tumble_x = wrapped(tumble_x + tumble_step_x);
  tumble_y = wrapped(tumble_y + tumble_step_y);
  tumble_z = wrapped(tumble_z + tumble_step_z);
  glRotatef(static_cast<float>(tumble_x), 1, 0, 0);
  glRotatef(static_cast<float>(tumble_y), 0, 1, 0);
  glRotatef(static_cast<float>(tumble_z), 0, 0, 1);
}

void place_die(double x, double y, double z) {
  glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  tumble_die();
}

bool die_at_rest() {
  return die_x == 339.0 && die_y == -240.75;
}

void move_die() {
  if (frame_counter == 0) step_throw_path();
  frame_counter += 1;
  if (frame_counter == 50) frame_counter = 0;

  if (die_at_rest()) {
    glTranslatef(static_cast<float>(die_x), static_cast<float>(die_y), static_cast<float>(die_z));
  } else {
    place_die(die_x, die_y, die_z);
  }
}

void restart_throw() {
  die_x = START_X;
  die_y = START_Y;
  die_z = START_Z;
  drift_x = START_DRIFT_X;
  seg1_y = START_SEG1_Y;
  seg2_y = START_SEG2_Y;
  seg3_y = START_SEG3_Y;
  seg4_y = START_SEG4_Y;
  seg5_y = START_SEG5_Y;
  frame_counter = 0;
  tumble_x = tumble_y = tumble_z = 0.0;
}
