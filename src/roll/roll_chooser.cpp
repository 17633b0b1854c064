#include "roll/roll_chooser.h"

#include <cstring>

void roll_dice(std::mt19937_64& engine, int count, rolled_die* dice) {
  for (int i = 0; i < count; i++) {
    dice[i].face = static_cast<int>(draw_below(engine, 6)) + 1;
    dice[i].quarter_turns = static_cast<int>(draw_below(engine, 4));
  }
}

bool parse_dice_count(const char* text, int* count) {
  if (strlen(text) != 1 || text[0] < '1' || text[0] > '0' + MAX_DICE) return false;
  *count = text[0] - '0';
  return true;
}

bool parse_seed(const char* text, uint64_t* seed) {
  if (*text == '\0') return false;
  uint64_t value = 0;
  for (const char* c = text; *c != '\0'; c++) {
    if (*c < '0' || *c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(*c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;  // past 2^64 - 1
    value = value * 10 + digit;
  }
  *seed = value;
  return true;
}

uint64_t seed_from_system() {
  std::random_device device;
  uint64_t high = device(), low = device();  // each 32 bits wide
  return high << 32 | (low & 0xffffffffu);
}
