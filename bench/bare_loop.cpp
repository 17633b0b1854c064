// The fastest loop a program can run in the die's window on this renderer: its
// display and idle callback only clear colour and depth and swap. The frame-rate
// benchmark measures the die against it.
//
// Prints the renderer's name on stderr once, then a line "\n<count>\t<frame>" on
// stdout, flushed, on the first frame and every 50th after it, as the throw prints
// its path lines, so both are counted alike. Runs until killed.
#include <GL/glut.h>

#include <cstdint>
#include <cstdio>

static const int32_t FRAMES_PER_LINE = 50;

static int32_t frames_drawn = 0;
static int32_t lines_printed = 0;

static void print_frame_line() {
  lines_printed += 1;
  printf("\n%d\t%d", lines_printed, frames_drawn);
  fflush(stdout);  // the benchmark times each line as it arrives on the pipe
}

static void draw_bare_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (frames_drawn % FRAMES_PER_LINE == 0) print_frame_line();
  frames_drawn += 1;
  glutSwapBuffers();
}

static void print_renderer() {
  const GLubyte* renderer = glGetString(GL_RENDERER);
  const GLubyte* version = glGetString(GL_VERSION);
  fprintf(stderr, "GL_RENDERER: %s\nGL_VERSION: %s\n",
          renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "(none)",
          version != nullptr ? reinterpret_cast<const char*>(version) : "(none)");
}

int main(int argc, char** argv) {
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(640, 480);
  glutInitWindowPosition(0, 0);
  glutCreateWindow("bare loop");
  print_renderer();
  glutDisplayFunc(draw_bare_frame);
  glutIdleFunc(draw_bare_frame);
  glutMainLoop();
  return 0;
}
