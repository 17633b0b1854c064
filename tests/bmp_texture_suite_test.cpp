// Every image of the BMP suite in tests/bmp (see PROVENANCE.md there): the
// uncompressed 24-bit ones must give exactly the reference decoder's pixels,
// every other one must be refused with its line and no GL call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "capture_stdout.h"
#include "gl_recorder.h"
#include "same_output.h"
#include "texture/bmp_texture.h"

namespace {

const std::string suite_dir = BMP_SUITE_DIR;

struct suite_image {
  const char* file;     // under suite_dir
  const char* refusal;  // "%s" stands for the path; empty: decodes to file's .rgb
};

const suite_image suite[] = {
    {"g/pal1.bmp", "Bpp from %s is not 24: 1\n"},
    {"g/pal1bg.bmp", "Bpp from %s is not 24: 1\n"},
    {"g/pal1wb.bmp", "Bpp from %s is not 24: 1\n"},
    {"g/pal4.bmp", "Bpp from %s is not 24: 4\n"},
    {"g/pal4gs.bmp", "Bpp from %s is not 24: 4\n"},
    {"g/pal4rle.bmp", "Bpp from %s is not 24: 4\n"},
    {"g/pal8-0.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8gs.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8nonsquare.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8os2.bmp", "Info header from %s is not supported: 12 bytes\n"},
    {"g/pal8rle.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8topdown.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8v4.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8v5.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8w124.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8w125.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/pal8w126.bmp", "Bpp from %s is not 24: 8\n"},
    {"g/rgb16-565.bmp", "Bpp from %s is not 24: 16\n"},
    {"g/rgb16-565pal.bmp", "Bpp from %s is not 24: 16\n"},
    {"g/rgb16.bmp", "Bpp from %s is not 24: 16\n"},
    {"g/rgb16bfdef.bmp", "Bpp from %s is not 24: 16\n"},
    {"g/rgb24.bmp", ""},
    {"g/rgb24pal.bmp", ""},
    {"g/rgb32.bmp", "Bpp from %s is not 24: 32\n"},
    {"g/rgb32bf.bmp", "Bpp from %s is not 24: 32\n"},
    {"g/rgb32bfdef.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/pal1huffmsb.bmp", "Bpp from %s is not 24: 1\n"},
    {"q/pal1p1.bmp", "Bpp from %s is not 24: 1\n"},
    {"q/pal2.bmp", "Bpp from %s is not 24: 2\n"},
    {"q/pal2color.bmp", "Bpp from %s is not 24: 2\n"},
    {"q/pal4rlecut.bmp", "Bpp from %s is not 24: 4\n"},
    {"q/pal4rletrns.bmp", "Bpp from %s is not 24: 4\n"},
    {"q/pal8offs.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8os2-hs.bmp", "Info header from %s is not supported: 12 bytes\n"},
    {"q/pal8os2-sz.bmp", "Info header from %s is not supported: 12 bytes\n"},
    {"q/pal8os2sp.bmp", "Info header from %s is not supported: 12 bytes\n"},
    {"q/pal8os2v2-16.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8os2v2-40sz.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8os2v2-sz.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8os2v2.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8oversizepal.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8rlecut.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/pal8rletrns.bmp", "Bpp from %s is not 24: 8\n"},
    {"q/rgb16-231.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgb16-3103.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgb16faketrns.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgb24jpeg.bmp", "Bpp from %s is not 24: 0\n"},
    {"q/rgb24largepal.bmp", ""},
    {"q/rgb24lprof.bmp", ""},
    {"q/rgb24png.bmp", "Bpp from %s is not 24: 0\n"},
    {"q/rgb24rle24.bmp", "Compression from %s is not 0: 4\n"},
    {"q/rgb32-111110.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgb32-7187.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgb32-xbgr.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgb32fakealpha.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgb32h52.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba16-1924.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgba16-4444.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgba16-5551.bmp", "Bpp from %s is not 24: 16\n"},
    {"q/rgba32-1.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32-1010102.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32-2.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32-61754.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32-81284.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32abf.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba32h56.bmp", "Bpp from %s is not 24: 32\n"},
    {"q/rgba64.bmp", "Bpp from %s is not 24: 64\n"},
    {"b/badbitcount.bmp", "Bpp from %s is not 24: 30000\n"},
    {"b/badbitssize.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/baddens1.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/baddens2.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/badfilesize.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/badheadersize.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/badpalettesize.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/badplanes.bmp", "Planes from %s is not 1: 30000\n"},
    {"b/badrle.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/badrle4.bmp", "Bpp from %s is not 24: 4\n"},
    {"b/badrle4bis.bmp", "Bpp from %s is not 24: 4\n"},
    {"b/badrle4ter.bmp", "Bpp from %s is not 24: 4\n"},
    {"b/badrlebis.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/badrleter.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/badwidth.bmp", "Bpp from %s is not 24: 1\n"},
    {"b/pal8badindex.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/reallybig.bmp", "Size from %s is over 16384: 3000000 x 2000000\n"},
    {"b/rgb16-880.bmp", "Bpp from %s is not 24: 16\n"},
    {"b/rletopdown.bmp", "Bpp from %s is not 24: 8\n"},
    {"b/shortfile.bmp", "Bpp from %s is not 24: 1\n"},
};

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Both uploads, padding dropped: tightly packed RGB, bottom row first.
std::string uploaded_rgb(const gl_call& upload, size_t width, size_t height) {
  size_t row = width * 3, stride = (row + 3) / 4 * 4;
  if (upload.pixels.size() != stride * (height - 1) + row) return "<upload of wrong size>";
  std::string rgb;
  for (size_t y = 0; y < height; y++)
    rgb.append(reinterpret_cast<const char*>(upload.pixels.data()) + stride * y, row);
  return rgb;
}

TEST(bmp_suite, the_table_covers_every_image_in_the_suite) {
  std::set<std::string> listed, found;
  for (const suite_image& image : suite)
    listed.insert(image.file);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(suite_dir))
    if (entry.path().extension() == ".bmp")
      found.insert(entry.path().lexically_relative(suite_dir).generic_string());
  EXPECT_EQ(listed, found);
}

TEST(bmp_suite, uncompressed_24_bit_images_decode_to_the_reference_pixels) {
  int decoded = 0;
  for (const suite_image& image : suite) {
    if (*image.refusal != '\0') continue;
    SCOPED_TRACE(image.file);
    std::string path = suite_dir + "/" + image.file;
    std::string reference = read_bytes(path.substr(0, path.size() - 4) + ".rgb");
    ASSERT_EQ(reference.size(), 127u * 64 * 3);
    clear_gl_calls();
    int32_t name = -2;

    std::string output = capture_stdout([&] { name = load_bmp_texture(path.c_str()); });

    EXPECT_SAME_OUTPUT(output, "");
    EXPECT_EQ(name, texture_counter);
    std::vector<gl_call> uploads = gl_calls_named("glTexImage2D");
    for (const gl_call& call : gl_calls_named("gluBuild2DMipmaps"))
      uploads.push_back(call);
    ASSERT_EQ(uploads.size(), 2u);
    for (const gl_call& upload : uploads)
      EXPECT_EQ(uploaded_rgb(upload, 127, 64), reference) << upload.name;
    decoded++;
  }
  EXPECT_EQ(decoded, 4);
}

TEST(bmp_suite, every_other_image_is_refused_with_its_line) {
  for (const suite_image& image : suite) {
    if (*image.refusal == '\0') continue;
    SCOPED_TRACE(image.file);
    std::string path = suite_dir + "/" + image.file;
    std::string expected = image.refusal;
    expected.replace(expected.find("%s"), 2, path);
    clear_gl_calls();
    int32_t name = -2;

    std::string output = capture_stdout([&] { name = load_bmp_texture(path.c_str()); });

    EXPECT_SAME_OUTPUT(output, expected);
    EXPECT_EQ(name, 0);
    EXPECT_TRUE(recorded_gl_calls().empty());
  }
}

}  // namespace
