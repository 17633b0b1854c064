#include "scene/draw_frame.h"

#include <GL/glut.h>

#include "model/mesh_3ds.h"
#include "scene/die_motion.h"

// A face whose corner lies past the vertices read would draw from stale or
// never-written entries; such a face is left out.
static bool face_in_range(const mesh_face& face, int32_t vertex_count) {
  return face.a < vertex_count && face.b < vertex_count && face.c < vertex_count;
}

static void emit_corner(const mesh_object& mesh, int32_t k) {
  glTexCoord2f(mesh.mapping[k].u, mesh.mapping[k].v);
  glVertex3f(mesh.vertices[k].x, mesh.vertices[k].y, mesh.vertices[k].z);
}

void draw_die_mesh() {
  glBindTexture(GL_TEXTURE_2D, die_mesh.texture_id);
  glBegin(GL_TRIANGLES);
  for (int32_t i = 0; i < die_mesh.polygon_count; i++) {
    const mesh_face& face = die_mesh.polygons[i];
    if (!face_in_range(face, die_mesh.vertex_count)) continue;
    emit_corner(die_mesh, face.a);
    emit_corner(die_mesh, face.b);
    emit_corner(die_mesh, face.c);
  }
  glEnd();
}

void draw_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -300);
  move_die();
  draw_die_mesh();
  glFlush();
  glutSwapBuffers();
}
