// Entry point: one window, four callbacks, one set-up, then GLUT's loop.
#include <GL/glut.h>

#include "app/malloc_tuning.h"
#include "app/scene_setup.h"
#include "scene/draw_frame.h"

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
