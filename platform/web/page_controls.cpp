// What the page asks of the program besides GLUT's events: which mode draws the model
// in cube.3ds, the view's own controls, for the buttons and the pinch, and roll mode
// for the Roll button and a roll's address. Exported to the page's script as
// Module._dice_view_mode and so on. Browser build only.
#include <emscripten.h>

#include <cinttypes>
#include <cstdio>

#include "app/roll_mode.h"
#include "app/view_mode.h"
#include "roll/rolled_dice.h"
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

// A roll as `dice --roll COUNT --seed SEED` throws it, read by the command line's own
// parsers: 0 when thrown, 1 when the count is refused, 2 when the seed is. The die's
// mode first, so that no callback of the view's is left behind roll mode's.
extern "C" EMSCRIPTEN_KEEPALIVE int dice_roll(const char* count_text, const char* seed_text) {
  int count = 0;
  uint64_t seed = 0;
  if (!parse_dice_count(count_text, &count)) return 1;
  if (!parse_seed(seed_text, &seed)) return 2;
  choose_die_mode();
  start_roll_mode(count, seed);
  return 0;
}

// The roll shown, for the page's words: its dice, each one's face from the left, and
// its seed in decimal (a 64-bit number is more than the page's numbers hold exactly).
extern "C" EMSCRIPTEN_KEEPALIVE int dice_rolled_count() {
  return rolled_count();
}

extern "C" EMSCRIPTEN_KEEPALIVE int dice_rolled_face(int die) {
  return die >= 0 && die < rolled_count() ? last_roll()[die].face : 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* dice_rolled_seed() {
  static char text[24];
  snprintf(text, sizeof text, "%" PRIu64, rolls_seed());
  return text;
}
