#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "capture_stdout.h"
#include "gl_recorder.h"
#include "pipe_output.h"
#include "same_output.h"
#include "scene/die_motion.h"
#include "scene/draw_frame.h"

namespace {

constexpr int tumbling_frames = 14500;
constexpr int recorded_frames = tumbling_frames + 500;

// What one frame of draw_frame printed, as far as it reached a pipe before the
// frame returned (each line must show at once, the resting one too), and what
// it handed GL to place the die.
struct frame_record {
  std::string output;
  gl_call translation;
  std::vector<gl_call> rotations;
  int segment_stepped;  // 1 ... 5, or 0 when no path step ran
  double die_y;         // the double state behind the float GL receives
  double drift_x;
};

// Each segment advances the die by its own amount, which tells them apart.
int segment_of_advance(double advance) {
  const double advances[5] = {4.0, 3.0, 2.0, 1.0, 0.5};
  for (int s = 0; s < 5; s++)
    if (advance == advances[s]) return s + 1;
  return 0;
}

// The whole throw, drawn once per process from the program's initial state
// through the recording stand-in, with an empty mesh.
const std::vector<frame_record>& recorded_throw() {
  static std::vector<frame_record> frames = [] {
    std::vector<frame_record> record;
    for (int frame = 1; frame <= recorded_frames; frame++) {
      clear_gl_calls();
      double x_before = die_x;
      frame_record r;
      r.output = reached_pipe(draw_frame);
      r.segment_stepped = segment_of_advance(die_x - x_before);
      r.die_y = die_y;
      r.drift_x = drift_x;
      std::vector<gl_call> translations = gl_calls_named("glTranslatef");
      r.translation = translations.size() == 2 ? translations[1] : gl_call{"missing", {}};
      r.rotations = gl_calls_named("glRotatef");
      record.push_back(r);
    }
    return record;
  }();
  return frames;
}

const frame_record& frame_number(int n) {
  return recorded_throw()[n - 1];
}

// Frames on which a path step ran, in order.
std::vector<const frame_record*> path_steps() {
  std::vector<const frame_record*> steps;
  for (const frame_record& r : recorded_throw())
    if (!r.output.empty()) steps.push_back(&r);
  return steps;
}

// Whatever the code under test did, these read only what was recorded: a
// missing translation or rotation reads as NaN, which no expectation matches.
double height_of(const frame_record& r) {
  return r.translation.args.size() == 3 ? r.translation.args[1] : NAN;
}
double x_of(const frame_record& r) {
  return r.translation.args.size() == 3 ? r.translation.args[0] : NAN;
}
double angle_of(const frame_record& r, size_t axis) {
  return axis < r.rotations.size() && !r.rotations[axis].args.empty() ? r.rotations[axis].args[0]
                                                                      : NAN;
}

TEST(throw_path, first_lines_start_at_the_left_with_a_negative_zero) {
  EXPECT_SAME_OUTPUT(frame_number(1).output, "\n-316.000000\t-0.000000");
  EXPECT_SAME_OUTPUT(frame_number(51).output, "\n-312.000000\t-3.000000");
  EXPECT_TRUE(std::signbit(height_of(frame_number(1))));
}

TEST(throw_path, steps_once_every_fifty_frames_and_prints_one_line_each) {
  std::vector<const frame_record*> steps = path_steps();
  ASSERT_EQ(steps.size(), 291u);
  for (size_t i = 0; i < steps.size(); i++)
    ASSERT_EQ(steps[i], &frame_number(1 + 50 * static_cast<int>(i))) << "step " << i + 1;
}

TEST(throw_path, fortieth_height_is_one_unit_below_minus_117_and_prints_as_it) {
  std::vector<const frame_record*> steps = path_steps();
  ASSERT_GE(steps.size(), 40u);
  const frame_record& fortieth = *steps[39];
  EXPECT_SAME_OUTPUT(fortieth.output, "\n-160.000000\t-117.000000");
  // The inexact quotient p / 320 leaves the double one unit in the last place
  // below -117; GL's float rounds it away.
  EXPECT_EQ(fortieth.die_y, std::nextafter(-117.0, -1000.0));
  EXPECT_EQ(height_of(fortieth), -117.0);
}

TEST(throw_path, second_segment_starts_at_step_83_with_the_extra_space) {
  std::vector<const frame_record*> steps = path_steps();
  ASSERT_GE(steps.size(), 83u);
  EXPECT_SAME_OUTPUT(steps[81]->output, "\n8.000000\t-243.000000");
  EXPECT_SAME_OUTPUT(steps[82]->output, "\n 11.000000\t-234.000000");
}

TEST(throw_path, segments_run_their_step_counts_between_their_end_points) {
  struct segment_figures {
    int steps;
    double x_from, x_to, y_from, y_to;
  };
  const segment_figures expected[5] = {{82, -316, 8, -0.0, -243},
                                       {28, 11, 92, -234, -173.25},
                                       {89, 94, 270, -174.75, -240.75},
                                       {46, 271, 316, -240, -206.25},
                                       {46, 316.5, 339, -207, -240.75}};
  std::vector<const frame_record*> steps = path_steps();
  size_t first = 0;
  for (int s = 0; s < 5; s++) {
    SCOPED_TRACE("segment " + std::to_string(s + 1));
    ASSERT_LT(first, steps.size());
    size_t last = first;
    while (last + 1 < steps.size() && steps[last + 1]->segment_stepped == s + 1)
      last++;
    ASSERT_EQ(steps[first]->segment_stepped, s + 1);
    EXPECT_EQ(static_cast<int>(last - first + 1), expected[s].steps);
    EXPECT_EQ(x_of(*steps[first]), expected[s].x_from);
    EXPECT_EQ(x_of(*steps[last]), expected[s].x_to);
    EXPECT_EQ(height_of(*steps[first]), expected[s].y_from);
    EXPECT_EQ(height_of(*steps[last]), expected[s].y_to);
    for (size_t i = first; i <= last; i++) {
      bool plain = steps[i]->output.compare(0, 2, "\n ") != 0;
      ASSERT_EQ(plain, s == 0) << "line " << i + 1;
    }
    first = last + 1;
  }
  EXPECT_EQ(first, steps.size());
}

TEST(throw_path, ends_at_rest_and_says_nothing_more) {
  const frame_record& last_step = frame_number(14501);
  EXPECT_SAME_OUTPUT(last_step.output, "\n 339.000000\t-240.750000");
  EXPECT_EQ(last_step.drift_x, -1.0);
  for (int frame = 14502; frame <= recorded_frames; frame++)
    ASSERT_SAME_OUTPUT(frame_number(frame).output, "") << "frame " << frame;
  EXPECT_EQ(die_x, 339.0);
  EXPECT_EQ(die_y, -240.75);
  EXPECT_EQ(drift_x, -1.0);
}

TEST(die_tumble, turns_x_then_y_then_z_every_travelling_frame) {
  for (int frame = 1; frame <= tumbling_frames; frame++) {
    const std::vector<gl_call>& rotations = frame_number(frame).rotations;
    ASSERT_EQ(rotations.size(), 3u) << "frame " << frame;
    ASSERT_EQ(std::vector<double>(rotations[0].args.begin() + 1, rotations[0].args.end()),
              (std::vector<double>{1, 0, 0}));
    ASSERT_EQ(std::vector<double>(rotations[1].args.begin() + 1, rotations[1].args.end()),
              (std::vector<double>{0, 1, 0}));
    ASSERT_EQ(std::vector<double>(rotations[2].args.begin() + 1, rotations[2].args.end()),
              (std::vector<double>{0, 0, 1}));
  }
  EXPECT_EQ(angle_of(frame_number(1), 0), 0.1f);
  EXPECT_EQ(angle_of(frame_number(1), 1), 0.05f);
  EXPECT_EQ(angle_of(frame_number(1), 2), 0.03f);
}

TEST(die_tumble, angles_wrap_to_zero_on_the_frames_they_pass_359) {
  const int first_wrap[3] = {3590, 7180, 11967};
  const int wraps_in_throw[3] = {4, 2, 1};
  for (int axis = 0; axis < 3; axis++) {
    SCOPED_TRACE("axis " + std::to_string(axis));
    std::vector<int> wrap_frames;
    for (int frame = 1; frame <= tumbling_frames; frame++)
      if (angle_of(frame_number(frame), axis) == 0.0) wrap_frames.push_back(frame);
    ASSERT_EQ(static_cast<int>(wrap_frames.size()), wraps_in_throw[axis]);
    EXPECT_EQ(wrap_frames[0], first_wrap[axis]);
    for (size_t i = 1; i < wrap_frames.size(); i++)
      EXPECT_EQ(wrap_frames[i] - wrap_frames[i - 1], first_wrap[axis]);
    EXPECT_GT(angle_of(frame_number(first_wrap[axis] - 1), axis), 358.8);
  }
}

TEST(die_tumble, frames_between_path_steps_turn_without_moving) {
  for (int frame = 2; frame <= 50; frame++) {
    ASSERT_EQ(frame_number(frame).translation, frame_number(1).translation);
    ASSERT_SAME_OUTPUT(frame_number(frame).output, "");
    ASSERT_GT(angle_of(frame_number(frame), 0), angle_of(frame_number(frame - 1), 0));
  }
  EXPECT_FALSE(frame_number(51).translation == frame_number(50).translation);
}

TEST(die_rest, from_frame_14501_on_only_the_translation_is_applied) {
  EXPECT_EQ(frame_number(tumbling_frames).rotations.size(), 3u);
  for (int frame = tumbling_frames + 1; frame <= recorded_frames; frame++) {
    ASSERT_TRUE(frame_number(frame).rotations.empty()) << "frame " << frame;
    ASSERT_EQ(frame_number(frame).translation, (gl_call{"glTranslatef", {339.0, -240.75, -360.0}}));
  }
}

TEST(die_rest, frame_places_the_die_after_the_camera_and_before_the_triangles) {
  recorded_throw();
  clear_gl_calls();
  capture_stdout(draw_frame);
  std::vector<std::string> names;
  for (const gl_call& call : recorded_gl_calls())
    names.push_back(call.name);
  EXPECT_EQ(names, (std::vector<std::string>{"glClear", "glMatrixMode", "glLoadIdentity",
                                             "glTranslatef", "glTranslatef", "glBindTexture",
                                             "glBegin", "glEnd", "glFlush", "glutSwapBuffers"}));
}

// A throw started again takes its first path step at once, as the first one did.
TEST(throw_path, a_throw_started_again_steps_on_its_first_frame) {
  recorded_throw();
  restart_throw();
  EXPECT_SAME_OUTPUT(reached_pipe(draw_frame), "\n-316.000000\t-0.000000");
}

}  // namespace
