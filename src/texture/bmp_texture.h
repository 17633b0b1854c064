// Loader of uncompressed 24-bit Windows BMP files into mip-mapped RGB textures.
//
// load_bmp_texture hands out the next texture name, reads the file's pixel rows
// (padding kept, so the buffer matches OpenGL's unpack alignment of 4), swaps
// blue and red, and uploads level 0 and the mipmap chain, leaving the texture
// bound. It returns -1 silently when the file cannot be opened, and 0 after one
// line on stdout naming the file when the file is refused or cannot be read;
// no GL call is made then. A refused call still uses up its name.
#ifndef TEXTURE_BMP_TEXTURE_H
#define TEXTURE_BMP_TEXTURE_H

#include <cstdint>

constexpr int32_t BMP_SIDE_LIMIT = 16384;  // longest side accepted, pixels

extern int32_t texture_counter;  // last texture name handed out; -1 before the first call

int32_t load_bmp_texture(const char* path);  // texture name; 0 refused, -1 unopenable

#endif  // TEXTURE_BMP_TEXTURE_H
