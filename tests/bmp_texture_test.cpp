#include <GL/glu.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bmp_texture_files.h"
#include "capture_stdout.h"
#include "failing_fstat.h"
#include "gl_recorder.h"
#include "open_descriptors.h"
#include "same_output.h"
#include "temp_dir.h"
#include "texture/bmp_texture.h"

// The loader's reads go through here (linked with --wrap=fread), so a test can
// make one fail; its file-status calls, through failing_fstat.
static int fail_read_in = 0;  // counts reads down; the one that reaches 0 fails
extern "C" size_t __real_fread(void* buffer, size_t size, size_t count, FILE* file);
extern "C" size_t __wrap_fread(void* buffer, size_t size, size_t count, FILE* file) {
  if (fail_read_in > 0 && --fail_read_in == 0) return 0;
  return __real_fread(buffer, size, count, file);
}

namespace {

struct load_result {
  int32_t name;
  std::string output;
};

class bmp_loader : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = make_temp_dir();
    clear_gl_calls();
  }
  void TearDown() override { remove_tree(dir); }

  std::string write(const std::string& bytes) {
    std::string path = dir + "/image.bmp";
    write_file(path, bytes);
    return path;
  }
  load_result load(const std::string& path) {
    load_result result{};
    result.output = capture_stdout([&] { result.name = load_bmp_texture(path.c_str()); });
    return result;
  }

  std::string dir;
};

// The bytes an upload handed to GL as a texture: each row's pixels, padding dropped.
std::string texture_bytes(const gl_call& upload, int32_t width, int32_t height) {
  std::string rgb;
  size_t row = static_cast<size_t>(width) * 3;
  for (int32_t y = 0; y < height; y++) {
    size_t at = bmp_stride(width) * static_cast<size_t>(y);
    if (at + row > upload.pixels.size()) return rgb + "<upload too short>";
    rgb.append(upload.pixels.begin() + static_cast<std::ptrdiff_t>(at),
               upload.pixels.begin() + static_cast<std::ptrdiff_t>(at + row));
  }
  return rgb;
}

std::vector<gl_call> texture_calls(int32_t name, int32_t width, int32_t height) {
  const double w = width, h = height;
  return {
      {"glBindTexture", {GL_TEXTURE_2D, static_cast<double>(name)}},
      {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}},
      {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}},
      {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}},
      {"glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST}},
      {"glTexEnvf", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE}},
      {"glTexImage2D", {GL_TEXTURE_2D, 0, 3, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE}},
      {"gluBuild2DMipmaps", {GL_TEXTURE_2D, 3, w, h, GL_RGB, GL_UNSIGNED_BYTE}},
  };
}

TEST_F(bmp_loader, four_by_four_sets_up_a_texture_of_the_pixels_with_blue_and_red_exchanged) {
  std::string rows = bmp_pixel_rows(4, 4);
  std::string path = write(make_bmp({}, rows));

  load_result result = load(path);

  EXPECT_SAME_OUTPUT(result.output, "");
  EXPECT_EQ(result.name, texture_counter);
  ASSERT_EQ(recorded_gl_calls(), texture_calls(result.name, 4, 4));
  for (int call : {6, 7}) {
    const gl_call& upload = recorded_gl_calls()[call];
    EXPECT_EQ(upload.pixels.size(), 48u) << upload.name;
    EXPECT_EQ(texture_bytes(upload, 4, 4), rgb_of_rows(rows, 4, 4)) << upload.name;
  }
}

// Rows of 3, 6 and 9 bytes are padded in the file and must be uploaded with
// the same stride; the stand-in reads just what GL reads at alignment 4.
TEST_F(bmp_loader, padded_rows_keep_their_stride_and_only_pixels_are_exchanged) {
  for (int32_t width = 1; width <= 6; width++) {
    for (int32_t height : {1, 3}) {
      SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
      clear_gl_calls();
      std::string rows = bmp_pixel_rows(width, height);

      load_result result = load(write(make_bmp({width, height}, rows)));

      EXPECT_SAME_OUTPUT(result.output, "");
      ASSERT_EQ(recorded_gl_calls(), texture_calls(result.name, width, height));
      for (int call : {6, 7}) {
        const gl_call& upload = recorded_gl_calls()[call];
        EXPECT_EQ(upload.pixels.size(),
                  bmp_stride(width) * static_cast<size_t>(height - 1) + width * 3u);
        EXPECT_EQ(texture_bytes(upload, width, height), rgb_of_rows(rows, width, height));
      }
    }
  }
}

TEST_F(bmp_loader, three_by_three_uploads_rows_of_twelve_bytes) {
  std::string rows = bmp_pixel_rows(3, 3);
  load_result result = load(write(make_bmp({3, 3}, rows)));

  ASSERT_EQ(recorded_gl_calls(), texture_calls(result.name, 3, 3));
  const std::vector<unsigned char>& upload = recorded_gl_calls()[6].pixels;
  ASSERT_EQ(upload.size(), 33u);
  // The bottom row's last pixel was blue 7, green 8, red 9; the next row's first,
  // blue 10, green 11, red 12, starts at byte 12.
  EXPECT_EQ(upload[6], 9);
  EXPECT_EQ(upload[8], 7);
  EXPECT_EQ(upload[12], 12);
  EXPECT_EQ(upload[14], 10);
}

TEST_F(bmp_loader, pixels_are_taken_from_the_stored_data_offset) {
  // A 124-byte info header as image editors write it, then a gap before the pixels.
  bmp_fields fields;
  fields.width = 5;
  fields.height = 2;
  fields.info_size = 124;
  fields.gap = 10;
  std::string rows = bmp_pixel_rows(5, 2);

  load_result result = load(write(make_bmp(fields, rows) + "trailing bytes"));

  EXPECT_SAME_OUTPUT(result.output, "");
  ASSERT_EQ(recorded_gl_calls(), texture_calls(result.name, 5, 2));
  EXPECT_EQ(texture_bytes(recorded_gl_calls()[6], 5, 2), rgb_of_rows(rows, 5, 2));
}

TEST_F(bmp_loader, an_eight_bit_palette_file_is_named_by_its_bit_depth) {
  bmp_fields fields;
  fields.bpp = 8;
  fields.gap = 256 * 4;
  std::string path = write(make_bmp(fields, std::string(16, '\x07')));

  load_result result = load(path);

  EXPECT_SAME_OUTPUT(result.output, "Bpp from " + path + " is not 24: 8\n");
  EXPECT_EQ(result.name, 0);
  EXPECT_TRUE(recorded_gl_calls().empty());
}

TEST_F(bmp_loader, a_file_that_cannot_be_opened_gives_minus_one_silently) {
  int32_t before = texture_counter;

  load_result result = load(dir + "/missing.bmp");

  EXPECT_EQ(result.name, -1);
  EXPECT_SAME_OUTPUT(result.output, "");
  EXPECT_TRUE(recorded_gl_calls().empty());
  EXPECT_EQ(texture_counter, before + 1);
}

struct refusal {
  const char* what;
  std::string bytes;
  std::string line;  // "%s" stands for the path
};

bmp_fields with(void (*change)(bmp_fields*)) {
  bmp_fields fields;
  change(&fields);
  return fields;
}

std::vector<refusal> refusals() {
  const std::string rows = bmp_pixel_rows(4, 4);
  const std::string good = make_bmp({}, rows);
  const std::string sized = bmp_pixel_rows(1, 1);
  return {
      {"two planes", make_bmp(with([](bmp_fields* f) { f->planes = 2; }), rows),
       "Planes from %s is not 1: 2\n"},
      {"32 bits", make_bmp(with([](bmp_fields* f) { f->bpp = 32; }), rows + rows),
       "Bpp from %s is not 24: 32\n"},
      {"OS/2 core header", make_bmp(with([](bmp_fields* f) { f->info_size = 12; }), rows),
       "Info header from %s is not supported: 12 bytes\n"},
      {"16-byte header", make_bmp(with([](bmp_fields* f) { f->info_size = 16; }), rows),
       "Info header from %s is not supported: 16 bytes\n"},
      {"39-byte header", make_bmp(with([](bmp_fields* f) { f->info_size = 39; }), rows),
       "Info header from %s is not supported: 39 bytes\n"},
      {"15-byte header, 8 bits",
       make_bmp(with([](bmp_fields* f) {
                  f->info_size = 15;
                  f->bpp = 8;
                }),
                rows),
       "Info header from %s is not supported: 15 bytes\n"},
      {"run-length coded", make_bmp(with([](bmp_fields* f) { f->compression = 4; }), rows),
       "Compression from %s is not 0: 4\n"},
      {"bit fields", make_bmp(with([](bmp_fields* f) { f->compression = 3; }), rows),
       "Compression from %s is not 0: 3\n"},
      {"empty file", "", "Headers from %s are cut short: 0 of 54 bytes\n"},
      {"headers cut", good.substr(0, 53), "Headers from %s are cut short: 53 of 54 bytes\n"},
      {"offset past the end", make_bmp(with([](bmp_fields* f) { f->data_offset = 103; }), rows),
       "Data offset from %s lies beyond the end of the file: 103\n"},
      {"offset at the end", make_bmp(with([](bmp_fields* f) { f->data_offset = 102; }), rows),
       "Error reading image data from %s.\n"},
      {"offset far past the end",
       make_bmp(with([](bmp_fields* f) { f->data_offset = 0xFFFFFFFF; }), rows),
       "Data offset from %s lies beyond the end of the file: 4294967295\n"},
      {"offset inside the headers",
       make_bmp(with([](bmp_fields* f) { f->data_offset = 30; }), rows),
       "Data offset from %s lies inside the headers: 30\n"},
      {"offset on the headers' last byte",
       make_bmp(with([](bmp_fields* f) { f->data_offset = 53; }), rows),
       "Data offset from %s lies inside the headers: 53\n"},
      {"offset inside a long header",
       make_bmp(with([](bmp_fields* f) {
                  f->info_size = 124;
                  f->data_offset = 54;
                }),
                rows),
       "Data offset from %s lies inside the headers: 54\n"},
      {"zero width", make_bmp(with([](bmp_fields* f) { f->width = 0; }), rows),
       "Size from %s is not positive: 0 x 4\n"},
      {"zero height", make_bmp(with([](bmp_fields* f) { f->height = 0; }), rows),
       "Size from %s is not positive: 4 x 0\n"},
      {"negative width", make_bmp(with([](bmp_fields* f) { f->width = -4; }), rows),
       "Size from %s is not positive: -4 x 4\n"},
      {"top-down rows", make_bmp(with([](bmp_fields* f) { f->height = -4; }), rows),
       "Size from %s is not positive: 4 x -4\n"},
      {"most negative height", make_bmp(with([](bmp_fields* f) { f->height = INT32_MIN; }), rows),
       "Size from %s is not positive: 4 x -2147483648\n"},
      {"too wide", make_bmp(with([](bmp_fields* f) { f->width = 16385; }), sized),
       "Size from %s is over 16384: 16385 x 4\n"},
      {"too tall", make_bmp(with([](bmp_fields* f) { f->height = 16385; }), sized),
       "Size from %s is over 16384: 4 x 16385\n"},
      {"32-bit overflow",
       make_bmp(with([](bmp_fields* f) {
                  f->width = INT32_MAX;
                  f->height = INT32_MAX;
                }),
                sized),
       "Size from %s is over 16384: 2147483647 x 2147483647\n"},
      {"largest sides, no pixels",
       make_bmp(with([](bmp_fields* f) {
                  f->width = 16384;
                  f->height = 16384;
                }),
                sized),
       "Error reading image data from %s.\n"},
      {"pixels one byte short", good.substr(0, good.size() - 1),
       "Error reading image data from %s.\n"},
      {"last row's padding missing",
       make_bmp(with([](bmp_fields* f) { f->width = 3; }), bmp_pixel_rows(3, 4)).substr(0, 54 + 45),
       "Error reading image data from %s.\n"},
  };
}

std::string with_path(const std::string& line, const std::string& path) {
  std::string out = line;
  out.replace(out.find("%s"), 2, path);
  return out;
}

TEST_F(bmp_loader, every_refusal_prints_its_line_and_makes_no_gl_call) {
  for (const refusal& r : refusals()) {
    SCOPED_TRACE(r.what);
    clear_gl_calls();
    std::string path = write(r.bytes);
    int32_t before = texture_counter;

    load_result result = load(path);

    EXPECT_SAME_OUTPUT(result.output, with_path(r.line, path));
    EXPECT_EQ(result.name, 0);
    EXPECT_TRUE(recorded_gl_calls().empty());
    EXPECT_EQ(texture_counter, before + 1);
  }
}

// The sanitized run reports the pixel buffer if this path does not free it.
TEST_F(bmp_loader, pixels_that_cannot_be_read_are_refused_after_the_buffer_is_made) {
  std::string path = write(make_bmp({}, bmp_pixel_rows(4, 4)));
  int32_t name = -2;

  std::string output = capture_stdout([&] {
    fail_read_in = 2;  // the headers' read, then the pixels'
    name = load_bmp_texture(path.c_str());
    fail_read_in = 0;
  });

  EXPECT_SAME_OUTPUT(output, "Error reading image data from " + path + ".\n");
  EXPECT_EQ(name, 0);
  EXPECT_TRUE(recorded_gl_calls().empty());
}

TEST_F(bmp_loader, file_whose_size_cannot_be_had_is_refused_as_unreadable) {
  std::string path = write(make_bmp({}, bmp_pixel_rows(4, 4)));
  fail_fstat = true;

  load_result result = load(path);

  fail_fstat = false;
  EXPECT_SAME_OUTPUT(result.output, "Error reading image data from " + path + ".\n");
  EXPECT_EQ(result.name, 0);
  EXPECT_TRUE(recorded_gl_calls().empty());

  // Nor can a pipe's: fstat gives it 0 bytes, whatever comes through.
  std::string pipe = dir + "/pipe.bmp", bytes = make_bmp({}, bmp_pixel_rows(4, 4));
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] {  // one write, so the reader's close cannot cut it short
    int fd = open(pipe.c_str(), O_WRONLY);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  });
  result = load(pipe);
  writer.join();
  EXPECT_SAME_OUTPUT(result.output, "Error reading image data from " + pipe + ".\n");
  EXPECT_EQ(result.name, 0);
  EXPECT_TRUE(recorded_gl_calls().empty());
}

TEST_F(bmp_loader, leaves_no_file_open_whether_it_loads_or_refuses) {
  std::string good = dir + "/good.bmp", cut = dir + "/cut.bmp";
  std::string bytes = make_bmp({}, bmp_pixel_rows(4, 4));
  write_file(good, bytes);
  write_file(cut, bytes.substr(0, 60));
  long before = open_descriptors();

  load_result loaded = load(good);
  load_result refused = load(cut);

  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(loaded.name, texture_counter - 1);
  EXPECT_EQ(refused.name, 0);
}

}  // namespace
