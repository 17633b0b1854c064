// Frames per second at rest in the program's window, on this display's renderer:
// the die; a large model viewed (whole, lit, from vertex arrays); the same model
// drawn the way the die is drawn (its last lists, cut at the record's capacity, one
// call per corner). Each frame is the program's own, swap included; the throw is
// put at its end first, so nothing moves and nothing is printed.
//
// Usage: view_bench [benchmark flags] DIE_3DS MODEL_3DS, on an X display. Reports
// frames and faces per second for each; the reading's output goes to /dev/null.
// Exit status: 0 measured, 1 a file could not be read, 2 wrong usage.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/scene_setup.h"
#include "model/mesh_3ds.h"
#include "scene/die_motion.h"
#include "scene/draw_frame.h"
#include "view/model_view.h"

static std::string die_file, model_file;

// Standard output and error to /dev/null while body runs: the account and what the
// view says are not what is measured.
static void quietly(const std::function<void()>& body) {
  fflush(stdout);
  fflush(stderr);
  int out = dup(STDOUT_FILENO), err = dup(STDERR_FILENO), null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  body();
  fflush(stdout);
  fflush(stderr);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  close(out);
  close(err);
  close(null);
}

static int64_t die_faces() {
  int64_t drawn = 0;
  for (int32_t i = 0; i < die_mesh.polygon_count; i++) {
    const mesh_face& face = die_mesh.polygons[i];
    int32_t count = die_mesh.vertex_count;
    drawn += face.a < count && face.b < count && face.c < count;
  }
  return drawn;
}

static void run_frames(benchmark::State& state, void (*frame)(), int64_t faces) {
  for (auto _ : state)
    frame();
  glFinish();  // the last frames drawn, not only sent
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["faces/s"] = benchmark::Counter(static_cast<double>(state.iterations() * faces),
                                                 benchmark::Counter::kIsRate);
  state.counters["faces"] = static_cast<double>(faces);
}

static void die(benchmark::State& state) {
  quietly([] { read_3ds_mesh(&die_mesh, die_file.c_str()); });
  run_frames(state, draw_frame, die_faces());
}

static void model_viewed(benchmark::State& state) {
  quietly([] { load_model_view(model_file.c_str()); });
  run_frames(state, draw_view_frame, static_cast<int64_t>(model_view_faces()));
}

static void model_as_die(benchmark::State& state) {
  quietly([] { read_3ds_mesh(&die_mesh, model_file.c_str()); });
  run_frames(state, draw_frame, die_faces());
}

BENCHMARK(die)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(model_viewed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(model_as_die)->Unit(benchmark::kMillisecond)->UseRealTime();

static void nothing() {}

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 3) {
    fprintf(stderr, "usage: view_bench [benchmark flags] DIE_3DS MODEL_3DS\n");
    return 2;
  }
  die_file = argv[1];
  model_file = argv[2];
  for (const std::string& path : {die_file, model_file}) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
      perror(path.c_str());
      return 1;
    }
    fclose(file);
  }
  int glut_argc = 1;
  glutInit(&glut_argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(window_width, window_height);
  glutInitWindowPosition(0, 0);
  glutCreateWindow("3d DICE model");
  glutDisplayFunc(nothing);
  for (int i = 0; i < 10; i++)
    glutMainLoopEvent();  // the window mapped, as the program's is when it draws
  quietly([] {
    scene_setup();
    while (!die_at_rest())
      move_die();
  });
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
