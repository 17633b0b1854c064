#include "gl_recorder.h"

#include <GL/glut.h>

#include <cstddef>
#include <cstring>

static std::vector<gl_call> calls;

// The state a few calls read back: the texture environment's mode, the names
// glGenTextures hands out, and the client arrays a draw reads.
struct client_array {
  bool enabled;
  int size;
  GLenum type;  // GL_FLOAT or GL_UNSIGNED_BYTE
  GLsizei stride;
  const void* pointer;
};
static GLint texture_environment = GL_MODULATE;
static GLuint next_texture = 1;
static GLfloat modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
static client_array texture_array, colour_array, normal_array, vertex_array;

bool operator==(const gl_call& left, const gl_call& right) {
  return left.name == right.name && left.args == right.args && left.callback == right.callback;
}

void PrintTo(const gl_call& call, std::ostream* out) {
  *out << call.name << "(";
  for (size_t i = 0; i < call.args.size(); i++)
    *out << (i ? ", " : "") << call.args[i];
  if (call.callback) *out << (call.args.empty() ? "" : ", ") << "fn@" << call.callback;
  *out << ")";
  if (!call.pixels.empty()) *out << " [" << call.pixels.size() << " bytes]";
  if (!call.arrays.empty()) *out << " [" << call.arrays.size() << " floats]";
}

std::vector<gl_call>& recorded_gl_calls() {
  return calls;
}
void clear_gl_calls() {
  calls.clear();
  texture_environment = GL_MODULATE;
  next_texture = 1;
  for (int i = 0; i < 16; i++)
    modelview[i] = i % 5 == 0 ? 1.0f : 0.0f;
  texture_array = colour_array = normal_array = vertex_array = client_array{};
}

void give_gl_modelview(const float matrix[16]) {
  for (int i = 0; i < 16; i++)
    modelview[i] = matrix[i];
}

std::vector<gl_call> gl_calls_named(const std::string& name) {
  std::vector<gl_call> found;
  for (const gl_call& call : calls)
    if (call.name == name) found.push_back(call);
  return found;
}

static void record(const char* name, std::vector<double> args, const void* callback = nullptr) {
  calls.push_back(gl_call{name, std::move(args), callback});
}

static size_t components_of(GLenum format) {
  switch (format) {
    case GL_RGB:
    case GL_BGR:
      return 3;
    case GL_RGBA:
    case GL_BGRA:
      return 4;
    case GL_LUMINANCE_ALPHA:
      return 2;
    default:
      return 1;
  }
}

// Copies exactly the bytes OpenGL reads for a tightly described GL_UNSIGNED_BYTE
// image under the default unpack alignment of 4: every row but the last is
// padded to a multiple of 4 bytes.
static std::vector<unsigned char> read_upload(GLsizei width, GLsizei height, GLenum format,
                                              const void* data) {
  if (width <= 0 || height <= 0 || data == nullptr) return {};
  size_t row = static_cast<size_t>(width) * components_of(format);
  size_t stride = (row + 3) & ~static_cast<size_t>(3);
  size_t size = stride * static_cast<size_t>(height - 1) + row;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  return std::vector<unsigned char>(bytes, bytes + size);
}

void glClear(GLbitfield mask) {
  record("glClear", {static_cast<double>(mask)});
}
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
  record("glClearColor", {r, g, b, a});
}
void glShadeModel(GLenum mode) {
  record("glShadeModel", {static_cast<double>(mode)});
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  record("glViewport", {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                        static_cast<double>(height)});
}
void glMatrixMode(GLenum mode) {
  record("glMatrixMode", {static_cast<double>(mode)});
}
void glLoadIdentity() {
  record("glLoadIdentity", {});
}
void glEnable(GLenum capability) {
  record("glEnable", {static_cast<double>(capability)});
}
void glPolygonMode(GLenum face, GLenum mode) {
  record("glPolygonMode", {static_cast<double>(face), static_cast<double>(mode)});
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  record("glTranslatef", {x, y, z});
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  record("glRotatef", {angle, x, y, z});
}
void glBindTexture(GLenum target, GLuint texture) {
  record("glBindTexture", {static_cast<double>(target), static_cast<double>(texture)});
}
void glBegin(GLenum mode) {
  record("glBegin", {static_cast<double>(mode)});
}
void glEnd() {
  record("glEnd", {});
}
void glTexCoord2f(GLfloat u, GLfloat v) {
  record("glTexCoord2f", {u, v});
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  record("glVertex3f", {x, y, z});
}
void glFlush() {
  record("glFlush", {});
}
void glTexParameterf(GLenum target, GLenum name, GLfloat value) {
  record("glTexParameterf", {static_cast<double>(target), static_cast<double>(name), value});
}
void glTexEnvf(GLenum target, GLenum name, GLfloat value) {
  record("glTexEnvf", {static_cast<double>(target), static_cast<double>(name), value});
  if (name == GL_TEXTURE_ENV_MODE) texture_environment = static_cast<GLint>(value);
}
void glTexEnvi(GLenum target, GLenum name, GLint value) {
  record("glTexEnvi",
         {static_cast<double>(target), static_cast<double>(name), static_cast<double>(value)});
  if (name == GL_TEXTURE_ENV_MODE) texture_environment = value;
}
void glGetTexEnviv(GLenum target, GLenum name, GLint* value) {
  record("glGetTexEnviv", {static_cast<double>(target), static_cast<double>(name)});
  if (name == GL_TEXTURE_ENV_MODE) *value = texture_environment;
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
  record("glTexParameteri",
         {static_cast<double>(target), static_cast<double>(name), static_cast<double>(value)});
}
void glGenTextures(GLsizei count, GLuint* names) {
  record("glGenTextures", {static_cast<double>(count)});
  for (GLsizei i = 0; i < count; i++)
    names[i] = next_texture++;
}
void glDeleteTextures(GLsizei count, const GLuint* names) {
  std::vector<double> args = {static_cast<double>(count)};
  for (GLsizei i = 0; i < count; i++)
    args.push_back(names[i]);
  record("glDeleteTextures", args);
}
void glDisable(GLenum capability) {
  record("glDisable", {static_cast<double>(capability)});
}
void glLightfv(GLenum light, GLenum name, const GLfloat* values) {
  record("glLightfv", {static_cast<double>(light), static_cast<double>(name), values[0], values[1],
                       values[2], values[3]});
}
void glLightModelfv(GLenum name, const GLfloat* values) {
  record("glLightModelfv", {static_cast<double>(name), values[0], values[1], values[2], values[3]});
}
void glMaterialfv(GLenum face, GLenum name, const GLfloat* values) {
  record("glMaterialfv", {static_cast<double>(face), static_cast<double>(name), values[0],
                          values[1], values[2], values[3]});
}
void glMultMatrixf(const GLfloat* matrix) {
  record("glMultMatrixf", std::vector<double>(matrix, matrix + 16));
}

static client_array* array_of(GLenum kind) {
  switch (kind) {
    case GL_TEXTURE_COORD_ARRAY:
      return &texture_array;
    case GL_COLOR_ARRAY:
      return &colour_array;
    case GL_NORMAL_ARRAY:
      return &normal_array;
    case GL_VERTEX_ARRAY:
      return &vertex_array;
    default:
      return nullptr;
  }
}
void glEnableClientState(GLenum kind) {
  record("glEnableClientState", {static_cast<double>(kind)});
  if (client_array* array = array_of(kind)) array->enabled = true;
}
void glDisableClientState(GLenum kind) {
  record("glDisableClientState", {static_cast<double>(kind)});
  if (client_array* array = array_of(kind)) array->enabled = false;
}
// The arrays' places are not recorded (they change with every allocation); what a
// draw reads from them is.
static void point_array(client_array* array, int size, GLenum type, GLsizei stride,
                        const void* pointer) {
  array->size = size;
  array->type = type;
  array->stride = stride;
  array->pointer = pointer;
}
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
  record("glTexCoordPointer",
         {static_cast<double>(size), static_cast<double>(type), static_cast<double>(stride)});
  point_array(&texture_array, size, type, stride, pointer);
}
void glNormalPointer(GLenum type, GLsizei stride, const GLvoid* pointer) {
  record("glNormalPointer", {static_cast<double>(type), static_cast<double>(stride)});
  point_array(&normal_array, 3, type, stride, pointer);
}
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
  record("glVertexPointer",
         {static_cast<double>(size), static_cast<double>(type), static_cast<double>(stride)});
  point_array(&vertex_array, size, type, stride, pointer);
}
void glColorPointer(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer) {
  record("glColorPointer",
         {static_cast<double>(size), static_cast<double>(type), static_cast<double>(stride)});
  point_array(&colour_array, size, type, stride, pointer);
}
void glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
  record("glColor4ub", {static_cast<double>(r), static_cast<double>(g), static_cast<double>(b),
                        static_cast<double>(a)});
}
// The model-view matrix is not worked out here: it reads as the identity.
void glGetFloatv(GLenum name, GLfloat* values) {
  record("glGetFloatv", {static_cast<double>(name)});
  if (name == GL_MODELVIEW_MATRIX) {
    for (int i = 0; i < 16; i++)
      values[i] = modelview[i];
  }
}
// Reads every value GL would read for the corners drawn, so that a draw past its
// arrays shows under AddressSanitizer and what was drawn can be checked.
void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  record("glDrawArrays",
         {static_cast<double>(mode), static_cast<double>(first), static_cast<double>(count)});
  for (GLsizei corner = first; corner < first + count; corner++) {
    for (const client_array* array :
         {&texture_array, &colour_array, &normal_array, &vertex_array}) {
      if (!array->enabled) continue;
      bool bytes = array->type == GL_UNSIGNED_BYTE;
      size_t element = (bytes ? 1 : sizeof(GLfloat)) * static_cast<size_t>(array->size);
      size_t stride = array->stride ? static_cast<size_t>(array->stride) : element;
      const unsigned char* at =
          static_cast<const unsigned char*>(array->pointer) + stride * static_cast<size_t>(corner);
      for (int i = 0; i < array->size; i++) {
        GLfloat value;
        if (bytes) {
          value = at[i];
        } else {
          memcpy(&value, at + sizeof(GLfloat) * static_cast<size_t>(i), sizeof value);
        }
        calls.back().arrays.push_back(value);
      }
    }
  }
}
void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* data) {
  record("glTexImage2D", {static_cast<double>(target), static_cast<double>(level),
                          static_cast<double>(internal_format), static_cast<double>(width),
                          static_cast<double>(height), static_cast<double>(border),
                          static_cast<double>(format), static_cast<double>(type)});
  calls.back().pixels = read_upload(width, height, format, data);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far) {
  record("gluPerspective", {fovy, aspect, z_near, z_far});
}
GLint gluBuild2DMipmaps(GLenum target, GLint internal_format, GLsizei width, GLsizei height,
                        GLenum format, GLenum type, const void* data) {
  record("gluBuild2DMipmaps", {static_cast<double>(target), static_cast<double>(internal_format),
                               static_cast<double>(width), static_cast<double>(height),
                               static_cast<double>(format), static_cast<double>(type)});
  calls.back().pixels = read_upload(width, height, format, data);
  return 0;
}

void glutSwapBuffers() {
  record("glutSwapBuffers", {});
}
void glutPostRedisplay() {
  record("glutPostRedisplay", {});
}
void glutDisplayFunc(void (*callback)()) {
  record("glutDisplayFunc", {}, callback_address(callback));
}
void glutIdleFunc(void (*callback)()) {
  record("glutIdleFunc", {}, callback_address(callback));
}
void glutReshapeFunc(void (*callback)(int, int)) {
  record("glutReshapeFunc", {}, callback_address(callback));
}

// The start-up's window calls; the event loop returns at once.
void glutInit(int* argc, char**) {
  record("glutInit", {static_cast<double>(*argc)});
}
void glutInitDisplayMode(unsigned int mode) {
  record("glutInitDisplayMode", {static_cast<double>(mode)});
}
void glutInitWindowSize(int width, int height) {
  record("glutInitWindowSize", {static_cast<double>(width), static_cast<double>(height)});
}
void glutInitWindowPosition(int x, int y) {
  record("glutInitWindowPosition", {static_cast<double>(x), static_cast<double>(y)});
}
int glutCreateWindow(const char*) {
  record("glutCreateWindow", {});
  return 1;
}
void glutMouseFunc(void (*callback)(int, int, int, int)) {
  record("glutMouseFunc", {}, callback_address(callback));
}
void glutMotionFunc(void (*callback)(int, int)) {
  record("glutMotionFunc", {}, callback_address(callback));
}
void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
  record("glutKeyboardFunc", {}, callback_address(callback));
}
void glutSpecialFunc(void (*callback)(int, int, int)) {
  record("glutSpecialFunc", {}, callback_address(callback));
}
void glutMainLoop() {
  record("glutMainLoop", {});
}

static int elapsed_time = 0;
void set_glut_elapsed_time(int milliseconds) {
  elapsed_time = milliseconds;
}
int glutGet(GLenum what) {
  record("glutGet", {static_cast<double>(what)});
  return what == GLUT_ELAPSED_TIME ? elapsed_time : 0;
}
