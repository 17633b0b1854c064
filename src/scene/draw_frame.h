// One frame of the scene: camera, the die's motion step, every triangle of
// die_mesh with its texture coordinates, then the swap. Prints nothing itself.
#ifndef SCENE_DRAW_FRAME_H
#define SCENE_DRAW_FRAME_H

void draw_frame();     // GLUT display and idle callback
void draw_die_mesh();  // die_mesh's texture bound, then every whole triangle; no matrix change

#endif  // SCENE_DRAW_FRAME_H
