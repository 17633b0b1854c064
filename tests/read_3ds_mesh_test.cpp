#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "capture_stdout.h"
#include "chunk_writer.h"
#include "failing_fstat.h"
#include "model/mesh_3ds.h"
#include "pipe_output.h"
#include "same_output.h"
#include "temp_dir.h"

// The reader's position calls go through here (linked with --wrap=ftell), so a
// test can make them fail; its file-status calls, through failing_fstat.
static bool fail_ftell = false;
extern "C" long __real_ftell(FILE* file);
extern "C" long __wrap_ftell(FILE* file) {
  if (fail_ftell) {
    errno = ESPIPE;  // as for a pipe
    return -1;
  }
  return __real_ftell(file);
}

namespace {

struct read_result {
  bool complete;
  std::string output;
};

class reader : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    mesh = std::make_unique<mesh_object>();
  }
  void TearDown() override {
    fail_fstat = false;
    fail_ftell = false;
    remove_tree(dir);
  }

  read_result read(const chunk_writer& file) { return read(file.bytes); }
  read_result read(const std::string& bytes) {
    std::string path = dir + "/model.3ds";
    write_file(path, bytes);
    read_result result{};
    result.output =
        capture_stdout([&] { result.complete = read_3ds_mesh(mesh.get(), path.c_str()); });
    return result;
  }

  std::string dir;
  std::unique_ptr<mesh_object> mesh;  // too large for the stack
};

void put_vertex_list(chunk_writer& w, std::initializer_list<mesh_vertex> vertices) {
  begin_chunk(w, 0x4110);
  put_u16(w, static_cast<uint16_t>(vertices.size()));
  for (const mesh_vertex& v : vertices) {
    put_f32(w, v.x);
    put_f32(w, v.y);
    put_f32(w, v.z);
  }
  end_chunk(w);
}

void put_faces(chunk_writer& w, std::initializer_list<mesh_face> faces) {
  put_u16(w, static_cast<uint16_t>(faces.size()));
  for (const mesh_face& f : faces) {
    put_u16(w, static_cast<uint16_t>(f.a));
    put_u16(w, static_cast<uint16_t>(f.b));
    put_u16(w, static_cast<uint16_t>(f.c));
    put_u16(w, 0x8007);
  }
}

void put_mapping_list(chunk_writer& w, std::initializer_list<mesh_uv> mapping) {
  begin_chunk(w, 0x4140);
  put_u16(w, static_cast<uint16_t>(mapping.size()));
  for (const mesh_uv& uv : mapping) {
    put_f32(w, uv.u);
    put_f32(w, uv.v);
  }
  end_chunk(w);
}

// main > editor > object "box" > mesh, with a face-material sub-chunk inside the
// face list as real files have it.
chunk_writer one_triangle_file() {
  chunk_writer w;
  begin_chunk(w, 0x4d4d);
  begin_chunk(w, 0x3d3d);
  begin_chunk(w, 0x4000);
  put_text(w, "box");
  begin_chunk(w, 0x4100);
  put_vertex_list(w, {{1, 2, 3}, {-1.5f, 0, 0.25f}, {0, 0, -10}});
  begin_chunk(w, 0x4120);
  put_faces(w, {{0, 1, 2}, {40000, 2, 1}});
  begin_chunk(w, 0x4130);
  put_text(w, "white");
  put_u16(w, 1);
  put_u16(w, 0);
  end_chunk(w);
  end_chunk(w);
  put_mapping_list(w, {{0, 0}, {1, 0}, {0.5f, 1}});
  end_chunk(w);
  end_chunk(w);
  end_chunk(w);
  end_chunk(w);
  return w;
}

TEST_F(reader, prints_every_header_count_and_value_in_file_order) {
  read_result result = read(one_triangle_file());

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(
      result.output,
      "ChunkID: 4d4d\nChunkLenght: 90\n"
      "ChunkID: 3d3d\nChunkLenght: 8a\n"
      "ChunkID: 4000\nChunkLenght: 84\n"
      "ChunkID: 4100\nChunkLenght: 7a\n"
      "ChunkID: 4110\nChunkLenght: 2c\n"
      "Number of vertices: 3\n"
      "Vertices list x: 1.000000\nVertices list y: 2.000000\nVertices list z: 3.000000\n"
      "Vertices list x: -1.500000\nVertices list y: 0.000000\nVertices list z: 0.250000\n"
      "Vertices list x: 0.000000\nVertices list y: 0.000000\nVertices list z: -10.000000\n"
      "ChunkID: 4120\nChunkLenght: 28\n"
      "Number of polygons: 2\n"
      "Polygon point a: 0\nPolygon point b: 1\nPolygon point c: 2\nFace flags: 8007\n"
      "Polygon point a: 40000\nPolygon point b: 2\nPolygon point c: 1\nFace flags: 8007\n"
      "ChunkID: 4130\nChunkLenght: 10\n"
      "ChunkID: 4140\nChunkLenght: 20\n"
      "Mapping list u: 0.000000\nMapping list v: 0.000000\n"
      "Mapping list u: 1.000000\nMapping list v: 0.000000\n"
      "Mapping list u: 0.500000\nMapping list v: 1.000000\n");
}

TEST_F(reader, fills_the_record_from_the_lists) {
  ASSERT_TRUE(read(one_triangle_file()).complete);

  EXPECT_STREQ(mesh->name, "box");
  EXPECT_EQ(mesh->vertex_count, 3);
  EXPECT_EQ(mesh->polygon_count, 2);
  EXPECT_EQ(mesh->vertices[1].x, -1.5f);
  EXPECT_EQ(mesh->vertices[2].z, -10.0f);
  EXPECT_EQ(mesh->polygons[0].a, 0);
  EXPECT_EQ(mesh->polygons[0].b, 1);
  EXPECT_EQ(mesh->polygons[0].c, 2);
  EXPECT_EQ(mesh->polygons[1].a, 40000);  // zero-extended, never negative
  EXPECT_EQ(mesh->mapping[2].u, 0.5f);
  EXPECT_EQ(mesh->mapping[2].v, 1.0f);
  EXPECT_EQ(mesh->texture_id, 0);
}

TEST_F(reader, second_object_with_shorter_lists_leaves_the_tail_of_the_first) {
  chunk_writer w;
  begin_chunk(w, 0x4d4d);
  for (int object = 0; object < 2; object++) {
    begin_chunk(w, 0x4000);
    put_text(w, object == 0 ? "first" : "second");
    begin_chunk(w, 0x4100);
    if (object == 0) {
      put_vertex_list(w, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}});
      begin_chunk(w, 0x4120);
      put_faces(w, {{0, 1, 2}, {1, 2, 3}});
      end_chunk(w);
      put_mapping_list(w, {{0.1f, 0.1f}, {0.2f, 0.2f}, {0.3f, 0.3f}, {0.4f, 0.4f}});
    } else {
      put_vertex_list(w, {{9, 9, 9}});
      begin_chunk(w, 0x4120);
      put_faces(w, {{0, 0, 0}});
      end_chunk(w);
      put_mapping_list(w, {{0.9f, 0.9f}});
    }
    end_chunk(w);
    end_chunk(w);
  }
  end_chunk(w);

  ASSERT_TRUE(read(w).complete);

  EXPECT_STREQ(mesh->name, "second");
  EXPECT_EQ(mesh->vertex_count, 1);
  EXPECT_EQ(mesh->polygon_count, 1);
  EXPECT_EQ(mesh->vertices[0].x, 9.0f);
  EXPECT_EQ(mesh->vertices[3].x, 4.0f);
  EXPECT_EQ(mesh->polygons[1].c, 3);
  EXPECT_EQ(mesh->mapping[0].u, 0.9f);
  EXPECT_EQ(mesh->mapping[3].v, 0.4f);
}

TEST_F(reader, object_names_are_cut_to_twenty_bytes_and_the_rest_is_passed_over) {
  struct name_case {
    std::string name;
    std::string stored;  // all 20 bytes of the record's name
  };
  const name_case cases[] = {
      {"abcdefghijklmnopqrs", std::string("abcdefghijklmnopqrs\0", 20)},
      {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
      {"abcdefghijklmnopqrstuvwxyz0123", "abcdefghijklmnopqrst"},
  };
  for (const name_case& c : cases) {
    SCOPED_TRACE(c.name);
    chunk_writer w;
    begin_chunk(w, 0x4000);
    put_text(w, c.name);
    begin_chunk(w, 0x4100);
    put_vertex_list(w, {{7, 8, 9}});
    end_chunk(w);
    end_chunk(w);
    memset(mesh->name, 'Z', sizeof mesh->name);

    read_result result = read(w);

    EXPECT_TRUE(result.complete);
    EXPECT_EQ(std::string(mesh->name, sizeof mesh->name), c.stored);
    char header[64];
    snprintf(header, sizeof header, "ChunkID: 4000\nChunkLenght: %x\n",
             static_cast<unsigned>(w.bytes.size()));
    EXPECT_SAME_OUTPUT(result.output, std::string(header) +
                                          "ChunkID: 4100\nChunkLenght: 1a\n"
                                          "ChunkID: 4110\nChunkLenght: 14\n"
                                          "Number of vertices: 1\n"
                                          "Vertices list x: 7.000000\nVertices list y: 8.000000\n"
                                          "Vertices list z: 9.000000\n");
  }
}

TEST_F(reader, skips_chunks_it_does_not_act_on_in_one_step) {
  chunk_writer w;
  begin_chunk(w, 0x4d4d);
  begin_chunk(w, 0x0002);  // version
  put_u32(w, 3);
  end_chunk(w);
  begin_chunk(w, 0x3d3d);
  begin_chunk(w, 0xafff);  // material block with a sub-chunk the walk must not enter
  begin_chunk(w, 0xa000);
  put_text(w, "white");
  end_chunk(w);
  end_chunk(w);
  end_chunk(w);
  begin_chunk(w, 0xb000);  // key-frame block
  put_u32(w, 0x41104110);
  end_chunk(w);
  end_chunk(w);

  read_result result = read(w);

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(result.output,
                     "ChunkID: 4d4d\nChunkLenght: 32\n"
                     "ChunkID: 2\nChunkLenght: a\n"
                     "ChunkID: 3d3d\nChunkLenght: 18\n"
                     "ChunkID: afff\nChunkLenght: 12\n"
                     "ChunkID: b000\nChunkLenght: a\n");
}

TEST_F(reader, file_without_mapping_list_leaves_mapping_zero) {
  chunk_writer w;
  begin_chunk(w, 0x4100);
  put_vertex_list(w, {{1, 2, 3}});
  begin_chunk(w, 0x4120);
  put_faces(w, {{0, 0, 0}});
  end_chunk(w);
  end_chunk(w);

  ASSERT_TRUE(read(w).complete);

  for (int k = 0; k < MESH_CAPACITY; k++) {
    ASSERT_EQ(mesh->mapping[k].u, 0.0f) << k;
    ASSERT_EQ(mesh->mapping[k].v, 0.0f) << k;
  }
}

TEST_F(reader, missing_file_is_silent_and_leaves_the_record_alone) {
  memset(mesh.get(), 0x5a, sizeof *mesh);
  auto before = std::make_unique<mesh_object>(*mesh);
  bool complete = true;

  std::string output =
      capture_stdout([&] { complete = read_3ds_mesh(mesh.get(), (dir + "/absent.3ds").c_str()); });

  EXPECT_FALSE(complete);
  EXPECT_SAME_OUTPUT(output, "");
  EXPECT_EQ(memcmp(mesh.get(), before.get(), sizeof *mesh), 0);
}

TEST_F(reader, unknown_chunk_running_past_the_end_ends_the_walk) {
  chunk_writer w;
  put_vertex_list(w, {{1, 1, 1}});
  put_header(w, 0x1234, 0x1000);
  put_header(w, 0x4110, 8);  // inside the skipped span: never read
  put_u16(w, 0);

  read_result result = read(w);

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(
      result.output,
      "ChunkID: 4110\nChunkLenght: 14\n"
      "Number of vertices: 1\n"
      "Vertices list x: 1.000000\nVertices list y: 1.000000\nVertices list z: 1.000000\n"
      "ChunkID: 1234\nChunkLenght: 1000\n");
}

std::string list_cut_dump(const char* count_line, const char* cut_line, int count,
                          const char* const* value_formats, int values_per_entry) {
  std::string dump;
  char line[96];
  if (count_line) {
    snprintf(line, sizeof line, count_line, count);
    dump += line;
  }
  dump += cut_line;
  for (int i = 0; i < count; i++) {
    for (int f = 0; f < values_per_entry; f++) {
      if (values_per_entry == 4 && f == 3) {
        dump += "Face flags: 8007\n";
      } else if (values_per_entry == 4) {
        snprintf(line, sizeof line, value_formats[f], (i + f) % 7000);
        dump += line;
      } else {
        snprintf(line, sizeof line, value_formats[f],
                 static_cast<double>(i * values_per_entry + f));
        dump += line;
      }
    }
  }
  return dump;
}

const char* const vertex_formats[] = {"Vertices list x: %f\n", "Vertices list y: %f\n",
                                      "Vertices list z: %f\n"};
const char* const face_formats[] = {"Polygon point a: %d\n", "Polygon point b: %d\n",
                                    "Polygon point c: %d\n"};
const char* const mapping_formats[] = {"Mapping list u: %f\n", "Mapping list v: %f\n"};

TEST_F(reader, list_of_exactly_the_record_capacity_is_kept_whole_without_a_cut_line) {
  chunk_writer w;
  begin_chunk(w, 0x4110);
  put_u16(w, MESH_CAPACITY);
  for (int i = 0; i < MESH_CAPACITY * 3; i++)
    put_f32(w, static_cast<float>(i));
  end_chunk(w);

  read_result result = read(w);

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(result.output, "ChunkID: 4110\nChunkLenght: 17708\n" +
                                        list_cut_dump("Number of vertices: %d\n", "", MESH_CAPACITY,
                                                      vertex_formats, 3));
  EXPECT_EQ(mesh->vertex_count, MESH_CAPACITY);
  EXPECT_EQ(mesh->vertices[MESH_CAPACITY - 1].z, static_cast<float>(3 * MESH_CAPACITY - 1));
}

// The lists come in the reverse of the record's order, so an entry kept past the
// end of one array would land on an array already filled.
TEST_F(reader, lists_longer_than_the_record_are_read_whole_and_cut_to_capacity) {
  const int count = MESH_CAPACITY + 2;
  chunk_writer w;
  begin_chunk(w, 0x4140);
  put_u16(w, count);
  for (int i = 0; i < count * 2; i++)
    put_f32(w, static_cast<float>(i));
  end_chunk(w);
  begin_chunk(w, 0x4120);
  put_u16(w, count);
  for (int i = 0; i < count; i++) {
    for (int corner = 0; corner < 3; corner++)
      put_u16(w, static_cast<uint16_t>((i + corner) % 7000));
    put_u16(w, 0x8007);
  }
  end_chunk(w);
  begin_chunk(w, 0x4110);
  put_u16(w, count);
  for (int i = 0; i < count * 3; i++)
    put_f32(w, static_cast<float>(i));
  end_chunk(w);
  put_header(w, 0x4100, 6);  // still in step after the long lists

  read_result result = read(w);

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(
      result.output,
      "ChunkID: 4140\nChunkLenght: fa18\n" +
          list_cut_dump(nullptr, "Mapping list cut: first 8000 of 8002 kept\n", count,
                        mapping_formats, 2) +
          "ChunkID: 4120\nChunkLenght: fa18\n" +
          list_cut_dump("Number of polygons: %d\n", "Polygons list cut: first 8000 of 8002 kept\n",
                        count, face_formats, 4) +
          "ChunkID: 4110\nChunkLenght: 17720\n" +
          list_cut_dump("Number of vertices: %d\n", "Vertices list cut: first 8000 of 8002 kept\n",
                        count, vertex_formats, 3) +
          "ChunkID: 4100\nChunkLenght: 6\n");
  EXPECT_EQ(mesh->vertex_count, MESH_CAPACITY);
  EXPECT_EQ(mesh->polygon_count, MESH_CAPACITY);
  EXPECT_EQ(mesh->vertices[MESH_CAPACITY - 1].z, static_cast<float>(3 * MESH_CAPACITY - 1));
  EXPECT_EQ(mesh->polygons[MESH_CAPACITY - 1].c, (MESH_CAPACITY + 1) % 7000);
  EXPECT_EQ(mesh->mapping[MESH_CAPACITY - 1].v, static_cast<float>(2 * MESH_CAPACITY - 1));
  EXPECT_EQ(mesh->polygons[0].a, 0);
  EXPECT_EQ(mesh->mapping[0].u, 0.0f);
  EXPECT_EQ(mesh->mapping[0].v, 1.0f);
  EXPECT_EQ(mesh->texture_id, 0);
}

TEST_F(reader, chunk_that_cannot_be_skipped_forward_stops_the_walk) {
  struct length_case {
    uint32_t length;
    const char* line;
  };
  const length_case cases[] = {
      {0, "ChunkID 1234 at offset 6 has length 0: cannot skip it\n"},
      {5, "ChunkID 1234 at offset 6 has length 5: cannot skip it\n"},
      {0x80000006u, "ChunkID 1234 at offset 6 has length 80000006: cannot skip it\n"},
      {0xffffffffu, "ChunkID 1234 at offset 6 has length ffffffff: cannot skip it\n"},
  };
  for (const length_case& c : cases) {
    SCOPED_TRACE(c.length);
    chunk_writer w;
    put_header(w, 0x4d4d, 40);
    put_header(w, 0x1234, c.length);
    put_header(w, 0x4100, 6);
    put_header(w, 0x4100, 6);

    read_result result = read(w);

    char header[64];
    snprintf(header, sizeof header, "ChunkID: 1234\nChunkLenght: %x\n", c.length);
    EXPECT_FALSE(result.complete);
    EXPECT_SAME_OUTPUT(result.output,
                       "ChunkID: 4d4d\nChunkLenght: 28\n" + std::string(header) + c.line);
  }
}

TEST_F(reader, shortest_and_largest_forward_skips_are_taken) {
  chunk_writer w;
  put_header(w, 0x0001, 6);            // a header and nothing else
  put_header(w, 0x1234, 0x80000005u);  // length - 6 is the largest signed 32-bit offset
  put_header(w, 0x4100, 6);

  read_result result = read(w);

  EXPECT_TRUE(result.complete);
  EXPECT_SAME_OUTPUT(result.output,
                     "ChunkID: 1\nChunkLenght: 6\nChunkID: 1234\nChunkLenght: 80000005\n");
}

TEST_F(reader, failing_file_status_or_position_ends_the_walk_at_once) {
  for (bool* failing : {&fail_fstat, &fail_ftell}) {
    SCOPED_TRACE(failing == &fail_fstat ? "fstat" : "ftell");
    *failing = true;

    read_result result = read(one_triangle_file());

    *failing = false;
    EXPECT_FALSE(result.complete);
    EXPECT_SAME_OUTPUT(result.output, failing == &fail_fstat
                                          ? "File size unknown: Input/output error\n"
                                          : "File size unknown: Illegal seek\n");
    EXPECT_EQ(mesh->vertex_count, 0);
  }
}

TEST_F(reader, stream_file_size_reports_failure_as_negative) {
  EXPECT_EQ(stream_file_size(-1), -1);
}

TEST_F(reader, file_ending_inside_a_list_keeps_only_whole_entries) {
  chunk_writer vertices;
  put_header(vertices, 0x4110, 44);
  put_u16(vertices, 3);
  for (float value : {1.0f, 2.0f, 3.0f, 4.0f})
    put_f32(vertices, value);
  vertices.bytes.append("\x01\x02", 2);  // half of a float

  read_result result = read(vertices);

  EXPECT_FALSE(result.complete);
  EXPECT_SAME_OUTPUT(
      result.output,
      "ChunkID: 4110\nChunkLenght: 2c\n"
      "Number of vertices: 3\n"
      "Vertices list x: 1.000000\nVertices list y: 2.000000\nVertices list z: 3.000000\n"
      "Vertices list x: 4.000000\n"
      "File ended early at offset 26\n");
  EXPECT_EQ(mesh->vertex_count, 1);
  EXPECT_EQ(mesh->vertices[1].x, 0.0f);

  chunk_writer faces;
  put_header(faces, 0x4120, 24);
  put_u16(faces, 2);
  for (uint16_t value : {0, 1, 2, 0x10, 3})
    put_u16(faces, value);

  result = read(faces);

  EXPECT_FALSE(result.complete);
  EXPECT_SAME_OUTPUT(result.output,
                     "ChunkID: 4120\nChunkLenght: 18\n"
                     "Number of polygons: 2\n"
                     "Polygon point a: 0\nPolygon point b: 1\nPolygon point c: 2\nFace flags: 10\n"
                     "Polygon point a: 3\n"
                     "File ended early at offset 18\n");
  EXPECT_EQ(mesh->polygon_count, 1);

  chunk_writer mapping;
  put_header(mapping, 0x4140, 24);
  put_u16(mapping, 2);
  for (float value : {0.25f, 0.75f, 0.5f})
    put_f32(mapping, value);

  result = read(mapping);

  EXPECT_FALSE(result.complete);
  EXPECT_SAME_OUTPUT(result.output,
                     "ChunkID: 4140\nChunkLenght: 18\n"
                     "Mapping list u: 0.250000\nMapping list v: 0.750000\n"
                     "Mapping list u: 0.500000\n"
                     "File ended early at offset 20\n");
  EXPECT_EQ(mesh->mapping[0].v, 0.75f);
  EXPECT_EQ(mesh->mapping[1].u, 0.0f);
}

TEST_F(reader, file_ending_inside_a_header_count_or_name_prints_nothing_unread) {
  struct cut_case {
    std::string bytes;
    const char* output;
  };
  const cut_case cases[] = {
      {std::string("\x4d", 1), "File ended early at offset 1\n"},
      {std::string("\x4d\x4d\x06\x00", 4), "ChunkID: 4d4d\nFile ended early at offset 4\n"},
      {std::string("\x10\x41\x08\x00\x00\x00\x01", 7),
       "ChunkID: 4110\nChunkLenght: 8\nFile ended early at offset 7\n"},
      {std::string("\x00\x40\x10\x00\x00\x00"
                   "abc",
                   9),
       "ChunkID: 4000\nChunkLenght: 10\nFile ended early at offset 9\n"},
      {std::string("\x00\x40\x20\x00\x00\x00"
                   "abcdefghijklmnopqrstuvw",
                   29),
       "ChunkID: 4000\nChunkLenght: 20\nFile ended early at offset 29\n"},
  };
  for (const cut_case& c : cases) {
    SCOPED_TRACE(c.output);
    read_result result = read(c.bytes);
    EXPECT_FALSE(result.complete);
    EXPECT_SAME_OUTPUT(result.output, c.output);
  }
}

TEST_F(reader, dump_reaches_a_pipe_before_the_reader_returns) {
  std::string whole = read(one_triangle_file()).output;  // the file stays for the second read
  std::string path = dir + "/model.3ds";

  std::string sent = reached_pipe([&] { read_3ds_mesh(mesh.get(), path.c_str()); });

  EXPECT_SAME_OUTPUT(sent, whole);
}

}  // namespace
