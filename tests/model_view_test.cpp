// The view of a user's own model, against the recording stand-in: what a frame
// draws from a file of two objects, the fit, where textures are looked for and what
// is said about them, and the click that reads the model again.
#include <GL/glut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/scene_setup.h"
#include "app/view_mode.h"
#include "bmp_texture_files.h"
#include "capture_stdout.h"
#include "chunk_writer.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "open_descriptors.h"
#include "same_output.h"
#include "scene/die_motion.h"
#include "temp_dir.h"
#include "view/model_view.h"
#include "view/texture_lookup.h"
#include "view/view_mesh.h"

namespace {

struct object_spec {
  const char* name;
  std::vector<view_point> vertices;
  std::vector<view_face> faces;
  std::vector<view_uv> mapping;
  const char* material;  // nullptr: no face group
};

// 4D4D > 3D3D > materials (name, texture map), then objects (4000 > 4100 > lists).
std::string model_file(const std::vector<std::pair<std::string, std::string>>& materials,
                       const std::vector<object_spec>& objects) {
  chunk_writer w;
  begin_chunk(w, 0x4d4d);
  begin_chunk(w, 0x3d3d);
  for (const auto& material : materials) {
    begin_chunk(w, 0xafff);
    begin_chunk(w, 0xa000);
    put_text(w, material.first);
    end_chunk(w);
    begin_chunk(w, 0xa200);
    begin_chunk(w, 0xa300);
    put_text(w, material.second);
    end_chunk(w);
    end_chunk(w);
    end_chunk(w);
  }
  for (const object_spec& object : objects) {
    begin_chunk(w, 0x4000);
    put_text(w, object.name);
    begin_chunk(w, 0x4100);
    begin_chunk(w, 0x4110);
    put_u16(w, static_cast<uint16_t>(object.vertices.size()));
    for (const view_point& p : object.vertices) {
      put_f32(w, p.x);
      put_f32(w, p.y);
      put_f32(w, p.z);
    }
    end_chunk(w);
    begin_chunk(w, 0x4120);
    put_u16(w, static_cast<uint16_t>(object.faces.size()));
    for (const view_face& f : object.faces) {
      for (uint16_t corner : {f.a, f.b, f.c, uint16_t{7}})
        put_u16(w, corner);
    }
    if (object.material != nullptr) {
      begin_chunk(w, 0x4130);
      put_text(w, object.material);
      put_u16(w, static_cast<uint16_t>(object.faces.size()));
      for (size_t i = 0; i < object.faces.size(); i++)
        put_u16(w, static_cast<uint16_t>(i));
      end_chunk(w);
    }
    end_chunk(w);
    if (!object.mapping.empty()) {
      begin_chunk(w, 0x4140);
      put_u16(w, static_cast<uint16_t>(object.mapping.size()));
      for (const view_uv& uv : object.mapping) {
        put_f32(w, uv.u);
        put_f32(w, uv.v);
      }
      end_chunk(w);
    }
    end_chunk(w);
    end_chunk(w);
  }
  end_chunk(w);
  end_chunk(w);
  return w.bytes;
}

class model_view : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    clear_gl_calls();
  }
  void TearDown() override { remove_tree(dir); }

  static void put_die_at_rest() {
    capture_stdout([] {
      while (!die_at_rest())
        move_die();
    });
  }

  std::string load(const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    write_file(path, bytes);
    return capture_stderr([&] { load_model_view(path.c_str()); });
  }

  std::string dir;
};

// What a draw reads for a corner: texture coordinates when textured, its shade, its place.
std::vector<float> corner(const view_uv* uv, float grey, view_point at) {
  std::vector<float> read = {grey, grey, grey, 255, at.x, at.y, at.z};
  if (uv != nullptr) read.insert(read.begin(), {uv->u, uv->v});
  return read;
}

// Object "lid" wears the textured material and maps its corners; "box" has no
// mapping. Each indexes its own vertices from 0.
TEST_F(model_view, every_object_is_drawn_fitted_shaded_and_textured_from_its_own_lists) {
  write_file(dir + "/wood.bmp", make_bmp({}, bmp_pixel_rows(4, 4)));
  long descriptors = open_descriptors();
  std::string said = load("two.3ds", model_file({{"oak", "C:\\MAPS\\WOOD.BMP"}},
                                                {{"lid",
                                                  {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}},
                                                  {{0, 1, 2}},
                                                  {{0, 0}, {1, 0}, {0, 1}},
                                                  "oak"},
                                                 {"box",
                                                  {{9, 9, 9}, {0, 0, 5}, {10, 0, 5}, {10, 10, 5}},
                                                  {{1, 2, 3}, {1, 3, 3}, {1, 2, 4}},
                                                  {},
                                                  "oak"}}));
  // The box's vertex 0 is no face's, and still sizes the model: z runs to 9.
  EXPECT_EQ(open_descriptors(), descriptors);
  EXPECT_SAME_OUTPUT(said,
                     "dice: viewing two.3ds: 2 objects, 7 vertices, 3 faces (1 more left out: a "
                     "corner missing or not finite), size 10 x 10 x 9\n"
                     "dice: texture C:\\MAPS\\WOOD.BMP: used, wood.bmp (4 x 4)\n");
  ASSERT_EQ(gl_calls_named("glGenTextures"), (std::vector<gl_call>{{"glGenTextures", {1}}}));
  EXPECT_EQ(gl_calls_named("gluBuild2DMipmaps").at(0),
            (gl_call{"gluBuild2DMipmaps", {GL_TEXTURE_2D, 3, 4, 4, GL_RGB, GL_UNSIGNED_BYTE}}));

  clear_gl_calls();
  capture_stdout(draw_view_frame);

  const double s = 20.0 / 10;  // fitted about (5, 5, 4.5)
  auto at = [&](float x, float y, float z) {
    return view_point{static_cast<float>((x - 5) * s), static_cast<float>((y - 5) * s),
                      static_cast<float>((z - 4.5) * s)};
  };
  // Every face here faces the camera square (the stand-in's model-view is the identity).
  const view_uv uv[3] = {{0, 0}, {1, 0}, {0, 1}};
  std::vector<float> box = {}, lid = {};
  for (auto c : {corner(nullptr, 255, at(0, 0, 5)), corner(nullptr, 255, at(10, 0, 5)),
                 corner(nullptr, 255, at(10, 10, 5))})
    box.insert(box.end(), c.begin(), c.end());
  for (auto c : {corner(&uv[0], 255, at(0, 0, 0)), corner(&uv[1], 255, at(10, 0, 0)),
                 corner(&uv[2], 255, at(0, 10, 0))})
    lid.insert(lid.end(), c.begin(), c.end());
  std::vector<gl_call> draws = gl_calls_named("glDrawArrays");
  ASSERT_EQ(draws.size(), 2u);
  // The box's second face repeats a corner: it is drawn, with no area, as if square.
  EXPECT_EQ(draws[0], (gl_call{"glDrawArrays", {GL_TRIANGLES, 0, 6}}));
  EXPECT_EQ(std::vector<float>(draws[0].arrays.begin(), draws[0].arrays.begin() + 21), box);
  EXPECT_EQ(draws[1], (gl_call{"glDrawArrays", {GL_TRIANGLES, 0, 3}}));
  EXPECT_EQ(draws[1].arrays, lid);

  // From the texture environment on: each batch's texture, then the die's state again.
  std::vector<gl_call> calls = recorded_gl_calls();
  auto from = std::find_if(calls.begin(), calls.end(),
                           [](const gl_call& c) { return c.name == "glGetTexEnviv"; });
  std::vector<gl_call> pointers = {{"glColorPointer", {4, GL_UNSIGNED_BYTE, 24}},
                                   {"glVertexPointer", {3, GL_FLOAT, 24}}};
  std::vector<gl_call> expected = {
      {"glGetTexEnviv", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE}},
      {"glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}},
      {"glEnableClientState", {GL_COLOR_ARRAY}},
      {"glEnableClientState", {GL_VERTEX_ARRAY}},
      {"glDisable", {GL_TEXTURE_2D}}};
  expected.insert(expected.end(), pointers.begin(), pointers.end());
  expected.push_back(draws[0]);
  for (gl_call textured : std::vector<gl_call>{{"glEnable", {GL_TEXTURE_2D}},
                                               {"glBindTexture", {GL_TEXTURE_2D, 1}},
                                               {"glEnableClientState", {GL_TEXTURE_COORD_ARRAY}},
                                               {"glTexCoordPointer", {2, GL_FLOAT, 24}}})
    expected.push_back(textured);
  expected.insert(expected.end(), pointers.begin(), pointers.end());
  expected.push_back(draws[1]);
  for (gl_call undo :
       std::vector<gl_call>{{"glDisableClientState", {GL_TEXTURE_COORD_ARRAY}},
                            {"glDisableClientState", {GL_VERTEX_ARRAY}},
                            {"glDisableClientState", {GL_COLOR_ARRAY}},
                            {"glColor4ub", {255, 255, 255, 255}},
                            {"glEnable", {GL_TEXTURE_2D}},
                            {"glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}},
                            {"glFlush", {}},
                            {"glutSwapBuffers", {}}})
    expected.push_back(undo);
  EXPECT_EQ(std::vector<gl_call>(from, calls.end()), expected);

  // A new read lets go of the old textures.
  clear_gl_calls();
  load("two.3ds", model_file({}, {}));
  EXPECT_EQ(gl_calls_named("glDeleteTextures"),
            (std::vector<gl_call>{{"glDeleteTextures", {1, 1}}}));
}

// At rest the model comes forward by the clock, not by frames, to the middle of the
// window at 70% of its smaller side, after a resize too; back, as far as the die's.
TEST_F(model_view, at_rest_it_comes_forward_in_a_second_to_the_middle_framed) {
  load("flat.3ds",
       model_file({}, {{"tri", {{0, 0, 0}, {10, 5, 0}, {0, 5, 0}}, {{0, 1, 2}}, {}, nullptr}}));
  put_die_at_rest();
  auto centre_at = [](int ms) {  // the model's centre in the frame drawn then, eye space
    set_glut_elapsed_time(ms);
    clear_gl_calls();
    capture_stdout(draw_view_frame);
    std::vector<double> at(3, 0);
    for (const gl_call& move : gl_calls_named("glTranslatef"))
      for (size_t i = 0; i < 3; i++)
        at[i] += move.args[i];
    return at;
  };
  start_model_view_at_die();
  EXPECT_EQ(centre_at(1000), (std::vector<double>{339, -240.75, -660}));
  std::vector<double> once = centre_at(1400);
  start_model_view_at_die();
  for (int ms = 1000; ms < 1400; ms += 10)
    centre_at(ms);
  EXPECT_EQ(centre_at(1400), once);
  EXPECT_TRUE(0 < once[0] && once[0] < 339);
  for (int height : {480, 640}) {  // its fitted 20 units over 336 pixels, in the middle
    size_model_view(1120 - height, height);
    std::vector<double> at = centre_at(2000);
    EXPECT_NEAR(std::hypot(at[0], at[1]), 0, 1e-3);
    EXPECT_NEAR(height / 2 / std::tan(std::atan(1) / 2) * 20 / -at[2], 336, 0.5);
  }
  size_model_view(640, 480);
  std::vector<double> landscape = centre_at(2000);
  size_model_view(640, 0);  // no height, as when minimised: framed as for any landscape
  EXPECT_EQ(centre_at(2000), landscape);
  zoom_model_view(-30);
  EXPECT_NEAR(centre_at(2000)[2], -660, 1e-3);
  put_model_view_back();

  // Seen end on, a rod framed by its size would reach past the near plane (10): its
  // front end, 10 before its centre, stops a unit short of it.
  load("rod.3ds",
       model_file({}, {{"rod", {{0, 0, 0}, {0.1f, 0, 0}, {0, 0, 10}}, {{0, 1, 2}}, {}, nullptr}}));
  EXPECT_NEAR(centre_at(3000)[2], -21, 1e-3);
}

TEST_F(model_view, textures_not_used_are_named_with_the_reason_and_faces_drawn_untextured) {
  std::filesystem::create_directory(dir + "/in");
  write_file(dir + "/in/photo.bmp", "\x89PNG\r\n\x1a\n and more");
  write_file(dir + "/in/ba.bmp", "BA and more");  // not BMPs by one byte
  write_file(dir + "/in/am.bmp", "AM and more");
  bmp_fields palette;
  palette.bpp = 8;
  write_file(dir + "/in/Grey.BMP", make_bmp(palette, std::string(64, '\0')));
  write_file(dir + "/outside.bmp", make_bmp({}, bmp_pixel_rows(4, 4)));
  std::string said = load(
      "in/m.3ds",
      model_file(
          {{"a", "../outside.bmp"},
           {"b", "photo.bmp"},
           {"c", "/maps/grey.bmp"},
           {"d", "C:\\MAPS\\"},
           {"e", "ba.bmp"},
           {"f", "am.bmp"},
           {"g", "\x1f \x7f~.bmp"},
           {"h", ""}},
          {{"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0, 0}, {1, 0}, {0, 1}}, "c"},
           {"lid",
            {{-2, -1, -3}, {1, 3, 5}, {0, 0, 0}},
            {{0, 1, 2}},
            {{0, 0}, {1, 0}, {0, 1}},
            "h"}}));
  EXPECT_SAME_OUTPUT(said,
                     "dice: viewing m.3ds: 2 objects, 6 vertices, 2 faces, size 3 x 4 x 8\n"
                     "dice: texture ../outside.bmp: not used, no file outside.bmp beside "
                     "the model\n"
                     "dice: texture photo.bmp: not used, " +
                         dir + "/in/photo.bmp is not a BMP file\n" +
                         "dice: texture /maps/grey.bmp: not used, Bpp from " + dir +
                         "/in/Grey.BMP is not 24: 8\n"
                         "dice: texture C:\\MAPS\\: not used, it names no file\n"
                         "dice: texture ba.bmp: not used, " +
                         dir + "/in/ba.bmp is not a BMP file\n" +
                         "dice: texture am.bmp: not used, " + dir +
                         "/in/am.bmp is not a BMP file\n" +
                         "dice: texture ? ?~.bmp: not used, no file ? ?~.bmp beside the model\n");
  EXPECT_TRUE(gl_calls_named("glGenTextures").empty());
  capture_stdout(draw_view_frame);
  EXPECT_TRUE(gl_calls_named("glBindTexture").empty());
  EXPECT_EQ(gl_calls_named("glDrawArrays"),
            (std::vector<gl_call>{{"glDrawArrays", {GL_TRIANGLES, 0, 6}}}));
}

TEST(texture_lookup, only_the_last_part_of_the_name_counts_and_case_does_not) {
  EXPECT_EQ(texture_file_name("C:\\maps\\Wood.BMP"), "Wood.BMP");
  EXPECT_EQ(texture_file_name("../../etc/passwd"), "passwd");
  EXPECT_EQ(texture_file_name("/etc/x.bmp"), "x.bmp");
  EXPECT_EQ(texture_file_name("D:x.bmp"), "x.bmp");
  EXPECT_EQ(texture_file_name(".."), "");
  EXPECT_EQ(texture_file_name("maps/"), "");

  std::string dir = make_temp_dir();
  write_file(dir + "/WOOD.bmp", "");
  EXPECT_EQ(find_file_beside(dir, "wood.BMP"), dir + "/WOOD.bmp");
  write_file(dir + "/wood.BMP", "");
  write_file(dir + "/Wood.bmp", "");
  EXPECT_EQ(find_file_beside(dir, "wood.BMP"), dir + "/wood.BMP");  // its own spelling first
  EXPECT_EQ(find_file_beside(dir, "wOOD.bmp"), dir + "/WOOD.bmp");  // else the first in order
  EXPECT_EQ(find_file_beside(dir, "wood"), "");
  EXPECT_EQ(find_file_beside(dir, "hood.bmp"), "");  // the first letter counts too
  write_file(dir + "/AZ.bmp", "");                   // the alphabet's ends, on either side
  write_file(dir + "/za.bmp", "");
  EXPECT_EQ(find_file_beside(dir, "az.bmp"), dir + "/AZ.bmp");
  EXPECT_EQ(find_file_beside(dir, "ZA.bmp"), dir + "/za.bmp");

  // A link in another folder, relative to its own: the textures lie beside its target.
  std::filesystem::create_directories(dir + "/launch");
  std::filesystem::create_symlink("../models/m.3ds", dir + "/launch/cube.3ds");
  model_place place = find_model_place(dir + "/launch/cube.3ds");
  EXPECT_EQ(place.folder, dir + "/launch/../models");
  EXPECT_EQ(place.name, "m.3ds");
  remove_tree(dir);
}

TEST(view_fit, box_of_finite_vertices_to_the_die_side_and_no_division_by_nothing) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  view_model model;
  model.objects.resize(2);
  model.objects[0].vertices = {{-3, 1, 2}, {nan, 100, 100}, {1, 2, 2}};
  model.objects[1].vertices = {{1, -1, 2}, {inf, 0, 0}};
  view_box box = measure_view_model(model);
  ASSERT_FALSE(box.empty);
  EXPECT_EQ(std::vector<double>(box.low, box.low + 3), (std::vector<double>{-3, -1, 2}));
  EXPECT_EQ(std::vector<double>(box.high, box.high + 3), (std::vector<double>{1, 2, 2}));
  view_fit flat = fit_view_box(box);  // no depth: fitted by its largest side, 4
  EXPECT_EQ(std::vector<double>(flat.centre, flat.centre + 3), (std::vector<double>{-1, 0.5, 2}));
  EXPECT_EQ(flat.scale, 5.0);

  // Wholly below zero across and wholly above it up: no corner is the box's start.
  model.objects[0].vertices = {{-5, 3, -1}, {-4, 2, 1}};
  model.objects[1].vertices = {};
  box = measure_view_model(model);
  EXPECT_EQ(std::vector<double>(box.low, box.low + 3), (std::vector<double>{-5, 2, -1}));
  EXPECT_EQ(std::vector<double>(box.high, box.high + 3), (std::vector<double>{-4, 3, 1}));

  model.objects[0].vertices = {{7, 7, 7}, {7, 7, 7.5}};  // half a unit long: 40 times
  EXPECT_EQ(fit_view_box(measure_view_model(model)).scale, 40.0);
  model.objects[0].vertices = {{7, 7, 7}, {7, 7, 7}};
  model.objects[1].vertices = {{nan, nan, nan}};
  view_fit point = fit_view_box(measure_view_model(model));
  EXPECT_EQ(std::vector<double>(point.centre, point.centre + 3), (std::vector<double>{7, 7, 7}));
  EXPECT_EQ(point.scale, 1.0);
  model.objects.clear();
  EXPECT_TRUE(measure_view_model(model).empty);
  view_fit none = fit_view_box(measure_view_model(model));
  EXPECT_EQ(std::vector<double>(none.centre, none.centre + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(none.scale, 1.0);
}

std::string batches_of(const view_mesh& mesh) {  // texture first+count; ...
  std::string batches;
  for (const view_batch& b : mesh.batches)
    batches += std::to_string(b.texture) + " " + std::to_string(b.first) + "+" +
               std::to_string(b.count) + "; ";
  return batches;
}

// Each corner alone one past the vertices leaves its face out, and one past the
// mapping leaves it untextured. Vertex k lies at (k % 2, k / 2) before the fit's
// shift by (1, 2), and is mapped at (k % 2, k / 2).
TEST(view_mesh, each_corner_is_checked_against_the_vertices_and_the_mapping) {
  view_object object;
  object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  object.mapping = {{0, 0}, {1, 0}, {0, 1}};
  object.faces = {{4, 1, 2}, {0, 4, 2}, {0, 1, 4}, {3, 1, 2}, {0, 3, 2}, {0, 1, 3}, {0, 1, 2}};
  object.groups = {{"oak", {0, 1, 2, 3, 4, 5, 6}}};
  view_model model = {{object}, {{"oak", "oak.bmp"}}};
  view_mesh mesh = build_view_mesh(model, {{-1, -2, 0}, 1}, {0});
  EXPECT_EQ(mesh.faces_left_out, 3u);
  std::vector<float> vertices, uvs;
  for (const view_corner& c : mesh.corners) {
    vertices.push_back(c.x - 1 + 2 * (c.y - 2));
    uvs.push_back(c.u + 2 * c.v);
  }
  EXPECT_EQ(batches_of(mesh), "-1 0+9; 0 9+3; ");
  EXPECT_EQ(vertices, (std::vector<float>{3, 1, 2, 0, 3, 2, 0, 1, 3, 0, 1, 2}));
  EXPECT_EQ(uvs, (std::vector<float>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2}));
}

// A face wears the material its last group names, the first of the file's of that name;
// a group naming no material, or a face the object lacks, counts for nothing, and a
// material past the textures given has none. Draws hold 87,381 corners at most.
TEST(view_mesh, faces_wear_the_first_material_of_the_name_their_last_group_gives) {
  view_object object;
  object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  object.mapping = {{0, 0}, {1, 0}, {0, 1}};
  object.faces.assign(5, view_face{0, 1, 2});
  object.groups = {{"ash", {1, 3, 5}}, {"oak", {0}}, {"yew", {3}}, {"fir", {2}}};
  view_model model = {{object}, {{"oak", "o"}, {"ash", "a"}, {"oak", "x"}, {"fir", "f"}}};
  view_mesh mesh = build_view_mesh(model, {{0, 0, 0}, 1}, {0, 1, 2});
  EXPECT_EQ(batches_of(mesh), "-1 0+6; 0 6+3; 1 9+6; ");  // faces 2 and 4: none
  model.objects[0].faces.assign(29128, view_face{0, 1, 2});
  model.objects[0].vertices = {{0, 0, 0}, {3, -4, 2}, {6, 2, -3}};
  mesh = build_view_mesh(model, {{0, 0, 0}, 1e308}, {});
  EXPECT_EQ(batches_of(mesh), "-1 0+87381; -1 87381+3; ");
  const view_point& n = mesh.normals.back();  // past a double's range: the z axis
  EXPECT_EQ(std::vector<float>({n.x, n.y, n.z}), std::vector<float>({0, 0, 1}));
}

// The walker on bytes held in a buffer of their own size, so that a read past them is seen.
view_model read_exactly(const std::string& file) {
  std::vector<unsigned char> bytes(file.begin(), file.end());
  return read_view_model(bytes.data(), bytes.size());
}

// A name whose terminator is missing runs to the end of its chunk, here the bytes' end.
TEST(view_reader, a_name_without_its_terminator_ends_with_its_chunk) {
  auto ending_with = [](std::vector<uint16_t> chunks, const std::string& name) {
    chunk_writer w;
    for (uint16_t id : chunks)
      begin_chunk(w, id);
    w.bytes += name;
    for (size_t i = 0; i < chunks.size(); i++)
      end_chunk(w);
    return read_exactly(w.bytes);
  };
  view_model material = ending_with({0x3d3d, 0xafff, 0xa000}, "O");
  view_model texture = ending_with({0x4d4d, 0x3d3d, 0xafff, 0xa200, 0xa300}, "WOOD.BMP");
  ASSERT_EQ(material.materials.size(), 1u);
  EXPECT_EQ(material.materials[0].name, "O");
  ASSERT_EQ(texture.materials.size(), 1u);
  EXPECT_EQ(texture.materials[0].texture_map, "WOOD.BMP");
  // Followed by a sibling, of an id read as "AA", it still ends with its own chunk.
  chunk_writer w;
  for (uint16_t id : {0x3d3d, 0xafff, 0xa000})
    begin_chunk(w, id);
  w.bytes += "O";
  end_chunk(w);
  begin_chunk(w, 0x4141);
  for (int level = 0; level < 3; level++)
    end_chunk(w);
  EXPECT_EQ(read_exactly(w.bytes).materials.at(0).name, "O");
  // An object whose name runs to its end has no room for a mesh: nothing is kept.
  EXPECT_TRUE(ending_with({0x3d3d, 0x4000}, "lid").objects.empty());
}

// Lists that claim one entry more than their chunk holds keep its whole entries (enough
// of them that one byte less an entry would make one more), a face group's too; a list
// too short for its count is empty, an empty mesh is still an object, and a header too
// short to move on, or cut short, ends its level.
TEST(view_reader, lists_keep_the_whole_entries_their_chunk_holds) {
  chunk_writer w;
  auto claiming_one_more = [&w](uint16_t id, size_t entries, size_t entry_bytes) {
    begin_chunk(w, id);
    put_u16(w, static_cast<uint16_t>(entries + 1));
    w.bytes.append(entries * entry_bytes, '\x01');
    end_chunk(w);
  };
  auto object = [&w](const char* name) {
    begin_chunk(w, 0x4000);
    put_text(w, name);
    begin_chunk(w, 0x4100);
  };
  begin_chunk(w, 0x3d3d);
  object("lid");
  claiming_one_more(0x4110, 11, 12);
  claiming_one_more(0x4140, 7, 8);
  claiming_one_more(0x4120, 7, 8);
  end_chunk(w);
  end_chunk(w);
  object("box");
  begin_chunk(w, 0x4110);
  w.bytes += '\x01';
  end_chunk(w);
  begin_chunk(w, 0x4120);
  put_u16(w, 0);
  begin_chunk(w, 0x4130);
  put_text(w, "oak");
  for (uint16_t word : {3, 2, 1})
    put_u16(w, word);
  for (int level = 0; level < 4; level++)
    end_chunk(w);
  object("cap");
  end_chunk(w);
  end_chunk(w);
  put_header(w, 0x4000, 5);
  end_chunk(w);
  w.bytes.append(5, '\0');
  view_model model = read_exactly(w.bytes);
  ASSERT_EQ(model.objects.size(), 3u);
  const view_object &lid = model.objects[0], &box = model.objects[1];
  EXPECT_EQ(std::vector<size_t>({lid.vertices.size(), lid.mapping.size(), lid.faces.size()}),
            std::vector<size_t>({11, 7, 7}));
  EXPECT_TRUE(box.vertices.empty());
  ASSERT_EQ(box.groups.size(), 1u);
  EXPECT_EQ(box.groups[0].faces, (std::vector<uint16_t>{2, 1}));
  EXPECT_EQ(model.objects[2].name, "cap");
}

// Lit from the camera on either side: a face turned away is as lit as one facing it.
TEST(view_shade, faces_shade_by_how_squarely_they_face_the_camera_from_either_side) {
  view_mesh mesh = {std::vector<view_corner>(6), {{1, 0, 0}, {0, 0, 1}}, {}, 0};
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const float quarter[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};  // about y
  auto greys = [&](const float* modelview) {
    shade_view_mesh(&mesh, modelview);
    std::vector<int> seen;
    for (const view_corner& c : mesh.corners)
      seen.push_back(c.rgba[0] == c.rgba[1] && c.rgba[1] == c.rgba[2] ? c.rgba[0] : -1);
    return seen;
  };
  // Edge-on keeps the ambient quarter: 255 / 4, rounded.
  EXPECT_EQ(greys(identity), (std::vector<int>{64, 64, 64, 255, 255, 255}));
  EXPECT_EQ(greys(quarter), (std::vector<int>{255, 255, 255, 64, 64, 64}));
}

// A click reads the model again once, on release; a drag turns it, at rest only.
TEST_F(model_view, click_reads_again_on_release_and_a_drag_turns_without_reading) {
  std::string path = dir + "/cube.3ds";
  write_file(
      path, model_file({}, {{"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, nullptr}}));
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  put_die_at_rest();
  std::string dump;
  capture_stderr([&] { dump = capture_stdout([] { read_3ds_mesh(&die_mesh, MODEL_FILE); }); });

  std::string press = capture_stdout([] { on_view_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10); });
  std::string release;
  std::string said_again = capture_stderr(
      [&] { release = capture_stdout([] { on_view_mouse(GLUT_LEFT_BUTTON, GLUT_UP, 12, 13); }); });
  EXPECT_EQ(press, "");
  EXPECT_SAME_OUTPUT(release, dump);
  EXPECT_SAME_OUTPUT(said_again,
                     "dice: viewing cube.3ds: 1 object, 3 vertices, 1 face, size 1 x 1 x 0\n");

  auto turn = [] {
    clear_gl_calls();
    capture_stdout(draw_view_frame);
    return gl_calls_named("glMultMatrixf").at(0).args;
  };
  std::vector<double> still = turn();
  std::string dragged = capture_stdout([] {
    on_view_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
    on_view_motion(370, 10);  // 360 pixels: half a turn about the vertical
    on_view_mouse(GLUT_LEFT_BUTTON, GLUT_UP, 370, 10);
  });
  EXPECT_EQ(dragged, "");
  std::vector<double> half = turn();
  EXPECT_EQ(still, (std::vector<double>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
  EXPECT_NEAR(half[0], -1, 1e-6);
  EXPECT_NEAR(half[10], -1, 1e-6);
  EXPECT_NEAR(half[5], 1, 1e-6);

  // A press that moves 4 pixels across or down is still a click; 5 make a drag. A
  // release without its press is no click.
  auto said_in = [](const std::function<void()>& act) {
    std::string said;
    capture_stdout([&] { said = capture_stderr(act); });
    return said;
  };
  auto released_at = [&](int x, int y) {
    return said_in([=] {
      on_view_mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
      on_view_motion(x, y);
      on_view_mouse(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
    });
  };
  EXPECT_EQ(released_at(14, 10), said_again);
  EXPECT_EQ(said_in([] { on_view_mouse(GLUT_LEFT_BUTTON, GLUT_UP, 14, 10); }), "");
  EXPECT_EQ(released_at(10, 14), said_again);
  EXPECT_EQ(released_at(15, 10), "");
  EXPECT_EQ(released_at(10, 15), "");

  on_view_key('r', 0, 0);
  EXPECT_EQ(turn(), still);

  die_x = 0;  // travelling: the hand does nothing, and nothing of it is drawn
  on_view_special_key(GLUT_KEY_LEFT, 0, 0);
  clear_gl_calls();
  capture_stdout(draw_view_frame);
  EXPECT_TRUE(gl_calls_named("glMultMatrixf").empty());
  die_x = 339.0;
  EXPECT_EQ(turn(), still);
  EXPECT_EQ(chdir(here), 0);
}

// Shades are made again whenever the model-view's row they hang on changes, any one of
// its three numbers alone. Faces square to x (a sliver), y and z, one facing (2, 3, 6)
// / 7, and one with no area, which is shaded as if square to z.
TEST_F(model_view, shades_follow_each_number_of_the_row_of_the_model_view_they_use) {
  load(
      "xyz.3ds",
      model_file(
          {}, {{"xyz",
                {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0.01f}, {3, -4, 1}, {6, 2, -3}},
                {{0, 1, 4}, {0, 2, 3}, {0, 3, 1}, {0, 5, 6}, {0, 0, 1}},
                {},
                nullptr}}));
  EXPECT_EQ(model_view_faces(), 5u);
  auto greys_with = [](int at, float value) {
    clear_gl_calls();
    float modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (at >= 0) modelview[at] = value;
    give_gl_modelview(modelview);
    capture_stdout(draw_view_frame);
    std::vector<float> drawn = gl_calls_named("glDrawArrays").at(0).arrays, greys;
    for (size_t corner = 0; corner < drawn.size(); corner += 21)
      greys.push_back(drawn[corner]);
    return greys;
  };
  const std::vector<float> unturned = {64, 64, 255, 228, 255};
  EXPECT_EQ(greys_with(-1, 0), unturned);
  EXPECT_EQ(greys_with(2, -1), (std::vector<float>{255, 64, 255, 173, 255}));
  EXPECT_EQ(greys_with(-1, 0), unturned);
  EXPECT_EQ(greys_with(6, 1), (std::vector<float>{64, 255, 255, 255, 255}));
  EXPECT_EQ(greys_with(-1, 0), unturned);
  EXPECT_EQ(greys_with(10, 0.25f), (std::vector<float>{64, 64, 112, 105, 112}));
  EXPECT_EQ(greys_with(-1, 0), unturned);
}

// At rest each arrow turns the model 5 degrees about the screen's axes.
TEST_F(model_view, the_hand_turns_by_the_arrows_and_zooms_within_its_limits) {
  put_die_at_rest();
  auto drawn = [](const char* name) {
    clear_gl_calls();
    capture_stdout(draw_view_frame);
    std::vector<double> args = gl_calls_named(name).back().args;
    for (double& a : args)
      a = std::round(a * 1e6) / 1e6 + 0.0;  // a quarter turn's cosine, 6e-17, is 0
    return args;
  };
  auto press = [](int key, int times) {
    for (int i = 0; i < times; i++)
      on_view_special_key(key, 0, 0);
  };
  const std::vector<double> unturned = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  press(GLUT_KEY_RIGHT, 18);  // the front goes right
  EXPECT_EQ(drawn("glMultMatrixf"),
            (std::vector<double>{0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
  press(GLUT_KEY_LEFT, 18);
  EXPECT_EQ(drawn("glMultMatrixf"), unturned);
  press(GLUT_KEY_DOWN, 18);  // the front goes down
  EXPECT_EQ(drawn("glMultMatrixf"),
            (std::vector<double>{1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}));
  press(GLUT_KEY_UP, 18);
  EXPECT_EQ(drawn("glMultMatrixf"), unturned);

  // The wheel (GLUT's buttons 3 and 4, on the press), + or = and - step 1.25 times
  // nearer or back from framed: nearer until no corner could meet the near plane (10
  // before the eye; the flat triangle's farthest corner is 125^0.5 from its centre),
  // back to the die's distance. R frames it again.
  load("flat.3ds",
       model_file({}, {{"tri", {{0, 0, 0}, {10, 5, 0}, {0, 5, 0}}, {{0, 1, 2}}, {}, nullptr}}));
  auto distance = [] {  // eye to the model's centre
    clear_gl_calls();
    capture_stdout(draw_view_frame);
    double z = 0;
    for (const gl_call& move : gl_calls_named("glTranslatef"))
      z += move.args[2];
    return -z;
  };
  auto wheel = [](int button, int times) {
    for (int i = 0; i < times; i++) {
      on_view_mouse(button, GLUT_DOWN, 0, 0);
      on_view_mouse(button, GLUT_UP, 0, 0);
    }
  };
  set_glut_elapsed_time(0);
  start_model_view_at_die();
  EXPECT_NEAR(distance(), 660, 1e-3);
  set_glut_elapsed_time(500);  // half way in time, eased: half way in scale
  const double half_way = distance();
  set_glut_elapsed_time(1000);
  const double framed = distance();
  EXPECT_NEAR(half_way, std::sqrt(660 * framed), 1e-3);
  wheel(4, 1);
  EXPECT_NEAR(distance(), framed * 1.25, 1e-3);
  on_view_key('+', 0, 0);
  on_view_key('=', 0, 0);
  EXPECT_NEAR(distance(), framed / 1.25, 1e-3);
  on_view_mouse(3, GLUT_DOWN, 0, 0);  // the press moves it, the release does not
  EXPECT_NEAR(distance(), framed / 1.25 / 1.25, 1e-3);
  on_view_mouse(3, GLUT_UP, 0, 0);
  EXPECT_NEAR(distance(), framed / 1.25 / 1.25, 1e-3);
  wheel(3, 20);
  EXPECT_NEAR(distance(), 10 + std::sqrt(125), 1e-3);
  on_view_key('-', 0, 0);
  EXPECT_NEAR(distance(), framed / 1.25 / 1.25, 1e-3);
  for (int i = 0; i < 30; i++)
    on_view_key('-', 0, 0);
  EXPECT_NEAR(distance(), 660, 1e-3);
  on_view_key('R', 0, 0);
  EXPECT_NEAR(distance(), framed, 1e-3);
  size_model_view(10, 1000);  // so narrow that it is framed at the die's distance
  wheel(3, 20);
  EXPECT_NEAR(distance(), 660 / std::pow(1.25, 12), 1e-3);  // 12 steps at most
  size_model_view(640, 480);
  put_model_view_back();
}

}  // namespace
