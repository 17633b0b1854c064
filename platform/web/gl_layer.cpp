// The GL calls the program makes that WebGL, or emscripten's emulation of GL 1.1
// on it, does not take as desktop GL does; each defined here takes the place of
// emscripten's own (which stays reachable as emscripten_glName), and gives the
// call the meaning desktop GL gives it. Browser build only.
#include <GL/gl.h>
#include <GL/glu.h>

#include "mipmaps.h"

extern "C" void emscripten_glTexImage2D(GLenum target, GLint level, GLint internal_format,
                                        GLsizei width, GLsizei height, GLint border, GLenum format,
                                        GLenum type, const void* pixels);
extern "C" void emscripten_glTexEnvf(GLenum target, GLenum name, GLfloat value);
extern "C" void emscripten_glShadeModel(GLenum mode);

// GL 1.1 names an internal format by its count of components; WebGL takes only
// the format itself there.
static GLint name_internal_format(GLint internal_format) {
  switch (internal_format) {
    case 1:
      return GL_LUMINANCE;
    case 2:
      return GL_LUMINANCE_ALPHA;
    case 3:
      return GL_RGB;
    case 4:
      return GL_RGBA;
    default:
      return internal_format;
  }
}

void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void* pixels) {
  emscripten_glTexImage2D(target, level, name_internal_format(internal_format), width, height,
                          border, format, type, pixels);
}

// The emulation reads the environment's enumerations (its mode, the combiner's
// sources and operands) only from glTexEnvi, and its scales only from glTexEnvf;
// GL takes either call for either, converting the value.
void glTexEnvf(GLenum target, GLenum name, GLfloat value) {
  if (name == GL_RGB_SCALE || name == GL_ALPHA_SCALE) {
    emscripten_glTexEnvf(target, name, value);
  } else {
    glTexEnvi(target, name, static_cast<GLint>(value));
  }
}

// The emulation always interpolates colours across a face, which is GL_SMOOTH;
// for that it has nothing to do (its own glShadeModel warns that it ignores the
// call). GL_FLAT it cannot draw, and its warning about that stays.
void glShadeModel(GLenum mode) {
  if (mode != GL_SMOOTH) emscripten_glShadeModel(mode);
}

// A browser takes the canvas's drawing when it next shows the page; WebGL's flush
// only hands it on sooner. The program flushes every frame and draws dozens of
// frames between two of the browser's paints: WebKitGTK drew 485 frames a second
// at rest with the flushes and 747 without (one page, one run); in Firefox each was
// a wait for the process that draws (0.8 ms of a 1.1 ms frame), a wait its next
// paint makes anyway. Nothing in the program waits on the drawing: nothing is lost.
void glFlush() {}

struct mipmap_upload {
  GLenum target;
  GLint internal_format;
  GLenum format;
};

static void upload_level(int32_t level, const pixel_image& image, void* context) {
  const mipmap_upload& upload = *static_cast<const mipmap_upload*>(context);
  glTexImage2D(upload.target, level, upload.internal_format, image.width, image.height, 0,
               upload.format, GL_UNSIGNED_BYTE, image.pixels);
}

GLint gluBuild2DMipmaps(GLenum target, GLint internal_format, GLsizei width, GLsizei height,
                        GLenum format, GLenum type, const void* data) {
  GLint error = check_mipmap_args(width, height, format, type, data);
  if (error != 0) return error;
  GLint alignment = 4;
  GLint max_side = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
  pixel_image source = {width, height, mipmap_components(format, type), alignment,
                        static_cast<unsigned char*>(const_cast<void*>(data))};
  mipmap_upload upload = {target, internal_format, format};
  return build_mipmaps(source, max_side, upload_level, &upload);
}
