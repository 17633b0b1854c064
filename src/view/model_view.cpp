#include "view/model_view.h"

#include <GL/glut.h>

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

static view_mesh shown = {{}, {}, {}, 0};
static float shaded_for[3] = {NAN, NAN, NAN};  // the model-view row the shades were made for
static std::vector<GLuint> texture_names;      // indexed by view_batch::texture
static double hand[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // the turn, rows of a rotation
static int nearness = 0;                                       // zoom steps, 0 ... VIEW_NEAREST

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

void zoom_model_view(int steps) {
  if (!die_at_rest()) return;
  nearness += steps;
  if (nearness < 0) nearness = 0;
  if (nearness > VIEW_NEAREST) nearness = VIEW_NEAREST;
}

void put_model_view_back() {
  for (int row = 0; row < 3; row++) {
    for (int column = 0; column < 3; column++)
      hand[row][column] = row == column ? 1 : 0;
  }
  nearness = 0;
}

// Nearer by a factor z is nearer to the eye by z and nearer to the middle of the view
// by z squared, so the model grows and stays in the window; z = 1 is the die's place.
static void hold_by_hand() {
  double zoom = std::pow(NEARER, nearness);
  double at[3] = {die_x, die_y, die_z + CAMERA_Z};
  double closer[3] = {at[0] / (zoom * zoom), at[1] / (zoom * zoom), at[2] / zoom};
  glTranslatef(static_cast<float>(closer[0] - at[0]), static_cast<float>(closer[1] - at[1]),
               static_cast<float>(closer[2] - at[2]));
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
