// Client-side vertex arrays kept on the GPU. emscripten's GL emulation copies a
// draw's arrays into a WebGL buffer at every glDrawArrays, and in chromium that copy
// to the GPU process is most of a frame's time for a large model, whose arrays do not
// change from frame to frame. Here each draw's span of bytes is kept in a buffer of
// its own with a copy of the bytes sent: a draw over the very same bytes draws from
// the buffer, anything else is sent again. What is drawn is what desktop GL draws
// from the same arrays. Browser build only; the calls defined here take the place
// of emscripten's, which stay reachable as emscripten_glName.
#include <GL/gl.h>

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
void emscripten_glEnableClientState(GLenum kind);
void emscripten_glDisableClientState(GLenum kind);
void emscripten_glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void emscripten_glNormalPointer(GLenum type, GLsizei stride, const void* pointer);
void emscripten_glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void emscripten_glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
void emscripten_glGenBuffers(GLsizei count, GLuint* buffers);
void emscripten_glDeleteBuffers(GLsizei count, const GLuint* buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage);
}

namespace {

struct client_array {
  bool enabled;
  GLint size;  // components; a normal has 3
  GLenum type;
  GLsizei stride;
  const unsigned char* pointer;
};

enum { VERTEX, NORMAL, COLOUR, TEXTURE, ARRAYS };

struct kept_span {
  GLuint buffer;
  std::vector<unsigned char> bytes;  // as last sent
  uint64_t last_used;
};

const size_t KEPT_SPANS = 16;  // a model's batches, and those of the one before it

client_array arrays[ARRAYS];
std::vector<kept_span> kept;
uint64_t draws = 0;

client_array* array_of(GLenum kind) {
  switch (kind) {
    case GL_VERTEX_ARRAY:
      return &arrays[VERTEX];
    case GL_NORMAL_ARRAY:
      return &arrays[NORMAL];
    case GL_COLOR_ARRAY:
      return &arrays[COLOUR];
    case GL_TEXTURE_COORD_ARRAY:
      return &arrays[TEXTURE];
    default:
      return nullptr;
  }
}

size_t type_bytes(GLenum type) {
  switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
      return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
      return 2;
    default:
      return 4;
  }
}

void point(int which, const unsigned char* pointer) {
  const client_array& a = arrays[which];
  if (which == VERTEX) emscripten_glVertexPointer(a.size, a.type, a.stride, pointer);
  if (which == NORMAL) emscripten_glNormalPointer(a.type, a.stride, pointer);
  if (which == COLOUR) emscripten_glColorPointer(a.size, a.type, a.stride, pointer);
  if (which == TEXTURE) emscripten_glTexCoordPointer(a.size, a.type, a.stride, pointer);
}

// Binds the buffer holding exactly these bytes: the one kept for them, or the least
// recently used one, sent them anew.
GLuint buffer_for(const unsigned char* low, size_t length) {
  kept_span* span = nullptr;
  for (kept_span& candidate : kept) {
    if (candidate.bytes.size() == length && memcmp(candidate.bytes.data(), low, length) == 0) {
      span = &candidate;
      break;
    }
  }
  if (span == nullptr) {
    if (kept.size() < KEPT_SPANS) {
      kept.push_back(kept_span{0, {}, 0});
      emscripten_glGenBuffers(1, &kept.back().buffer);
      span = &kept.back();
    } else {
      span = &kept[0];
      for (kept_span& candidate : kept) {
        if (candidate.last_used < span->last_used) span = &candidate;
      }
    }
    span->bytes.assign(low, low + length);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, span->buffer);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(length), low, GL_STATIC_DRAW);
  } else {
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, span->buffer);
  }
  span->last_used = ++draws;
  return span->buffer;
}

// The emulation draws from a buffer only arrays interleaved in one stride (each
// corner's data together); others it copies together itself, from memory.
bool interleaved() {
  GLsizei stride = arrays[VERTEX].stride;
  size_t bytes = 0;
  for (const client_array& a : arrays) {
    if (!a.enabled) continue;
    if (a.stride != stride) return false;
    bytes += type_bytes(a.type) * static_cast<size_t>(a.size);
  }
  return stride > 0 && bytes <= static_cast<size_t>(stride);
}

}  // namespace

void glEnableClientState(GLenum kind) {
  if (client_array* a = array_of(kind)) a->enabled = true;
  emscripten_glEnableClientState(kind);
}

void glDisableClientState(GLenum kind) {
  if (client_array* a = array_of(kind)) a->enabled = false;
  emscripten_glDisableClientState(kind);
}

void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  arrays[VERTEX] = {arrays[VERTEX].enabled, size, type, stride,
                    static_cast<const unsigned char*>(pointer)};
  emscripten_glVertexPointer(size, type, stride, pointer);
}

void glNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
  arrays[NORMAL] = {arrays[NORMAL].enabled, 3, type, stride,
                    static_cast<const unsigned char*>(pointer)};
  emscripten_glNormalPointer(type, stride, pointer);
}

void glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  arrays[COLOUR] = {arrays[COLOUR].enabled, size, type, stride,
                    static_cast<const unsigned char*>(pointer)};
  emscripten_glColorPointer(size, type, stride, pointer);
}

void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  arrays[TEXTURE] = {arrays[TEXTURE].enabled, size, type, stride,
                     static_cast<const unsigned char*>(pointer)};
  emscripten_glTexCoordPointer(size, type, stride, pointer);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  if (!arrays[VERTEX].enabled || count <= 0 || first < 0 || !interleaved()) {
    emscripten_glDrawArrays(mode, first, count);
    return;
  }
  // The span every enabled array reads for these corners.
  const unsigned char* low = nullptr;
  const unsigned char* high = nullptr;
  for (const client_array& a : arrays) {
    if (!a.enabled) continue;
    size_t element = type_bytes(a.type) * static_cast<size_t>(a.size);
    size_t stride = static_cast<size_t>(a.stride);
    const unsigned char* start = a.pointer + stride * static_cast<size_t>(first);
    const unsigned char* end = start + stride * static_cast<size_t>(count - 1) + element;
    if (low == nullptr || start < low) low = start;
    if (high == nullptr || end > high) high = end;
  }
  buffer_for(low, static_cast<size_t>(high - low));
  // Offsets into the buffer, which holds the span from its first corner on.
  for (int which = 0; which < ARRAYS; which++) {
    const client_array& a = arrays[which];
    size_t skipped = static_cast<size_t>(a.stride) * static_cast<size_t>(first);
    if (a.enabled) {
      point(which, reinterpret_cast<const unsigned char*>(
                       static_cast<uintptr_t>(a.pointer + skipped - low)));
    }
  }
  emscripten_glDrawArrays(mode, 0, count);
  emscripten_glBindBuffer(GL_ARRAY_BUFFER, 0);
  for (int which = 0; which < ARRAYS; which++) {
    if (arrays[which].enabled) point(which, arrays[which].pointer);
  }
}
