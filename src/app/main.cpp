// Entry point: one window, four callbacks, one set-up, then GLUT's loop.
#include <GL/glut.h>

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#include "app/scene_setup.h"
#include "scene/draw_frame.h"

#if defined(__GLIBC__) && !defined(DICE_GLIBC_MALLOC_DEFAULTS)
#include <malloc.h>

// Mesa's software renderer allocates and frees about 1 MB every frame; by
// default glibc returns that to the kernel each time, and with a large mesh the
// page faults that follow take a good part of each frame. Keep freed memory
// (up to 64 MB) and serve such blocks from the heap, not from mmap. Both
// thresholds are set, since setting one fixes the other at its default.
static void keep_freed_memory() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's maximum on 64-bit
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}
#else
static void keep_freed_memory() {}
#endif

int main(int argc, char** argv) {
  keep_freed_memory();
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(window_width, window_height);
  glutInitWindowPosition(0, 0);
  glutCreateWindow("3d DICE model");
  glutMouseFunc(on_mouse);
  glutDisplayFunc(draw_frame);
  glutIdleFunc(draw_frame);
  glutReshapeFunc(on_reshape);
  scene_setup();
  glutMainLoop();
  return 0;
}
