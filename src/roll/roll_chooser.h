// Which face each rolled die shows, and how it lies: a seed, through std::mt19937_64
// (whose output the C++ standard fixes), to faces 1 to 6 and quarter turns 0 to 3.
// Each draw rejects the few raw values that would make a modulo favour the low
// results, so every face is exactly as likely as every other, and a seed gives the
// same rolls with any standard library. No GL here, and nothing printed.
#ifndef ROLL_ROLL_CHOOSER_H
#define ROLL_ROLL_CHOOSER_H

#include <cstdint>
#include <random>

constexpr int MAX_DICE = 6;  // thrown together at most

struct rolled_die {
  int face;           // 1 ... 6, the number towards the viewer at rest
  int quarter_turns;  // 0 ... 3, counter-clockwise about the viewing axis
};

// A value in [0, bound), bound > 0, from a source of uniform 64-bit values. Raw
// values below 2^64 mod bound are drawn again: the rest fall evenly on every result.
template <typename Source>
uint64_t draw_below(Source& source, uint64_t bound) {
  const uint64_t skipped = (0 - bound) % bound;  // 2^64 mod bound
  for (;;) {
    uint64_t raw = source();
    if (raw >= skipped) return raw % bound;
  }
}

void roll_dice(std::mt19937_64& engine, int count, rolled_die* dice);  // face, then turn, each die
bool parse_dice_count(const char* text, int* count);                   // "1" ... "6" only
bool parse_seed(const char* text, uint64_t* seed);  // decimal digits, 0 ... 2^64 - 1
uint64_t seed_from_system();                        // std::random_device, 64 bits

#endif  // ROLL_ROLL_CHOOSER_H
