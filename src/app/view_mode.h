// The mouse, keys and callbacks of viewing mode, and the switch between it and the
// die's own. Viewing a user's model, a left click reads it again on release, since a
// press may start a drag; at rest a left drag or the arrow keys turn the model, the
// wheel or + and - bring it nearer or take it back, and r frames it again.
#ifndef APP_VIEW_MODE_H
#define APP_VIEW_MODE_H

void choose_view_mode();  // viewing mode's callbacks (not the reshape's); the model
                          // comes forward from the die's place once at rest
void choose_die_mode();   // the die's: on_mouse and draw_frame, as at start-up
void read_view_again();   // the set-up (the account), then the model for the view

void on_view_mouse(int button, int state, int x, int y);
void on_view_motion(int x, int y);
void on_view_key(unsigned char key, int x, int y);
void on_view_special_key(int key, int x, int y);

#endif  // APP_VIEW_MODE_H
