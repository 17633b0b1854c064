// The application shell: fixed GL state and projection, model loading, and the
// reshape and mouse callbacks. scene_setup prints one line when "cube.3ds"
// cannot be opened; everything else it prints comes from the mesh reader.
// load_die_texture likewise names a texture file it cannot open.
#ifndef APP_SCENE_SETUP_H
#define APP_SCENE_SETUP_H

#include <cstdint>

constexpr const char* MODEL_FILE = "cube.3ds";  // read from the working directory

extern int32_t window_width;   // client area, pixels; 640 until the first reshape
extern int32_t window_height;  // 480 until the first reshape

void scene_setup();                       // GL state, projection, reads cube.3ds
void load_die_texture(const char* path);  // into die_mesh.texture_id; needs a GL context
void on_reshape(int width, int height);   // GLUT reshape callback
void on_mouse(int button, int state, int x,
              int y);  // GLUT mouse callback: left press re-runs setup

#endif  // APP_SCENE_SETUP_H
