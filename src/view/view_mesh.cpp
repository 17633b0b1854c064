#include "view/view_mesh.h"

#include <cmath>

static bool is_finite(const view_point& point) {
  return std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z);
}

view_box measure_view_model(const view_model& model) {
  view_box box = {true, {0, 0, 0}, {0, 0, 0}};
  for (const view_object& object : model.objects) {
    for (const view_point& point : object.vertices) {
      if (!is_finite(point)) continue;
      const double at[3] = {point.x, point.y, point.z};
      for (int i = 0; i < 3; i++) {
        if (box.empty || at[i] < box.low[i]) box.low[i] = at[i];
        if (box.empty || at[i] > box.high[i]) box.high[i] = at[i];
      }
      box.empty = false;
    }
  }
  return box;
}

view_fit fit_view_box(const view_box& box) {
  view_fit fit = {{0, 0, 0}, 1.0};
  if (box.empty) return fit;
  double side = 0;
  for (int i = 0; i < 3; i++) {
    fit.centre[i] = (box.low[i] + box.high[i]) / 2;  // doubles: float extremes cannot overflow
    if (box.high[i] - box.low[i] > side) side = box.high[i] - box.low[i];
  }
  if (side > 0) fit.scale = VIEW_SIDE / side;  // a single point keeps its size: none
  return fit;
}

// The material each face wears, -1 for none: the last group that names a face wins,
// and a group naming no material of the file, or a face the object lacks, counts for nothing.
static std::vector<int32_t> face_materials(const view_object& object, const view_model& model) {
  std::vector<int32_t> worn(object.faces.size(), -1);
  for (const view_face_group& group : object.groups) {
    int32_t material = -1;
    for (size_t m = 0; m < model.materials.size() && material < 0; m++) {
      if (model.materials[m].name == group.material) material = static_cast<int32_t>(m);
    }
    if (material < 0) continue;
    for (uint16_t face : group.faces) {
      if (face < worn.size()) worn[face] = material;
    }
  }
  return worn;
}

static bool face_drawable(const view_object& object, const view_face& face) {
  size_t count = object.vertices.size();
  return face.a < count && face.b < count && face.c < count && is_finite(object.vertices[face.a]) &&
         is_finite(object.vertices[face.b]) && is_finite(object.vertices[face.c]);
}

static bool face_mapped(const view_object& object, const view_face& face) {
  size_t count = object.mapping.size();
  return face.a < count && face.b < count && face.c < count;
}

// Positions fitted in double, then the face's unit normal from them; a face with no
// area gets the z axis, which only its edge would show.
static void put_face(const view_object& object, const view_face& face, const view_fit& fit,
                     bool mapped, view_corner* out, view_point* normal) {
  const uint16_t corner[3] = {face.a, face.b, face.c};
  double at[3][3];
  for (int k = 0; k < 3; k++) {
    const view_point& point = object.vertices[corner[k]];
    at[k][0] = (point.x - fit.centre[0]) * fit.scale;
    at[k][1] = (point.y - fit.centre[1]) * fit.scale;
    at[k][2] = (point.z - fit.centre[2]) * fit.scale;
  }
  double e1[3], e2[3];
  for (int i = 0; i < 3; i++) {
    e1[i] = at[1][i] - at[0][i];
    e2[i] = at[2][i] - at[0][i];
  }
  double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                 e1[0] * e2[1] - e1[1] * e2[0]};
  double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0 && std::isfinite(length)) {
    for (double& part : n)
      part /= length;
  } else {
    n[0] = n[1] = 0;
    n[2] = 1;
  }
  *normal = {static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
  for (int k = 0; k < 3; k++) {
    view_uv uv = mapped ? object.mapping[corner[k]] : view_uv{0, 0};
    out[k] = view_corner{uv.u,
                         uv.v,
                         {255, 255, 255, 255},
                         static_cast<float>(at[k][0]),
                         static_cast<float>(at[k][1]),
                         static_cast<float>(at[k][2])};
  }
}

// Faces are counted per texture first (slot 0 untextured, slot t + 1 texture t), so
// each texture's corners lie together and each is bound once a frame.
view_mesh build_view_mesh(const view_model& model, const view_fit& fit,
                          const std::vector<int32_t>& material_textures) {
  view_mesh mesh = {{}, {}, {}, 0};
  int32_t textures = 0;
  for (int32_t texture : material_textures) {
    if (texture + 1 > textures) textures = texture + 1;
  }
  std::vector<std::vector<int32_t>> slots(model.objects.size());
  std::vector<size_t> filled(static_cast<size_t>(textures) + 1, 0);
  for (size_t o = 0; o < model.objects.size(); o++) {
    const view_object& object = model.objects[o];
    std::vector<int32_t> worn = face_materials(object, model);
    slots[o].resize(object.faces.size(), -1);
    for (size_t f = 0; f < object.faces.size(); f++) {
      const view_face& face = object.faces[f];
      if (!face_drawable(object, face)) {
        mesh.faces_left_out++;
        continue;
      }
      int32_t texture = worn[f] >= 0 && static_cast<size_t>(worn[f]) < material_textures.size()
                            ? material_textures[static_cast<size_t>(worn[f])]
                            : -1;
      if (texture >= 0 && !face_mapped(object, face)) texture = -1;
      slots[o][f] = texture + 1;
      filled[static_cast<size_t>(texture + 1)] += 3;
    }
  }

  size_t total = 0;
  for (size_t& start : filled) {  // counts become starting corners
    size_t count = start;
    start = total;
    total += count;
  }
  std::vector<size_t> ends = filled;
  mesh.corners.resize(total);
  mesh.normals.resize(total / 3);
  for (size_t o = 0; o < model.objects.size(); o++) {
    const view_object& object = model.objects[o];
    for (size_t f = 0; f < object.faces.size(); f++) {
      int32_t slot = slots[o][f];
      if (slot < 0) continue;
      size_t& at = ends[static_cast<size_t>(slot)];
      put_face(object, object.faces[f], fit, slot > 0, &mesh.corners[at], &mesh.normals[at / 3]);
      at += 3;
    }
  }
  for (size_t slot = 0; slot < filled.size(); slot++) {
    for (size_t first = filled[slot]; first < ends[slot]; first += VIEW_BATCH_CORNERS) {
      size_t count =
          ends[slot] - first < VIEW_BATCH_CORNERS ? ends[slot] - first : VIEW_BATCH_CORNERS;
      mesh.batches.push_back({static_cast<int32_t>(slot) - 1, first, count});
    }
  }
  return mesh;
}

void shade_view_mesh(view_mesh* mesh, const float modelview[16]) {
  for (size_t f = 0; f < mesh->normals.size(); f++) {
    const view_point& n = mesh->normals[f];
    double toward_camera = modelview[2] * n.x + modelview[6] * n.y + modelview[10] * n.z;
    double light = VIEW_AMBIENT + (1 - VIEW_AMBIENT) * std::fmin(std::fabs(toward_camera), 1.0);
    auto grey = static_cast<unsigned char>(std::lround(255 * light));
    for (size_t k = 3 * f; k < 3 * f + 3; k++) {
      view_corner& corner = mesh->corners[k];
      corner.rgba[0] = corner.rgba[1] = corner.rgba[2] = grey;
    }
  }
}
