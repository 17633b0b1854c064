#include "roll/die_faces.h"

#include <cmath>
#include <cstring>

static void subtract(const mesh_vertex& a, const mesh_vertex& b, double out[3]) {
  out[0] = static_cast<double>(a.x) - b.x;
  out[1] = static_cast<double>(a.y) - b.y;
  out[2] = static_cast<double>(a.z) - b.z;
}

static void cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

static double dot(const double a[3], const double b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

static bool normalise(double v[3]) {
  double length = std::sqrt(dot(v, v));
  if (!(length > 0) || !std::isfinite(length)) return false;
  for (int k = 0; k < 3; k++)
    v[k] /= length;
  return true;
}

int atlas_number(double u, double v) {
  if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) return 0;  // NaN too
  int column = static_cast<int>(u * ATLAS_COLUMNS), row = static_cast<int>(v * ATLAS_ROWS);
  return row * ATLAS_COLUMNS + column + 1;
}

void find_die_faces(const mesh_object& mesh, die_faces* faces) {
  memset(faces, 0, sizeof *faces);
  double normals[7][3] = {}, ups[7][3] = {};
  for (int32_t i = 0; i < mesh.polygon_count; i++) {
    const mesh_face& face = mesh.polygons[i];
    if (face.a >= mesh.vertex_count || face.b >= mesh.vertex_count || face.c >= mesh.vertex_count)
      continue;  // drawn by no frame either
    const mesh_uv &ta = mesh.mapping[face.a], &tb = mesh.mapping[face.b],
                  &tc = mesh.mapping[face.c];
    int number = atlas_number((static_cast<double>(ta.u) + tb.u + tc.u) / 3,
                              (static_cast<double>(ta.v) + tb.v + tc.v) / 3);
    if (number == 0) continue;
    double edge1[3], edge2[3], normal[3];
    subtract(mesh.vertices[face.b], mesh.vertices[face.a], edge1);
    subtract(mesh.vertices[face.c], mesh.vertices[face.a], edge2);
    cross(edge1, edge2, normal);  // counter-clockwise seen from outside; as long as twice the area
    // Where v grows across the triangle: the solution of dp = du * tangent + dv * up
    // for both edges, scaled by the mapping's determinant (its sign kept).
    double du1 = static_cast<double>(tb.u) - ta.u, dv1 = static_cast<double>(tb.v) - ta.v;
    double du2 = static_cast<double>(tc.u) - ta.u, dv2 = static_cast<double>(tc.v) - ta.v;
    double determinant = du1 * dv2 - du2 * dv1;
    if (!std::isfinite(determinant) || determinant == 0) continue;
    double sign = determinant > 0 ? 1 : -1;
    for (int k = 0; k < 3; k++) {
      normals[number][k] += normal[k];
      ups[number][k] += sign * (du1 * edge2[k] - du2 * edge1[k]) / std::fabs(determinant) *
                        std::sqrt(dot(normal, normal));
    }
  }
  for (int number = 1; number <= 6; number++) {
    face_frame& frame = faces->numbers[number];
    memcpy(frame.normal, normals[number], sizeof frame.normal);
    memcpy(frame.up, ups[number], sizeof frame.up);
    if (!normalise(frame.normal)) continue;
    double along = dot(frame.up, frame.normal);
    for (int k = 0; k < 3; k++)
      frame.up[k] -= along * frame.normal[k];
    frame.found = normalise(frame.up);
  }
}

void face_turn(const die_faces& faces, int number, int quarter_turns, float matrix[16]) {
  // Rows right, up, normal take the face's frame to the viewer's x, y and z.
  double rows[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  if (number >= 1 && number <= 6 && faces.numbers[number].found) {
    const face_frame& frame = faces.numbers[number];
    cross(frame.up, frame.normal, rows[0]);
    memcpy(rows[1], frame.up, sizeof rows[1]);
    memcpy(rows[2], frame.normal, sizeof rows[2]);
  }
  const int cosines[4] = {1, 0, -1, 0}, sines[4] = {0, 1, 0, -1};
  int c = cosines[quarter_turns & 3], s = sines[quarter_turns & 3];
  memset(matrix, 0, 16 * sizeof(float));
  for (int column = 0; column < 3; column++) {
    matrix[column * 4 + 0] = static_cast<float>(c * rows[0][column] - s * rows[1][column]);
    matrix[column * 4 + 1] = static_cast<float>(s * rows[0][column] + c * rows[1][column]);
    matrix[column * 4 + 2] = static_cast<float>(rows[2][column]);
  }
  matrix[15] = 1;
}
