#include "gl_recorder.h"

#include <GL/glut.h>

#include <cstddef>

static std::vector<gl_call> calls;

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
}

std::vector<gl_call>& recorded_gl_calls() {
  return calls;
}
void clear_gl_calls() {
  calls.clear();
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
void glutMainLoop() {
  record("glutMainLoop", {});
}
