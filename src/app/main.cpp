// Entry point: the program's own options, one window, four callbacks, one set-up,
// then GLUT's loop. With --view, viewing mode's callbacks, and the model read for it.
#include <GL/glut.h>

#include "app/malloc_tuning.h"
#include "app/options.h"
#include "app/scene_setup.h"
#include "app/view_mode.h"
#include "scene/draw_frame.h"
#include "view/model_view.h"

int main(int argc, char** argv) {
  keep_freed_memory();
  program_options options;
  if (!take_program_options(&argc, argv, &options)) return 2;
  if (options.help) {
    print_usage();
    return 0;
  }
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(window_width, window_height);
  glutInitWindowPosition(0, 0);
  glutCreateWindow("3d DICE model");
  if (options.view) {
    choose_view_mode();
  } else {
    glutMouseFunc(on_mouse);
    glutDisplayFunc(draw_frame);
    glutIdleFunc(draw_frame);
  }
  glutReshapeFunc(on_reshape);
  scene_setup();
  if (options.view) load_model_view(MODEL_FILE);
#ifdef DICE_DIE_TEXTURE
  load_die_texture(DICE_DIE_TEXTURE);  // here only: a left press re-runs just the set-up
#endif
  glutMainLoop();
  return 0;
}
