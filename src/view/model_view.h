// The view of a user's own model: the whole model, fitted to the die's size and
// place, lit from the camera, textured where its textures lie beside it, and thrown
// exactly as the die is; once at rest it comes forward, framed in the middle of the
// window, and is turned and brought nearer or taken back by hand.
//
// load_model_view reads the file whole (it prints nothing on stdout: the die's reader
// gives the account) and says on stderr what it shows, each line starting "dice: ":
// one "viewing" line for the model, then one per texture a material names, used or
// not and why. draw_view_frame is the display and idle callback while viewing. The
// hand's turn and nearness change only while the die is at rest, and are drawn only
// then; a new model keeps them. Framed, the drawn model's larger side on screen is
// 70% of the window's smaller one, at any shape of window.
#ifndef VIEW_MODEL_VIEW_H
#define VIEW_MODEL_VIEW_H

#include <cstddef>

constexpr int VIEW_NEAREST = 12;  // zoom steps nearer than framed, each 1.25 times nearer

void load_model_view(const char* path);  // needs a GL context: textures are made here
void draw_view_frame();
void turn_model_view(double right_degrees, double down_degrees);  // about the screen's axes
void zoom_model_view(int steps);              // + nearer, - back, as far as the die's size
void put_model_view_back();                   // unturned, framed
void size_model_view(int width, int height);  // the window's, in pixels
void start_model_view_at_die();               // to come forward from the die's place once at rest
size_t model_view_faces();                    // faces drawn each frame

#endif  // VIEW_MODEL_VIEW_H
