// Roll mode at call level: the chooser's fairness and its fixed draws, each number's
// turn found from the die's own mesh, and a roll thrown, rolled again and read again.
#include <GL/glut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/roll_mode.h"
#include "capture_stdout.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "roll/die_faces.h"
#include "roll/roll_chooser.h"
#include "roll/rolled_dice.h"
#include "scene/die_motion.h"
#include "scene/draw_frame.h"
#include "temp_dir.h"

namespace {

// Pearson's statistic against equal counts; the thresholds are chi-squared's 0.1%
// critical values, so a fair chooser fails about once in a thousand seeds, and this
// seed is fixed.
double chi_squared(const std::vector<long>& counts, long draws) {
  double expected = static_cast<double>(draws) / counts.size(), sum = 0;
  for (long count : counts)
    sum += (count - expected) * (count - expected) / expected;
  return sum;
}

TEST(roll_chooser, faces_and_turns_are_even_over_600000_rolls) {
  const long rolls = 600000;
  const double critical_5_dof = 20.515, critical_3_dof = 16.266;
  std::mt19937_64 engine(20261208);
  std::vector<long> faces(6), turns(4);
  for (long i = 0; i < rolls; i++) {
    rolled_die die;
    roll_dice(engine, 1, &die);
    faces.at(die.face - 1)++;
    turns.at(die.quarter_turns)++;
  }
  printf("chi-squared over %ld rolls: faces %.3f (5 dof), quarter turns %.3f (3 dof)\n", rolls,
         chi_squared(faces, rolls), chi_squared(turns, rolls));
  EXPECT_LT(chi_squared(faces, rolls), critical_5_dof);
  EXPECT_LT(chi_squared(turns, rolls), critical_3_dof);
}

// 2^64 mod 6 is 4: raw 0 to 3 would make faces 1 to 4 likelier by a modulo, so they
// are drawn again. 2^64 mod 4 is 0: nothing is.
TEST(roll_chooser, raw_values_below_two_to_the_64_mod_bound_are_drawn_again) {
  std::vector<uint64_t> raw = {0, 1, 2, 3, 4, UINT64_MAX, 0};
  size_t next = 0;
  auto source = [&] { return raw.at(next++); };
  EXPECT_EQ(draw_below(source, 6), 4u);
  EXPECT_EQ(next, 5u);
  EXPECT_EQ(draw_below(source, 6), UINT64_MAX % 6);
  EXPECT_EQ(draw_below(source, 4), 0u);
  EXPECT_EQ(next, raw.size());
}

// The draws every platform must give for these seeds: a roll's seed replays it anywhere.
TEST(roll_chooser, a_seed_gives_these_first_rolls) {
  const struct {
    uint64_t seed;
    int faces_and_turns[12];
  } cases[] = {{8841026633, {4, 3, 2, 1, 3, 3, 3, 0, 6, 2, 4, 3}},
               {0, {1, 3, 2, 2, 5, 2, 2, 0, 3, 1, 6, 0}}};
  for (const auto& c : cases) {
    std::mt19937_64 engine(c.seed);
    rolled_die dice[6];
    roll_dice(engine, 6, dice);
    for (int i = 0; i < 6; i++) {
      EXPECT_EQ(dice[i].face, c.faces_and_turns[2 * i]) << "seed " << c.seed << ", die " << i;
      EXPECT_EQ(dice[i].quarter_turns, c.faces_and_turns[2 * i + 1]);
    }
  }
}

TEST(roll_chooser, only_whole_numbers_in_range_are_taken) {
  uint64_t seed = 1;
  EXPECT_TRUE(parse_seed("18446744073709551615", &seed));
  EXPECT_EQ(seed, UINT64_MAX);
  EXPECT_TRUE(parse_seed("0", &seed));
  EXPECT_EQ(seed, 0u);
  for (const char* bad : {"18446744073709551616", "99999999999999999999", "", "-1", "+1", "12ab"})
    EXPECT_FALSE(parse_seed(bad, &seed)) << bad;
  int count = 0;
  EXPECT_TRUE(parse_dice_count("6", &count));
  EXPECT_EQ(count, 6);
  for (const char* bad : {"0", "7", "x", "", "06"})
    EXPECT_FALSE(parse_dice_count(bad, &count)) << bad;
}

mesh_object& shipped_die() {
  static mesh_object& mesh = *new mesh_object();
  static bool read = [] {
    bool whole = false;
    capture_stdout([&] { whole = read_3ds_mesh(&mesh, DIE_ASSET); });
    return whole;
  }();
  EXPECT_TRUE(read);
  return mesh;
}

void turn(const float m[16], const mesh_vertex& p, double out[3]) {
  for (int row = 0; row < 3; row++)
    out[row] = m[row] * p.x + m[4 + row] * p.y + m[8 + row] * p.z;
}

// Turned by the matrix, the triangles lying wholly nearest the viewer must be the
// number's cell (each corner is inset into its cell), and the top left corner on
// screen the cell's corner that the quarter turns bring there: the top left, top
// right, bottom right or bottom left.
void expect_face_towards_viewer(const mesh_object& mesh, const float m[16], int number,
                                int quarter_turns) {
  std::vector<double> depth(mesh.vertex_count), rise(mesh.vertex_count);
  double nearest = -INFINITY, best = -INFINITY;
  for (int32_t k = 0; k < mesh.vertex_count; k++) {
    double p[3];
    turn(m, mesh.vertices[k], p);
    depth[k] = p[2];
    rise[k] = p[1] - p[0];  // greatest at the top left
    nearest = std::fmax(nearest, p[2]);
  }
  int top_left = -1, front = 0;
  for (int32_t i = 0; i < mesh.polygon_count; i++) {
    const int32_t corners[3] = {mesh.polygons[i].a, mesh.polygons[i].b, mesh.polygons[i].c};
    bool in_front = true;
    for (int32_t k : corners)
      in_front = in_front && depth[k] > nearest - 1e-3;
    if (!in_front) continue;
    front++;
    for (int32_t k : corners) {
      EXPECT_EQ(atlas_number(mesh.mapping[k].u, mesh.mapping[k].v), number) << "corner " << k;
      if (rise[k] > best) best = rise[k], top_left = k;
    }
  }
  ASSERT_EQ(front, 2) << "number " << number;
  const mesh_uv& t = mesh.mapping[top_left];
  double cell_u = std::fmod(t.u * ATLAS_COLUMNS, 1), cell_v = std::fmod(t.v * ATLAS_ROWS, 1);
  const bool right[4] = {false, true, true, false}, top[4] = {true, true, false, false};
  EXPECT_EQ(cell_u > 0.5, right[quarter_turns]) << "number " << number << ", " << quarter_turns;
  EXPECT_EQ(cell_v > 0.5, top[quarter_turns]) << "number " << number << ", " << quarter_turns;
}

// From the mesh, not from a table: the same die given a third of a turn about its
// diagonal (x, y, z to y, z, x) still lands each number towards the viewer.
TEST(die_faces, each_number_lands_towards_the_viewer_upright_then_quarter_turned) {
  std::unique_ptr<mesh_object> turned(new mesh_object(shipped_die()));
  for (int32_t k = 0; k < turned->vertex_count; k++) {
    mesh_vertex p = turned->vertices[k];
    turned->vertices[k] = {p.y, p.z, p.x};
  }
  for (const mesh_object* mesh : {&shipped_die(), turned.get()}) {
    SCOPED_TRACE(mesh == turned.get() ? "mesh turned" : "mesh as shipped");
    die_faces faces;
    find_die_faces(*mesh, &faces);
    for (int number = 1; number <= 6; number++) {
      for (int q = 0; q < 4; q++) {
        float m[16];
        face_turn(faces, number, q, m);
        expect_face_towards_viewer(*mesh, m, number, q);
      }
    }
  }
}

std::string throw_to_rest(void (*frame)()) {
  return capture_stdout([&] {
    for (int i = 0; i < 15000; i++) {
      clear_gl_calls();
      frame();
    }
  });
}

// Three dice thrown beside cube.3ds and no die.bmp: the printed path is the plain
// throw's, the dice rest side by side with the faces said, a left press only reads the
// mesh again, and space throws again from the start with the next draws.
TEST(rolled_dice, roll_prints_the_throw_and_lands_the_faces_said) {
  std::string dir = make_temp_dir(), dump;
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  dump = capture_stdout([] { read_3ds_mesh(&die_mesh, DIE_ASSET); });
  std::ifstream in(DIE_ASSET, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  write_file("cube.3ds", bytes.str());
  restart_throw();
  std::string path = throw_to_rest(draw_frame);

  std::string said, printed;
  said = capture_stderr([&] { printed = capture_stdout([] { start_roll_mode(3, 8841026633); }); });
  EXPECT_EQ(said, "dice: rolled 3 dice: 4 + 2 + 3 = 9 (seed 8841026633)\n");
  EXPECT_EQ(printed, "die.bmp: No such file or directory\n");
  EXPECT_EQ(throw_to_rest(draw_roll_frame), path);

  clear_gl_calls();
  draw_roll_frame();
  std::vector<gl_call> translations = gl_calls_named("glTranslatef");
  std::vector<gl_call> turns = gl_calls_named("glMultMatrixf");
  ASSERT_EQ(translations.size(), 6u);
  ASSERT_EQ(turns.size(), 3u);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(translations[2 * i], (gl_call{"glTranslatef", {-36.0 * (2 - i), 0, -300}}));
    EXPECT_EQ(translations[2 * i + 1], (gl_call{"glTranslatef", {339, -240.75, -360}}));
    float m[16];
    for (int k = 0; k < 16; k++)
      m[k] = static_cast<float>(turns[i].args.at(k));
    expect_face_towards_viewer(die_mesh, m, last_roll()[i].face, last_roll()[i].quarter_turns);
  }
  EXPECT_TRUE(gl_calls_named("glRotatef").empty());

  printed = capture_stdout([] {
    on_roll_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    draw_roll_frame();
  });
  EXPECT_EQ(printed, dump);
  said = capture_stderr([] { on_roll_key(' ', 0, 0); });
  EXPECT_EQ(said, "dice: rolled 3 dice: 3 + 6 + 4 = 13 (seed 8841026633, roll 2)\n");
  EXPECT_EQ(throw_to_rest(draw_roll_frame), path);
  EXPECT_EQ(chdir(here), 0);
  remove_tree(dir);
}

}  // namespace
