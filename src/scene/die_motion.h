// The throw: a fixed path of five straight segments (fall, bounce, fall,
// smaller bounce, final fall), one step every 50 frames, with the die tumbling
// about three axes every frame until it rests, unrotated, at the path's end.
// Each path step prints the die's new position to stdout. Everything is counted
// in frames, so the throw's speed follows the frame rate.
#ifndef SCENE_DIE_MOTION_H
#define SCENE_DIE_MOTION_H

#include <cstdint>

extern double die_x, die_y, die_z;                     // model-view units, after the camera offset
extern double drift_x;                                 // abscissa driving segments 3 to 5
extern double seg1_y, seg2_y, seg3_y, seg4_y, seg5_y;  // each segment's stored height
extern int32_t frame_counter;                          // 0 ... 49; a path step when 0
extern double tumble_x, tumble_y, tumble_z;            // degrees
extern double tumble_step_x, tumble_step_y, tumble_step_z;  // degrees per tumbling frame

void move_die();                               // one frame: path step, counter, placement
bool die_at_rest();                            // at the path's end: placed, no longer tumbled
void step_throw_path();                        // runs the first segment still active
void place_die(double x, double y, double z);  // translate, then tumble
void tumble_die();                             // advance, wrap and apply the three angles
void restart_throw();                          // back to the first step, untumbled

#endif  // SCENE_DIE_MOTION_H
