// Where each number lies on the die: worked out from the mesh's own triangles and
// mapping, and the atlas's layout (die.bmp: three columns by two rows of cells,
// number 1 at the bottom left, counting along the bottom row, then the top row; each
// cell's pips upright with v pointing up). A triangle belongs to the number whose cell
// holds the middle of its mapping; its outward normal says where that face points,
// and the direction in which v grows says which way is up on it.
//
// face_turn gives the turn that brings a number's face towards the viewer (+z),
// upright (+y), then turned a number of quarter turns counter-clockwise about the
// viewing axis, as a column-major matrix for glMultMatrixf. A number the mesh maps no
// triangle to is left where it lies, and only the quarter turns apply.
#ifndef ROLL_DIE_FACES_H
#define ROLL_DIE_FACES_H

#include "model/mesh_3ds.h"

constexpr int ATLAS_COLUMNS = 3, ATLAS_ROWS = 2;

struct face_frame {
  bool found;        // some triangle of the mesh maps into this number's cell
  double normal[3];  // outward, unit length
  double up[3];      // unit length, across the normal
};

struct die_faces {
  face_frame numbers[7];  // [1] ... [6]; [0] unused
};

int atlas_number(double u, double v);                            // 1 ... 6; 0 outside the atlas
void find_die_faces(const mesh_object& mesh, die_faces* faces);  // from the mesh as read
void face_turn(const die_faces& faces, int number, int quarter_turns, float matrix[16]);

#endif  // ROLL_DIE_FACES_H
