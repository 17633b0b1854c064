// The program's start-up, main itself (renamed dice_main), against the recording
// stand-in. Built twice: plainly, and with DICE_DIE_TEXTURE="die.bmp" as the
// textured build has it.
#include <GL/glut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/scene_setup.h"
#include "app/view_mode.h"
#include "bmp_texture_files.h"
#include "capture_stdout.h"
#include "chunk_writer.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "scene/draw_frame.h"
#include "temp_dir.h"
#include "texture/bmp_texture.h"
#include "view/model_view.h"

int dice_main(int argc, char** argv);

namespace {

const char* const MODEL_DUMP = "ChunkID: 4d4d\nChunkLenght: 6\n";

// Runs each test in a scratch directory holding a minimal cube.3ds.
class start_up : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_dir = here;
    ASSERT_EQ(chdir(dir.c_str()), 0);
    chunk_writer w;
    begin_chunk(w, 0x4d4d);
    end_chunk(w);
    write_file("cube.3ds", w.bytes);
    memset(&die_mesh, 0, sizeof die_mesh);
    texture_counter = 4;  // so a loaded name differs from the default texture 0
    clear_gl_calls();
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_dir.c_str()), 0);
    remove_tree(dir);
  }

  // main's calls, with what the set-up and the loader call in between.
  static std::vector<gl_call> start_up_calls(const std::vector<gl_call>& texture_calls) {
    std::vector<gl_call> calls = {
        {"glutInit", {1}},
        {"glutInitDisplayMode", {GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH}},
        {"glutInitWindowSize", {640, 480}},
        {"glutInitWindowPosition", {0, 0}},
        {"glutCreateWindow", {}},
        {"glutMouseFunc", {}, callback_address(on_mouse)},
        {"glutDisplayFunc", {}, callback_address(draw_frame)},
        {"glutIdleFunc", {}, callback_address(draw_frame)},
        {"glutReshapeFunc", {}, callback_address(on_reshape)},
        {"glClearColor", {0, 0, 0, 0}},
        {"glShadeModel", {GL_SMOOTH}},
        {"glViewport", {0, 0, 640, 480}},
        {"glMatrixMode", {GL_PROJECTION}},
        {"glLoadIdentity", {}},
        {"gluPerspective", {45.0, 640.0 / 480.0, 10.0, 10000.0}},
        {"glEnable", {GL_DEPTH_TEST}},
        {"glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}},
        {"glEnable", {GL_TEXTURE_2D}},
    };
    calls.insert(calls.end(), texture_calls.begin(), texture_calls.end());
    calls.push_back({"glutMainLoop", {}});
    return calls;
  }

  static std::string run_main() {
    return capture_stdout([] {
      char name[] = "dice";
      char* argv[] = {name, nullptr};
      EXPECT_EQ(dice_main(1, argv), 0);
    });
  }

  std::string dir;
  std::string previous_dir;
};

#ifndef DICE_DIE_TEXTURE

// --view and --help are the program's; a GLUT option's value stays GLUT's, whatever it is.
TEST_F(start_up, own_options_are_taken_out_and_the_rest_left_to_glut) {
  std::vector<std::string> args = {"dice", "--view", "-geometry", "--help", "-iconic"};
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string said;
  std::string printed = capture_stdout(
      [&] { said = capture_stderr([&] { EXPECT_EQ(dice_main(5, argv.data()), 0); }); });
  EXPECT_EQ(printed, MODEL_DUMP);
  EXPECT_EQ(said, "dice: viewing cube.3ds: 0 objects, 0 vertices, 0 faces, no finite vertex\n");
  std::vector<gl_call> calls = start_up_calls({});
  calls[0] = {"glutInit", {4}};
  calls.erase(calls.begin() + 5, calls.begin() + 8);
  calls.insert(calls.begin() + 5, {{"glutMouseFunc", {}, callback_address(on_view_mouse)},
                                   {"glutMotionFunc", {}, callback_address(on_view_motion)},
                                   {"glutKeyboardFunc", {}, callback_address(on_view_key)},
                                   {"glutSpecialFunc", {}, callback_address(on_view_special_key)},
                                   {"glutDisplayFunc", {}, callback_address(draw_view_frame)},
                                   {"glutIdleFunc", {}, callback_address(draw_view_frame)}});
  EXPECT_EQ(recorded_gl_calls(), calls);
  EXPECT_EQ(std::vector<std::string>(argv.begin(), argv.begin() + 4),
            (std::vector<std::string>{"dice", "-geometry", "--help", "-iconic"}));

  for (const char* own : {"--help", "--vew"}) {
    SCOPED_TRACE(own);
    clear_gl_calls();
    char name[] = "dice";
    std::vector<char*> alone = {name, const_cast<char*>(own), nullptr};
    int status = -1;
    printed = capture_stdout(
        [&] { said = capture_stderr([&] { status = dice_main(2, alone.data()); }); });
    EXPECT_TRUE(recorded_gl_calls().empty());
    if (own[2] == 'h') {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(printed.substr(0, printed.find('\n') + 1),
                "Usage: dice [--view | --roll [N] [--seed N]] [GLUT option...]\n");
      EXPECT_EQ(said, "");
    } else {
      EXPECT_EQ(status, 2);
      EXPECT_EQ(printed, "");
      EXPECT_EQ(said, "dice: unknown option --vew (dice --help lists them)\n");
    }
  }
}

// Each refusal names the option and what it takes, and opens no window.
TEST_F(start_up, roll_options_out_of_range_are_refused_with_one_line) {
  const std::string roll = "dice: --roll takes a number of dice from 1 to 6, not ",
                    seed = "dice: --seed takes a whole number from 0 to 18446744073709551615";
  const std::vector<std::vector<std::string>> cases = {
      {"--roll", "0", roll + "0"},
      {"--roll", "7", roll + "7"},
      {"--roll", "x", roll + "x"},
      {"--seed", "-1", seed + ", not -1"},
      {"--seed", "-0", seed + ", not -0"},
      {"--roll", "-9", roll + "-9"},
      {"--seed", "-1x", seed + ", not -1x"},
      {"--roll", "--seed", "18446744073709551616", seed + ", not 18446744073709551616"},
      {"--seed=12ab", seed + ", not 12ab"},
      {"--roll", "2", "--seed", seed + ", and none was given"},
      {"--view", "--roll", "dice: --roll throws the die; it does not go with --view"}};
  for (std::vector<std::string> args : cases) {
    std::string line = args.back() + "\n", said;
    args.back() = "dice";
    std::rotate(args.rbegin(), args.rbegin() + 1, args.rend());  // the program's name first
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    int status = -1;
    std::string printed = capture_stdout([&] {
      said =
          capture_stderr([&] { status = dice_main(static_cast<int>(args.size()), argv.data()); });
    });
    EXPECT_EQ(status, 2) << line;
    EXPECT_EQ(said, line);
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(recorded_gl_calls().empty()) << line;
  }
}

// A value is taken only where it can be one (an option after --roll is GLUT's, and
// so is -display's value, whatever it is); a seed alone rolls one die.
TEST(options, values_taken_are_left_out_and_the_rest_stays_for_glut) {
  struct {
    std::vector<std::string> args, left;
    int roll;
    uint64_t seed;
  } cases[] = {{{"--roll", "-iconic", "--seed", "12", "-display", "--view"},
                {"-iconic", "-display", "--view"},
                1,
                12},
               {{"--seed", "5", "-display"}, {"-display"}, 1, 5},
               {{"--roll=3", "--seed=7"}, {}, 3, 7},
               {{"--roll", "1", "--seed", "0"}, {}, 1, 0}};
  for (auto& c : cases) {
    c.args.insert(c.args.begin(), "dice");
    c.left.insert(c.left.begin(), "dice");
    std::vector<char*> argv;
    for (std::string& arg : c.args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(c.args.size());
    program_options options;
    ASSERT_TRUE(take_program_options(&argc, argv.data(), &options)) << c.args[1];
    EXPECT_EQ(options.roll, c.roll) << c.args[1];
    EXPECT_EQ(options.seed, c.seed) << c.args[1];
    EXPECT_EQ(std::vector<std::string>(argv.begin(), argv.begin() + argc), c.left);
  }
}

TEST_F(start_up, plain_build_never_calls_the_loader_even_beside_a_texture) {
  write_file("die.bmp", make_bmp({}, bmp_pixel_rows(4, 4)));

  EXPECT_EQ(run_main(), MODEL_DUMP);
  EXPECT_EQ(recorded_gl_calls(), start_up_calls({}));
  EXPECT_EQ(texture_counter, 4);
}

#else

bool is_texture_call(const gl_call& call) {
  return call.name == "glBindTexture" || call.name == "glTexImage2D" ||
         call.name == "gluBuild2DMipmaps";
}

TEST_F(start_up, texture_loads_once_after_the_set_up_and_left_presses_keep_it) {
  write_file("die.bmp", make_bmp({}, bmp_pixel_rows(4, 4)));

  std::string output = run_main();

  const double repeat = static_cast<double>(GL_REPEAT);
  EXPECT_EQ(output, MODEL_DUMP);
  EXPECT_EQ(
      recorded_gl_calls(),
      start_up_calls({
          {"glBindTexture", {GL_TEXTURE_2D, 5}},
          {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeat}},
          {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeat}},
          {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}},
          {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST}},
          {"glTexEnvf", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE}},
          {"glTexImage2D", {GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE}},
          {"gluBuild2DMipmaps", {GL_TEXTURE_2D, 3, 4, 4, GL_RGB, GL_UNSIGNED_BYTE}},
      }));
  EXPECT_EQ(die_mesh.texture_id, 5);

  clear_gl_calls();
  std::string presses = capture_stdout([] {
    for (int i = 0; i < 3; i++)
      on_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
  });

  EXPECT_EQ(presses, std::string(MODEL_DUMP) + MODEL_DUMP + MODEL_DUMP);
  for (const gl_call& call : recorded_gl_calls())
    EXPECT_FALSE(is_texture_call(call)) << ::testing::PrintToString(call);
  EXPECT_EQ(texture_counter, 5);
  EXPECT_EQ(die_mesh.texture_id, 5);
}

// Neither the loader's -1 nor its 0 names the image: the die keeps texture 0.
TEST_F(start_up, texture_that_cannot_be_loaded_leaves_one_line_and_the_default_texture) {
  const struct {
    const char* bytes;  // nullptr: no file
    std::string line;
  } cases[] = {
      {nullptr, "die.bmp: No such file or directory\n"},
      {"BM", "Headers from die.bmp are cut short: 2 of 54 bytes\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    if (c.bytes != nullptr) write_file("die.bmp", c.bytes);
    clear_gl_calls();

    std::string output = run_main();

    EXPECT_EQ(output, MODEL_DUMP + c.line);
    EXPECT_EQ(recorded_gl_calls(), start_up_calls({}));
    EXPECT_EQ(die_mesh.texture_id, 0);
  }
}

#endif  // DICE_DIE_TEXTURE

}  // namespace
