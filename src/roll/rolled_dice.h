// The dice of roll mode: one generator, seeded once, whose next draws decide each
// roll; the dice drawn side by side on the die's path, each turned so that the face
// drawn for it lies towards the viewer at rest. Each roll is said in one line on
// stderr, from left to right:
//   dice: rolled 5 (seed 8841026633)
//   dice: rolled 3 dice: 2 + 6 + 5 = 13 (seed 8841026633, roll 2)
// The path is the one die's, stepped and printed by the throw's own module: the
// rightmost die follows it exactly, the others lie further left by whole spacings,
// all with its tumble, and each turned before it.
#ifndef ROLL_ROLLED_DICE_H
#define ROLL_ROLLED_DICE_H

#include <cstdint>

#include "roll/roll_chooser.h"

constexpr double DICE_SPACING = 36.0;  // between neighbours' centres; the die is 20 wide

void begin_rolls(int count, uint64_t seed);  // the generator seeded; count 1 ... MAX_DICE
void roll_again();                           // the next draws, the throw restarted, one line
void find_rolled_faces();                    // from die_mesh, after each read of it
void draw_roll_frame();                      // GLUT display and idle callback
int rolled_count();                          // dice in the last roll
const rolled_die* last_roll();               // left to right
uint64_t rolls_seed();                       // the seed begin_rolls was given

#endif  // ROLL_ROLLED_DICE_H
