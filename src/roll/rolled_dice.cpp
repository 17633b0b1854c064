#include "roll/rolled_dice.h"

#include <GL/glut.h>

#include <cinttypes>
#include <cstdio>

#include "model/mesh_3ds.h"
#include "roll/die_faces.h"
#include "scene/die_motion.h"
#include "scene/draw_frame.h"

static std::mt19937_64 engine;
static uint64_t seed_given = 0;
static int dice_count = 1;
static int rolls_made = 0;
static rolled_die dice[MAX_DICE];
static die_faces faces;
static float turns[MAX_DICE][16];

static void find_turns() {
  for (int i = 0; i < dice_count; i++)
    face_turn(faces, dice[i].face, dice[i].quarter_turns, turns[i]);
}

void begin_rolls(int count, uint64_t seed) {
  dice_count = count;
  seed_given = seed;
  engine.seed(seed);
  rolls_made = 0;
}

static void say_roll() {
  int total = 0;
  fputs("dice: rolled ", stderr);
  if (dice_count > 1) fprintf(stderr, "%d dice: ", dice_count);
  for (int i = 0; i < dice_count; i++) {
    fprintf(stderr, i ? " + %d" : "%d", dice[i].face);
    total += dice[i].face;
  }
  if (dice_count > 1) fprintf(stderr, " = %d", total);
  fprintf(stderr, " (seed %" PRIu64, seed_given);
  if (rolls_made > 1) fprintf(stderr, ", roll %d", rolls_made);
  fputs(")\n", stderr);
  fflush(stderr);
}

void roll_again() {
  roll_dice(engine, dice_count, dice);
  rolls_made += 1;
  find_turns();
  restart_throw();
  say_roll();
}

void find_rolled_faces() {
  find_die_faces(die_mesh, &faces);
  find_turns();
}

// Where the throw's module put the die this frame, without stepping it again.
static void place_as_die() {
  glTranslatef(static_cast<float>(die_x), static_cast<float>(die_y), static_cast<float>(die_z));
  if (die_at_rest()) return;
  glRotatef(static_cast<float>(tumble_x), 1, 0, 0);
  glRotatef(static_cast<float>(tumble_y), 0, 1, 0);
  glRotatef(static_cast<float>(tumble_z), 0, 0, 1);
}

void draw_roll_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  for (int i = 0; i < dice_count; i++) {
    glLoadIdentity();
    glTranslatef(static_cast<float>(-DICE_SPACING * (dice_count - 1 - i)), 0, -300);
    if (i == 0) {
      move_die();  // the one step of the path and the tumble this frame
    } else {
      place_as_die();
    }
    glMultMatrixf(turns[i]);
    draw_die_mesh();
  }
  glFlush();
  glutSwapBuffers();
}

int rolled_count() {
  return dice_count;
}

const rolled_die* last_roll() {
  return dice;
}

uint64_t rolls_seed() {
  return seed_given;
}
