// Load benchmark: read_3ds_mesh on the full-capacity mesh, beside a baseline that
// prints the very same dump, line for line and value for value, with the same
// formats and one flush, and does nothing else. The gap between the two is what
// reading and walking the file costs on top of the printing the reader must do.
//
// Usage: load_bench [benchmark flags] [mesh file]. Without a file it writes one
// with make_assets --capacity-mesh into a temporary directory. Before anything is
// timed the mesh is read once with its dump captured, and the baseline must print
// that dump byte for byte. The dump then goes to /dev/null; the report, with the
// reader's time as a multiple of the baseline's, goes to the original stdout.
// Exit status: 0 measured, 1 the mesh could not be made, read or reproduced.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/mesh_3ds.h"

extern char** environ;

enum value_kind {
  VALUE_HEX,
  VALUE_INT,
  VALUE_VERTEX_X,
  VALUE_VERTEX_Y,
  VALUE_VERTEX_Z,
  VALUE_U,
  VALUE_V
};

struct dump_format {
  const char* format;  // as the reader prints it
  value_kind kind;     // where the printed value comes from
};

// Every line a whole, well-formed file makes the reader print.
static const dump_format dump_formats[] = {
    {"ChunkID: %x\n", VALUE_HEX},
    {"ChunkLenght: %x\n", VALUE_HEX},
    {"Number of vertices: %d\n", VALUE_INT},
    {"Number of polygons: %d\n", VALUE_INT},
    {"Vertices list x: %f\n", VALUE_VERTEX_X},
    {"Vertices list y: %f\n", VALUE_VERTEX_Y},
    {"Vertices list z: %f\n", VALUE_VERTEX_Z},
    {"Polygon point a: %d\n", VALUE_INT},
    {"Polygon point b: %d\n", VALUE_INT},
    {"Polygon point c: %d\n", VALUE_INT},
    {"Face flags: %x\n", VALUE_HEX},
    {"Mapping list u: %f\n", VALUE_U},
    {"Mapping list v: %f\n", VALUE_V},
};

struct dump_line {
  const dump_format* format;
  unsigned int hex;  // VALUE_HEX
  int integer;       // VALUE_INT
  double real;       // the float the reader kept, widened as printf widens it
};

static mesh_object read_mesh;        // the reader's record, for the timed reads too
static std::string mesh_path;        // the file both benchmarks stand for
static int64_t mesh_bytes = 0;       // its size
static std::vector<dump_line> dump;  // the reader's dump, as values to print
static std::string temp_dir;         // made here, removed at exit; empty if none

static void print_dump_line(const dump_line& line) {
  switch (line.format->kind) {
    case VALUE_HEX:
      printf(line.format->format, line.hex);
      break;
    case VALUE_INT:
      printf(line.format->format, line.integer);
      break;
    default:
      printf(line.format->format, line.real);
      break;
  }
}

static void BM_read_3ds_mesh(benchmark::State& state) {
  for (auto _ : state) {
    if (!read_3ds_mesh(&read_mesh, mesh_path.c_str())) {
      state.SkipWithError("read_3ds_mesh failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * mesh_bytes);
  state.counters["lines"] = benchmark::Counter(
      static_cast<double>(state.iterations() * dump.size()), benchmark::Counter::kIsRate);
}

static void BM_print_dump_only(benchmark::State& state) {
  for (auto _ : state) {
    for (const dump_line& line : dump)
      print_dump_line(line);
    fflush(stdout);  // the reader flushes once at the end of a read
  }
  state.SetBytesProcessed(state.iterations() * mesh_bytes);
  state.counters["lines"] = benchmark::Counter(
      static_cast<double>(state.iterations() * dump.size()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_read_3ds_mesh);
BENCHMARK(BM_print_dump_only);

// A run with no times to report. Google Benchmark 1.8 replaced Run::error_occurred
// (Debian 12's 1.7) with Run::skipped (Debian 13's 1.9): only the overload for the
// member this version has compiles, and the int one wins were both to.
template <typename run_record>
static auto run_failed(const run_record& run, int) -> decltype(static_cast<bool>(run.skipped)) {
  return static_cast<bool>(run.skipped);
}
template <typename run_record>
static bool run_failed(const run_record& run, long) {
  return run.error_occurred;
}

// The console report, plus the reader's time over the baseline's at the end.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  ratio_reporter() : benchmark::ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run_failed(run, 0)) continue;
      // With repetitions the median stands for the family; without, the one run.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (run.run_type == Run::RT_Aggregate || times_.count(run.run_name.function_name) == 0)
        times_[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
    GetOutputStream().flush();  // keeps step with the context lines on stderr
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    auto reader = times_.find("BM_read_3ds_mesh");
    auto baseline = times_.find("BM_print_dump_only");
    if (reader == times_.end() || baseline == times_.end()) return;
    GetOutputStream() << "read_3ds_mesh / print only: "
                      << reader->second.first / baseline->second.first << " real time, "
                      << reader->second.second / baseline->second.second
                      << " CPU time (target <= 1.3); " << dump.size() << " dump lines and "
                      << mesh_bytes << " bytes per read" << std::endl;
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;  // real, CPU time by benchmark
};

static void remove_temp_dir() {
  if (temp_dir.empty()) return;
  unlink((temp_dir + "/cube.3ds").c_str());
  unlink((temp_dir + "/dump.txt").c_str());
  rmdir(temp_dir.c_str());
}

static bool make_temp_dir() {
  char pattern[] = "/tmp/dice_load_bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    fprintf(stderr, "load_bench: cannot make a temporary directory: %s\n", strerror(errno));
    return false;
  }
  temp_dir = pattern;
  atexit(remove_temp_dir);
  return true;
}

static bool make_capacity_mesh(const std::string& path) {
  const char* tool = DICE_MAKE_ASSETS;
  char* const arguments[] = {const_cast<char*>(tool), const_cast<char*>("--capacity-mesh"),
                             const_cast<char*>(path.c_str()), nullptr};
  pid_t child;
  int status = 0;
  int failure = posix_spawn(&child, tool, nullptr, nullptr, arguments, environ);
  if (failure == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
      WEXITSTATUS(status) == 0)
    return true;
  fprintf(stderr, "load_bench: %s --capacity-mesh %s failed\n", tool, path.c_str());
  return false;
}

static bool read_file(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

// The format whose text before the value starts the line, and that text's length.
static const dump_format* find_format(const std::string& line, size_t* prefix) {
  for (const dump_format& format : dump_formats) {
    *prefix = strchr(format.format, '%') - format.format;
    if (line.compare(0, *prefix, format.format, *prefix) == 0) return &format;
  }
  return nullptr;
}

// Integers come from the dump's text; reals from the record the reader filled, in
// the order the dump printed them, so each is the exact float it printed.
static bool fill_value(dump_line* line, const char* text, int32_t* vertex, int32_t* uv) {
  switch (line->format->kind) {
    case VALUE_HEX:
      line->hex = static_cast<unsigned int>(strtoul(text, nullptr, 16));
      return true;
    case VALUE_INT:
      line->integer = static_cast<int>(strtol(text, nullptr, 10));
      return true;
    case VALUE_VERTEX_X:
    case VALUE_VERTEX_Y:
    case VALUE_VERTEX_Z: {
      if (*vertex >= read_mesh.vertex_count) return false;
      const mesh_vertex& v = read_mesh.vertices[*vertex];
      value_kind kind = line->format->kind;
      line->real = kind == VALUE_VERTEX_X ? v.x : kind == VALUE_VERTEX_Y ? v.y : v.z;
      if (kind == VALUE_VERTEX_Z) *vertex += 1;
      return true;
    }
    default: {
      if (*uv >= MESH_CAPACITY) return false;
      const mesh_uv& m = read_mesh.mapping[*uv];
      line->real = line->format->kind == VALUE_U ? m.u : m.v;
      if (line->format->kind == VALUE_V) *uv += 1;
      return true;
    }
  }
}

static bool parse_dump(const std::string& text) {
  int32_t vertex = 0, uv = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t prefix = 0;
    dump_line parsed = {find_format(line, &prefix), 0, 0, 0.0};
    if (parsed.format == nullptr || !fill_value(&parsed, line.c_str() + prefix, &vertex, &uv)) {
      fprintf(stderr, "load_bench: dump line %zu cannot be reproduced: %s\n", dump.size() + 1,
              line.c_str());
      return false;
    }
    dump.push_back(parsed);
    start = end + 1;
  }
  return true;
}

static std::string render_dump() {
  std::string text;
  char buffer[64];
  for (const dump_line& line : dump) {
    int length = 0;
    if (line.format->kind == VALUE_HEX)
      length = snprintf(buffer, sizeof buffer, line.format->format, line.hex);
    else if (line.format->kind == VALUE_INT)
      length = snprintf(buffer, sizeof buffer, line.format->format, line.integer);
    else
      length = snprintf(buffer, sizeof buffer, line.format->format, line.real);
    text.append(buffer, static_cast<size_t>(length) < sizeof buffer ? length : sizeof buffer - 1);
  }
  return text;
}

// Reads the mesh once with the dump captured in a file, and turns the dump into
// lines the baseline prints; its rendering must equal the dump exactly.
static bool capture_dump() {
  std::string dump_path = temp_dir + "/dump.txt";
  fflush(stdout);
  if (freopen(dump_path.c_str(), "w", stdout) == nullptr) return false;
  bool whole = read_3ds_mesh(&read_mesh, mesh_path.c_str());
  fflush(stdout);
  std::string text;
  if (!whole || !read_file(dump_path, &text) || text.empty()) {
    fprintf(stderr, "load_bench: %s could not be read whole\n", mesh_path.c_str());
    return false;
  }
  struct stat status;
  if (stat(mesh_path.c_str(), &status) != 0) return false;
  mesh_bytes = status.st_size;
  if (!parse_dump(text)) return false;
  if (render_dump() != text) {
    fprintf(stderr, "load_bench: the print-only baseline does not reproduce the dump\n");
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 2) {
    fprintf(stderr, "usage: load_bench [benchmark flags] [mesh file]\n");
    return 1;
  }
  // The report goes where stdout went; stdout itself is for the dump.
  int report_descriptor = dup(STDOUT_FILENO);
  if (report_descriptor < 0 || !make_temp_dir()) return 1;
  if (argc == 2) {
    mesh_path = argv[1];
  } else {
    mesh_path = temp_dir + "/cube.3ds";
    if (!make_capacity_mesh(mesh_path)) return 1;
  }
  if (!capture_dump()) return 1;
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;

  std::ofstream report("/proc/self/fd/" + std::to_string(report_descriptor), std::ios::app);
  ratio_reporter reporter;
  reporter.SetOutputStream(&report);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
