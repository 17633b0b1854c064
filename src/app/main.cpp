// Entry point: the program's own options, one window, four callbacks, one set-up,
// then GLUT's loop. With --view, viewing mode's callbacks, and the model read for it;
// with --roll, roll mode's, after the set-up has read the die.
#include <GL/glut.h>

#include "app/malloc_tuning.h"
#include "app/options.h"
#include "app/roll_mode.h"
#include "app/scene_setup.h"
#include "app/view_mode.h"
#include "roll/roll_chooser.h"
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
  } else if (options.roll == 0) {
    glutMouseFunc(on_mouse);
    glutDisplayFunc(draw_frame);
    glutIdleFunc(draw_frame);
  }
  glutReshapeFunc(on_reshape);
  scene_setup();
  if (options.view) load_model_view(MODEL_FILE);
  if (options.roll != 0) {
    start_roll_mode(options.roll, options.seeded ? options.seed : seed_from_system());
  } else {
#ifdef DICE_DIE_TEXTURE
    load_die_texture(DICE_DIE_TEXTURE);  // here only: a left press re-runs just the set-up
#endif
  }
  glutMainLoop();
  return 0;
}
