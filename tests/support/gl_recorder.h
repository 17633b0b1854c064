// A recording stand-in for the GL, GLU and GLUT entry points the program calls.
// Test binaries link it in place of the real libraries: every call is appended
// to a log with its arguments, and the texture uploads read every byte that
// OpenGL would read (unpack alignment 4), so an upload past its buffer shows
// under AddressSanitizer and the uploaded bytes can be checked.
#ifndef TESTS_SUPPORT_GL_RECORDER_H
#define TESTS_SUPPORT_GL_RECORDER_H

#include <ostream>
#include <string>
#include <vector>

struct gl_call {
  std::string name;
  std::vector<double> args;                // numbers as received, widened exactly to double
  const void* callback = nullptr;          // the function handed to a GLUT registration
  std::vector<unsigned char> pixels = {};  // bytes an upload read; not compared by ==
  // What a draw read from its enabled arrays, corner by corner: texture coordinates,
  // colour, normal, position (each when enabled); not compared by ==.
  std::vector<float> arrays = {};
};

bool operator==(const gl_call& left, const gl_call& right);
void PrintTo(const gl_call& call, std::ostream* out);

std::vector<gl_call>& recorded_gl_calls();
void clear_gl_calls();

// What glutGet(GLUT_ELAPSED_TIME) returns from now on, in milliseconds; 0 at first.
void set_glut_elapsed_time(int milliseconds);

// What glGetFloatv answers for GL_MODELVIEW_MATRIX until the next clear_gl_calls,
// which makes it the identity again.
void give_gl_modelview(const float matrix[16]);

// Calls named `name`, in order.
std::vector<gl_call> gl_calls_named(const std::string& name);

template <typename Function>
const void* callback_address(Function* function) {
  return reinterpret_cast<const void*>(function);
}

#endif  // TESTS_SUPPORT_GL_RECORDER_H
