// Real-world 3DS files, and copies of them with one field broken, read whole.
// Under the sanitizer build these also show that no file makes the reader read
// or write outside the record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "capture_stdout.h"
#include "gl_recorder.h"
#include "model/mesh_3ds.h"
#include "same_output.h"
#include "view/model_view.h"
#include "view/view_model.h"

namespace {

struct read_outcome {
  bool complete;
  std::string last_line;
  std::unique_ptr<mesh_object> mesh;
};

read_outcome read_sample(const std::string& name) {
  read_outcome outcome{false, "", std::make_unique<mesh_object>()};
  std::string path = std::string(SAMPLE_3DS_DIR) + "/" + name;
  std::string output =
      capture_stdout([&] { outcome.complete = read_3ds_mesh(outcome.mesh.get(), path.c_str()); });
  size_t start = output.rfind('\n', output.size() >= 2 ? output.size() - 2 : 0);
  outcome.last_line = output.substr(start == std::string::npos ? 0 : start + 1);
  return outcome;
}

// Each name says what was broken and where: lenN_atOFF_chunkID puts length N in
// the header at byte OFF; count65535_atOFF sets that list's count to 65535.
TEST(broken_files, chunk_lengths_that_cannot_be_skipped_stop_the_walk_where_they_stand) {
  const char* const cases[][2] = {
      {"cube_hierarchy__len0_at6_chunk0002.3ds",
       "ChunkID 2 at offset 6 has length 0: cannot skip it\n"},
      {"cube_hierarchy__len3_at6_chunk0002.3ds",
       "ChunkID 2 at offset 6 has length 3: cannot skip it\n"},
      {"cube_hierarchy__len0_at1245_chunkB000.3ds",
       "ChunkID b000 at offset 1245 has length 0: cannot skip it\n"},
      {"cube_hierarchy__lenFFFFFFF0_at380_chunkAFFF.3ds",
       "ChunkID afff at offset 380 has length fffffff0: cannot skip it\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    read_outcome outcome = read_sample(c[0]);
    EXPECT_FALSE(outcome.complete);
    EXPECT_SAME_OUTPUT(outcome.last_line, c[1]);
  }
}

TEST(broken_files, list_length_is_not_needed_to_read_a_list) {
  read_outcome outcome = read_sample("cube_hierarchy__len0_at790_chunk4110.3ds");
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(outcome.mesh->vertex_count, 8);
}

TEST(broken_files, counts_running_past_the_end_keep_the_whole_entries_before_it) {
  // 3072 bytes; the list's 8-byte chunk header and count start at the offset.
  read_outcome vertices = read_sample("cube_hierarchy__count65535_at790_chunk4110.3ds");
  EXPECT_FALSE(vertices.complete);
  EXPECT_SAME_OUTPUT(vertices.last_line, "File ended early at offset 3072\n");
  EXPECT_EQ(vertices.mesh->vertex_count, (3072 - 790 - 8) / 12);

  read_outcome faces = read_sample("cube_hierarchy__count65535_at1020_chunk4120.3ds");
  EXPECT_FALSE(faces.complete);
  EXPECT_SAME_OUTPUT(faces.last_line, "File ended early at offset 3072\n");
  EXPECT_EQ(faces.mesh->polygon_count, (3072 - 1020 - 8) / 8);
  EXPECT_EQ(faces.mesh->vertex_count, 8);
}

TEST(broken_files, files_cut_inside_a_skipped_chunk_end_the_walk_normally) {
  for (const char* name : {"cube_hierarchy__truncated_1302.3ds", "test1__truncated_5292.3ds"}) {
    SCOPED_TRACE(name);
    read_outcome outcome = read_sample(name);
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.last_line.compare(0, 13, "ChunkLenght: "), 0);
  }
}

TEST(odd_files, empty_file_prints_nothing_and_text_file_is_walked_as_chunks) {
  read_outcome empty = read_sample("empty.3ds");
  EXPECT_TRUE(empty.complete);
  EXPECT_SAME_OUTPUT(empty.last_line, "");

  // "invalid 3ds file\n": "in" is an identifier, "vali" a length running far
  // past the end of the 17 bytes.
  read_outcome text = read_sample("wrong.3ds");
  EXPECT_TRUE(text.complete);
  EXPECT_SAME_OUTPUT(text.last_line, "ChunkLenght: 696c6176\n");
  EXPECT_EQ(text.mesh->polygon_count, 0);
}

// The view reads every file whole, broken ones too, and leaves the account alone.
TEST(viewed_files, every_sample_is_read_for_the_view_printing_nothing_on_stdout) {
  for (const auto& entry : std::filesystem::directory_iterator(SAMPLE_3DS_DIR)) {
    std::string path = entry.path().string();
    if (entry.path().extension() == ".md") continue;
    SCOPED_TRACE(path);
    std::string said;
    std::string printed =
        capture_stdout([&] { said = capture_stderr([&] { load_model_view(path.c_str()); }); });
    EXPECT_SAME_OUTPUT(printed, "");
    std::string opening = "dice: viewing " + entry.path().filename().string() + ": ";
    EXPECT_EQ(said.substr(0, opening.size()), opening);
  }
}

// Counts of objects and faces as the files' own makers give them.
TEST(viewed_files, every_object_of_a_model_is_kept) {
  const struct {
    const char* name;
    size_t objects, faces;
  } cases[] = {{"jeep1.3ds", 7, 2032}, {"cart_wheel.3DS", 13, 1400}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ifstream file(std::string(SAMPLE_3DS_DIR) + "/" + c.name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    view_model model =
        read_view_model(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    size_t faces = 0;
    for (const view_object& object : model.objects)
      faces += object.faces.size();
    EXPECT_EQ(model.objects.size(), c.objects);
    EXPECT_EQ(faces, c.faces);
  }
}

}  // namespace
