// Entry point: one window, four callbacks, one set-up, then GLUT's loop.
#include <GL/glut.h>

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#include "app/scene_setup.h"
#include "scene/draw_frame.h"

#if defined(__GLIBC__) && !defined(DICE_GLIBC_MALLOC_DEFAULTS)
#include <malloc.h>

// Mesa's software renderer allocates and frees close to 1 MB every frame with
// a large mesh; by default glibc hands it back to the kernel each time, and the
// page faults that follow take a good part of each frame. Keep freed heap memory
// (up to 64 MB), and serve blocks up to 256 kB from the heap rather than mmap.
// Larger blocks are still mapped on their own: on the heap, the renderer's
// 512 kB aligned blocks fragment it, and resident memory creeps up as the
// window is clicked. Setting either threshold stops glibc from moving both, so
// both are set.
static void keep_freed_memory() {
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
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
#ifdef DICE_DIE_TEXTURE
  load_die_texture(DICE_DIE_TEXTURE);  // here only: a left press re-runs just the set-up
#endif
  glutMainLoop();
  return 0;
}
