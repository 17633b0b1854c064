#include "view/model_view.h"

#include <GL/glut.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/die_motion.h"
#include "texture/bmp_texture.h"
#include "view/texture_lookup.h"
#include "view/view_mesh.h"
#include "view/view_model.h"

static const float CAMERA_Z = -300;  // the die's camera offset
static const double NEARER = 1.25;   // per zoom step
static const double RADIANS_PER_DEGREE = 3.14159265358979323846 / 180;
static const double FIELD_OF_VIEW = 45;  // degrees, vertical: the die's projection
static const double NEAR_PLANE = 10;     // eye to its near plane
static const double DIE_DISTANCE = 660;  // eye to the die's centre at rest: the die's size
static const double FRAMED_SHARE = 0.7;  // of the window's smaller side
static const double FORWARD_MS = 1000;   // from the die's place to framed

static view_mesh shown = {{}, {}, {}, 0};
static float shaded_for[3] = {NAN, NAN, NAN};  // the model-view row the shades were made for
static std::vector<GLuint> texture_names;      // indexed by view_batch::texture
static double hand[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // the turn, rows of a rotation
static int nearness = 0;  // zoom steps from framed: + nearer, - back
static int window_size[2] = {640, 480};
static double framed = DIE_DISTANCE;  // eye to the model's centre, framed
static double framed_span = 0;        // the window's share, as the tangents it was framed for
static double reach = 0;              // the fitted centre to its farthest drawn corner
static int forward_from = -1;         // ms when the model started forward; -1: not yet

enum texture_outcome {
  TEXTURE_USED,
  TEXTURE_NO_NAME,
  TEXTURE_MISSING,
  TEXTURE_UNOPENABLE,
  TEXTURE_NOT_BMP,
  TEXTURE_REFUSED
};

struct texture_use {
  std::string map;   // as the material names it
  std::string path;  // the file found beside the model
  texture_outcome outcome;
  int error;            // errno, when unopenable
  bmp_refusal refusal;  // the loader's reason, when refused
  int32_t width, height;
  int32_t texture;  // index into texture_names, when used; else -1
};

// A name from a file, or from a folder, may hold anything: one line stays one line.
static std::string printable(const std::string& text) {
  std::string shown_text = text;
  for (char& c : shown_text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown_text;
}

// Read straight into the vector: the page's stack is 64 KiB in all.
static bool read_whole_file(const char* path, std::vector<unsigned char>* bytes) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  const size_t block = 65536;
  size_t size = 0, got;
  do {
    bytes->resize(size + block);
    got = fread(bytes->data() + size, 1, block, file);
    size += got;
  } while (got == block);
  bytes->resize(size);
  bool whole = !ferror(file);
  fclose(file);
  return whole;
}

// Mipmapped, repeated, and without the texture environment, which is global state:
// the frame sets and restores it.
static GLuint make_texture(const bmp_pixels& image) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE,
                    image.pixels);
  return name;
}

static texture_use load_texture(const std::string& folder, const std::string& map) {
  texture_use use = {map, "", TEXTURE_USED, 0, {}, 0, 0, -1};
  std::string name = texture_file_name(map);
  if (name.empty()) {
    use.outcome = TEXTURE_NO_NAME;
    return use;
  }
  use.path = find_file_beside(folder, name);
  if (use.path.empty()) {
    use.outcome = TEXTURE_MISSING;
    use.path = name;
    return use;
  }
  FILE* file = fopen(use.path.c_str(), "rb");
  if (file == nullptr) {
    use.outcome = TEXTURE_UNOPENABLE;
    use.error = errno;
    return use;
  }
  unsigned char magic[2];
  bmp_pixels image;
  if (fread(magic, 1, 2, file) != 2 || magic[0] != 'B' || magic[1] != 'M') {
    use.outcome = TEXTURE_NOT_BMP;
  } else if (fseek(file, 0, SEEK_SET) != 0 || !read_bmp_pixels(file, &image, &use.refusal)) {
    use.outcome = TEXTURE_REFUSED;
  }
  fclose(file);
  if (use.outcome != TEXTURE_USED) return use;
  use.width = image.width;
  use.height = image.height;
  use.texture = static_cast<int32_t>(texture_names.size());
  texture_names.push_back(make_texture(image));
  free(image.pixels);
  return use;
}

static void say_texture(const texture_use& use) {
  std::string map = printable(use.map), path = printable(use.path);
  fprintf(stderr, "dice: texture %s: ", map.c_str());
  switch (use.outcome) {
    case TEXTURE_USED:
      fprintf(stderr, "used, %s (%d x %d)\n", printable(texture_file_name(use.path)).c_str(),
              use.width, use.height);
      break;
    case TEXTURE_NO_NAME:
      fprintf(stderr, "not used, it names no file\n");
      break;
    case TEXTURE_MISSING:
      fprintf(stderr, "not used, no file %s beside the model\n", path.c_str());
      break;
    case TEXTURE_UNOPENABLE:
      fprintf(stderr, "not used, %s: %s\n", path.c_str(), strerror(use.error));
      break;
    case TEXTURE_NOT_BMP:
      fprintf(stderr, "not used, %s is not a BMP file\n", path.c_str());
      break;
    case TEXTURE_REFUSED:
      fprintf(stderr, "not used, ");
      print_bmp_refusal(stderr, path.c_str(), use.refusal);
      break;
  }
}

static std::string counted(size_t count, const char* one, const char* more) {
  return std::to_string(count) + " " + (count == 1 ? one : more);
}

static void say_model(const std::string& name, const view_model& model, const view_box& box) {
  size_t vertices = 0;
  for (const view_object& object : model.objects)
    vertices += object.vertices.size();
  fprintf(stderr, "dice: viewing %s: %s, %s, %s", name.c_str(),
          counted(model.objects.size(), "object", "objects").c_str(),
          counted(vertices, "vertex", "vertices").c_str(),
          counted(shown.corners.size() / 3, "face", "faces").c_str());
  if (shown.faces_left_out > 0)
    fprintf(stderr, " (%zu more left out: a corner missing or not finite)", shown.faces_left_out);
  if (box.empty) {
    fprintf(stderr, ", no finite vertex\n");
  } else {
    fprintf(stderr, ", size %g x %g x %g\n", box.high[0] - box.low[0], box.high[1] - box.low[1],
            box.high[2] - box.low[2]);
  }
}

void load_model_view(const char* path) {
  if (!texture_names.empty())
    glDeleteTextures(static_cast<GLsizei>(texture_names.size()), texture_names.data());
  texture_names.clear();
  shown = view_mesh{{}, {}, {}, 0};
  shaded_for[0] = NAN;
  framed_span = 0;
  model_place place = find_model_place(path);
  std::string name = printable(place.name);
  std::vector<unsigned char> bytes;
  errno = 0;
  if (!read_whole_file(path, &bytes)) {
    fprintf(stderr, "dice: viewing %s: nothing to show, %s\n", name.c_str(), strerror(errno));
    return;
  }
  view_model model = read_view_model(bytes.data(), bytes.size());

  // One load per texture the materials name, however many of them name it.
  std::vector<texture_use> uses;
  std::vector<int32_t> material_textures;
  for (const view_material& material : model.materials) {
    int32_t texture = -1;
    if (!material.texture_map.empty()) {
      size_t u = 0;
      while (u < uses.size() && uses[u].map != material.texture_map)
        u++;
      if (u == uses.size()) uses.push_back(load_texture(place.folder, material.texture_map));
      texture = uses[u].texture;
    }
    material_textures.push_back(texture);
  }
  view_box box = measure_view_model(model);
  shown = build_view_mesh(model, fit_view_box(box), material_textures);
  say_model(name, model, box);
  for (const texture_use& use : uses)
    say_texture(use);
}

static void rotate_hand(int axis, double degrees) {
  double angle = degrees * RADIANS_PER_DEGREE, c = std::cos(angle), s = std::sin(angle);
  int j = (axis + 1) % 3, k = (axis + 2) % 3;  // the plane the turn moves points in
  for (int column = 0; column < 3; column++) {
    double from_j = hand[j][column], from_k = hand[k][column];
    hand[j][column] = c * from_j - s * from_k;
    hand[k][column] = s * from_j + c * from_k;
  }
}

void turn_model_view(double right_degrees, double down_degrees) {
  if (!die_at_rest()) return;
  rotate_hand(1, right_degrees);  // about the screen's vertical: the front goes right
  rotate_hand(0, down_degrees);   // about its horizontal: the front goes down
}

// How far the unturned model's drawn corners spread on screen at a distance, in
// tangents of the view: the larger of their width and height.
static double spread_at(double distance) {
  double low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
  for (const view_corner& corner : shown.corners) {
    double seen[2] = {corner.x / (distance - corner.z), corner.y / (distance - corner.z)};
    for (int axis = 0; axis < 2; axis++) {
      low[axis] = std::fmin(low[axis], seen[axis]);
      high[axis] = std::fmax(high[axis], seen[axis]);
    }
  }
  return std::fmax(high[0] - low[0], high[1] - low[1]);
}

// Framed: centred in the window, and as far as makes the drawn corners' larger side
// the window's share of its smaller side. The spread only shrinks with the distance,
// so halving finds it; no corner comes within the near plane, nor the model further
// than the die. Worked out again for a new model or a new shape of window.
static void frame_model() {
  double tangent = std::tan(FIELD_OF_VIEW / 2 * RADIANS_PER_DEGREE);
  double smaller = std::fmin(window_size[0], window_size[1]);
  double span = 2 * tangent * FRAMED_SHARE * smaller / window_size[1];
  if (span == framed_span) return;
  framed_span = span;
  framed = DIE_DISTANCE;
  reach = 0;
  if (shown.corners.empty()) return;
  double front = -INFINITY;
  for (const view_corner& corner : shown.corners) {
    front = std::fmax(front, corner.z);
    reach = std::fmax(reach,
                      std::sqrt(corner.x * corner.x + corner.y * corner.y + corner.z * corner.z));
  }
  double closest = front + NEAR_PLANE + 1, farthest = DIE_DISTANCE;
  if (spread_at(closest) <= span) {
    framed = closest;
    return;
  }
  for (int halving = 0; halving < 40; halving++) {
    framed = (closest + farthest) / 2;
    (spread_at(framed) > span ? closest : farthest) = framed;
  }
  framed = farthest;
}

// The hand's steps, from framed: nearer until the model could meet the near plane
// however it is turned, back until it is at the die's distance, the die's size.
static int steps_to(double distance) {
  return static_cast<int>(std::ceil(std::fabs(std::log(distance / framed)) / std::log(NEARER)));
}

static double hand_distance() {
  double nearest = std::fmin(framed, NEAR_PLANE + reach);
  double distance = framed / std::pow(NEARER, nearness);
  return std::fmax(nearest, std::fmin(DIE_DISTANCE, distance));
}

void zoom_model_view(int steps) {
  if (!die_at_rest()) return;
  frame_model();
  int nearest = std::min(VIEW_NEAREST, steps_to(std::fmin(framed, NEAR_PLANE + reach)));
  nearness = std::max(-steps_to(DIE_DISTANCE), std::min(nearest, nearness + steps));
}

void put_model_view_back() {
  for (int row = 0; row < 3; row++) {
    for (int column = 0; column < 3; column++)
      hand[row][column] = row == column ? 1 : 0;
  }
  nearness = 0;
}

void size_model_view(int width, int height) {
  window_size[0] = width;
  window_size[1] = height > 0 ? height : 1;
}

void start_model_view_at_die() {
  forward_from = -1;
}

// Once at rest, the model comes forward from the die's place to framed, eased, its
// size on screen growing evenly and its centre going straight to the middle; time
// decides how far, so the move lasts as long at any frame rate. Then the hand turns
// it about its centre and moves it nearer or back.
static void hold_by_hand() {
  frame_model();
  int now = glutGet(GLUT_ELAPSED_TIME);
  if (forward_from < 0) forward_from = now;
  double gone = std::fmax(0, std::fmin(1, (now - forward_from) / FORWARD_MS));
  double eased = gone * gone * (3 - 2 * gone);
  double at[3] = {die_x, die_y, die_z + CAMERA_Z};
  double distance = -at[2] * std::pow(hand_distance() / -at[2], eased);
  double aside = (1 - eased) * distance / -at[2];
  double centre[3] = {at[0] * aside, at[1] * aside, -distance};
  glTranslatef(static_cast<float>(centre[0] - at[0]), static_cast<float>(centre[1] - at[1]),
               static_cast<float>(centre[2] - at[2]));
  GLfloat turn[16] = {};
  for (int row = 0; row < 3; row++) {
    for (int column = 0; column < 3; column++)
      turn[column * 4 + row] = static_cast<GLfloat>(hand[row][column]);
  }
  turn[15] = 1;
  glMultMatrixf(turn);
}

// The shades follow the model's turn, and only change with it: at rest the arrays
// stay as they are from frame to frame.
static void shade_for_camera() {
  GLfloat modelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  const float row[3] = {modelview[2], modelview[6], modelview[10]};
  if (memcmp(row, shaded_for, sizeof row) == 0) return;
  shade_view_mesh(&shown, modelview);
  memcpy(shaded_for, row, sizeof row);
}

// Shaded and modulated for the view, then back to what the die's frame expects:
// texturing on, no arrays, the colour white, its own texture environment.
static void draw_shown_mesh() {
  GLint environment = GL_MODULATE;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &environment);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  const GLsizei stride = sizeof(view_corner);
  // Untextured faces go first, without texture coordinates: less for each corner.
  for (const view_batch& batch : shown.batches) {
    const view_corner& first = shown.corners[batch.first];
    if (batch.texture >= 0) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, texture_names[static_cast<size_t>(batch.texture)]);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, stride, &first.u);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, first.rgba);
    glVertexPointer(3, GL_FLOAT, stride, &first.x);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.count));
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glColor4ub(255, 255, 255, 255);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, environment);
}

void draw_view_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, CAMERA_Z);
  move_die();
  if (die_at_rest()) hold_by_hand();
  shade_for_camera();
  draw_shown_mesh();
  glFlush();
  glutSwapBuffers();
}

size_t model_view_faces() {
  return shown.corners.size() / 3;
}
