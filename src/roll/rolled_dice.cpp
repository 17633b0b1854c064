#include "roll/rolled_dice.h"

#include <GL/glut.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

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

// 4 x 4 matrices kept as GL keeps them, column by column.
static void multiply(const double a[16], const double b[16], double out[16]) {
  for (int column = 0; column < 4; column++) {
    for (int row = 0; row < 4; row++) {
      double sum = 0;
      for (int k = 0; k < 4; k++)
        sum += a[k * 4 + row] * b[column * 4 + k];
      out[column * 4 + row] = sum;
    }
  }
}

static void translation(float x, float y, float z, double out[16]) {
  const double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
  memcpy(out, m, sizeof m);
}

// As glRotatef turns about the x, y or z axis.
static void rotation(float degrees, int axis, double out[16]) {
  double radians = static_cast<double>(degrees) * 3.14159265358979323846 / 180;
  double c = std::cos(radians), s = std::sin(radians);
  translation(0, 0, 0, out);
  int i = (axis + 1) % 3, j = (axis + 2) % 3;
  out[i * 4 + i] = c;
  out[j * 4 + j] = c;
  out[i * 4 + j] = s;
  out[j * 4 + i] = -s;
}

// Where the throw's module put the die this frame: its place, then its tumble.
static void place_as_die(double out[16]) {
  translation(static_cast<float>(die_x), static_cast<float>(die_y), static_cast<float>(die_z), out);
  if (die_at_rest()) return;
  const double angles[3] = {tumble_x, tumble_y, tumble_z};
  for (int axis = 0; axis < 3; axis++) {
    double turn[16], placed[16];
    rotation(static_cast<float>(angles[axis]), axis, turn);
    multiply(out, turn, placed);
    memcpy(out, placed, sizeof placed);
  }
}

static void place_corner(const double m[16], int32_t k, float out[3]) {
  const mesh_vertex& p = die_mesh.vertices[k];
  for (int row = 0; row < 3; row++)
    out[row] = static_cast<float>(m[row] * p.x + m[4 + row] * p.y + m[8 + row] * p.z + m[12 + row]);
}

// A triangle turned away from the eye, at the origin, is hidden by the die's nearer
// faces; its corners run clockwise as seen from there.
static bool faces_the_eye(const float a[3], const float b[3], const float c[3]) {
  double ab[3], ac[3];
  for (int k = 0; k < 3; k++) {
    ab[k] = static_cast<double>(b[k]) - a[k];
    ac[k] = static_cast<double>(c[k]) - a[k];
  }
  double normal[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                      ab[0] * ac[1] - ab[1] * ac[0]};
  return normal[0] * a[0] + normal[1] * a[1] + normal[2] * a[2] < 0;
}

// All the dice in one draw, each corner placed here and only the faces turned towards
// the eye given: a software renderer pays for each triangle and each draw, and six
// dice drawn as the die is, a draw each, took twice the frame time of one.
void draw_roll_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  move_die();  // the one step of the path and the tumble this frame; placed below instead
  glLoadIdentity();
  double die[16];
  place_as_die(die);
  glBindTexture(GL_TEXTURE_2D, die_mesh.texture_id);
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < dice_count; i++) {
    double camera[16], placed[16], turned[16], m[16];
    translation(static_cast<float>(-DICE_SPACING * (dice_count - 1 - i)), 0, -300, camera);
    multiply(camera, die, placed);
    for (int k = 0; k < 16; k++)
      turned[k] = turns[i][k];
    multiply(placed, turned, m);
    for (int32_t f = 0; f < die_mesh.polygon_count; f++) {
      const mesh_face& face = die_mesh.polygons[f];
      if (face.a >= die_mesh.vertex_count || face.b >= die_mesh.vertex_count ||
          face.c >= die_mesh.vertex_count)
        continue;  // as the die's own frame leaves it out
      const int32_t corners[3] = {face.a, face.b, face.c};
      float placed_corners[3][3];
      for (int k = 0; k < 3; k++)
        place_corner(m, corners[k], placed_corners[k]);
      if (!faces_the_eye(placed_corners[0], placed_corners[1], placed_corners[2])) continue;
      for (int k = 0; k < 3; k++) {
        glTexCoord2f(die_mesh.mapping[corners[k]].u, die_mesh.mapping[corners[k]].v);
        glVertex3f(placed_corners[k][0], placed_corners[k][1], placed_corners[k][2]);
      }
    }
  }
  glEnd();
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
