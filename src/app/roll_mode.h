// Roll mode's callbacks and start: the die with its pips (die.bmp, through the
// program's loader), thrown to faces drawn at random. The space bar or Enter rolls
// again; a left press reads the mesh again, as in the die's own mode, and leaves the
// throw where it is.
#ifndef APP_ROLL_MODE_H
#define APP_ROLL_MODE_H

#include <cstdint>

constexpr const char* ROLL_TEXTURE_FILE = "die.bmp";  // read from the working directory

void start_roll_mode(int count, uint64_t seed);  // after the set-up: callbacks, texture, roll
void on_roll_mouse(int button, int state, int x, int y);
void on_roll_key(unsigned char key, int x, int y);

#endif  // APP_ROLL_MODE_H
