// What the page asks of the program besides GLUT's events: which mode draws the model
// in cube.3ds, and the view's own controls, for the buttons and the pinch. Exported to
// the page's script as Module._dice_view_mode and so on. Browser build only.
#include <emscripten.h>

#include "app/view_mode.h"
#include "view/model_view.h"

// 1: cube.3ds is the visitor's own model, to view; 0: the die's way of drawing.
extern "C" EMSCRIPTEN_KEEPALIVE void dice_view_mode(int viewing) {
  if (viewing) {
    choose_view_mode();
  } else {
    choose_die_mode();
  }
}

extern "C" EMSCRIPTEN_KEEPALIVE void dice_put_back() {
  put_model_view_back();
}

extern "C" EMSCRIPTEN_KEEPALIVE void dice_zoom(int steps) {
  zoom_model_view(steps);
}
