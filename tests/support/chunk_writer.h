// Builds 3DS bytes in memory for reader tests: little-endian values, and chunks
// whose length is patched in when they are closed.
#ifndef TESTS_SUPPORT_CHUNK_WRITER_H
#define TESTS_SUPPORT_CHUNK_WRITER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct chunk_writer {
  std::string bytes;
  std::vector<size_t> open_chunks;
};

inline void put_u16(chunk_writer& w, uint16_t value) {
  w.bytes.push_back(static_cast<char>(value & 0xff));
  w.bytes.push_back(static_cast<char>(value >> 8));
}

inline void put_u32(chunk_writer& w, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    w.bytes.push_back(static_cast<char>(value >> shift));
}

inline void put_f32(chunk_writer& w, float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  put_u32(w, bits);
}

inline void put_text(chunk_writer& w, const std::string& text) {  // with its terminator
  w.bytes += text;
  w.bytes.push_back('\0');
}

// A chunk header whose length is filled in by end_chunk.
inline void begin_chunk(chunk_writer& w, uint16_t id) {
  w.open_chunks.push_back(w.bytes.size());
  put_u16(w, id);
  put_u32(w, 0);
}

inline void end_chunk(chunk_writer& w) {
  size_t start = w.open_chunks.back();
  w.open_chunks.pop_back();
  uint32_t length = static_cast<uint32_t>(w.bytes.size() - start);
  for (int i = 0; i < 4; i++)
    w.bytes[start + 2 + i] = static_cast<char>(length >> (8 * i));
}

// A chunk header with a length of our choosing, for malformed files.
inline void put_header(chunk_writer& w, uint16_t id, uint32_t length) {
  put_u16(w, id);
  put_u32(w, length);
}

#endif  // TESTS_SUPPORT_CHUNK_WRITER_H
