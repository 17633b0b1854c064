#include "app/options.h"

#include <cstdio>
#include <cstring>

#include "roll/roll_chooser.h"

#define MAX_SEED_TEXT "18446744073709551615"  // 2^64 - 1

// "--name VALUE" or "--name=VALUE": the value, or nullptr when arg is not that option.
// The value is the next argument only where it can be one (not an option, unless it
// looks like a negative number); *i then moves past it. A value may be absent: "".
static const char* option_value(const char* arg, const char* name, int* i, int argc, char** argv) {
  size_t length = strlen(name);
  if (strncmp(arg, name, length) != 0) return nullptr;
  if (arg[length] == '=') return arg + length + 1;
  if (arg[length] != '\0') return nullptr;
  const char* next = *i + 1 < argc ? argv[*i + 1] : nullptr;
  if (next == nullptr || (next[0] == '-' && !(next[1] >= '0' && next[1] <= '9'))) return "";
  *i += 1;
  return next;
}

bool take_program_options(int* argc, char** argv, program_options* options) {
  *options = program_options{false, false, 0, false, 0};
  int kept = 1;
  for (int i = 1; i < *argc; i++) {
    const char* arg = argv[i];
    const char* value;
    if (strcmp(arg, "--view") == 0) {
      options->view = true;
      continue;
    }
    if ((value = option_value(arg, "--roll", &i, *argc, argv)) != nullptr) {
      if (*value == '\0') {
        options->roll = 1;
      } else if (!parse_dice_count(value, &options->roll)) {
        fprintf(stderr, "dice: --roll takes a number of dice from 1 to %d, not %s\n", MAX_DICE,
                value);
        return false;
      }
      continue;
    }
    if ((value = option_value(arg, "--seed", &i, *argc, argv)) != nullptr) {
      if (!parse_seed(value, &options->seed)) {
        if (*value == '\0') {
          fputs("dice: --seed takes a whole number from 0 to " MAX_SEED_TEXT
                ", and none was given\n",
                stderr);
        } else {
          fprintf(stderr, "dice: --seed takes a whole number from 0 to " MAX_SEED_TEXT ", not %s\n",
                  value);
        }
        return false;
      }
      options->seeded = true;
      continue;
    }
    if (strcmp(arg, "--help") == 0) {
      options->help = true;
      continue;
    }
    if (strncmp(arg, "--", 2) == 0) {
      fprintf(stderr, "dice: unknown option %s (dice --help lists them)\n", arg);
      return false;
    }
    argv[kept++] = argv[i];
    // GLUT's options that take a value: the value is GLUT's too, whatever it looks like.
    if ((strcmp(arg, "-display") == 0 || strcmp(arg, "-geometry") == 0) && i + 1 < *argc)
      argv[kept++] = argv[++i];
  }
  if (options->seeded && options->roll == 0) options->roll = 1;  // a seed is for a roll
  if (options->roll != 0 && options->view) {
    fputs("dice: --roll throws the die; it does not go with --view\n", stderr);
    return false;
  }
  argv[kept] = nullptr;
  *argc = kept;
  return true;
}

void print_usage() {
  fputs(
      "Usage: dice [--view | --roll [N] [--seed N]] [GLUT option...]\n"
      "Throws a die: reads the mesh in cube.3ds from the working folder, prints what it\n"
      "reads and every step of the die's path on standard output, and draws the die in a\n"
      "640 x 480 window titled \"3d DICE model\". A left click reads cube.3ds again.\n"
      "\n"
      "  --view     show cube.3ds as a model of one's own: the whole of it, fitted to the\n"
      "             die's size, lit, textured from the BMP files beside it, and thrown as\n"
      "             the die is; at rest a left drag or the arrow keys turn it, the wheel\n"
      "             or + and - bring it nearer, r puts it back, and a left click without\n"
      "             a drag reads it again. What it shows is said on standard error.\n"
      "  --roll [N] roll N dice (1 to 6; 1 when N is left out), with their pips from\n"
      "             die.bmp in the working folder: each lands with a face drawn at random\n"
      "             towards you, every face as likely as every other. Each roll is said on\n"
      "             standard error, left to right, with its total and its seed:\n"
      "               dice: rolled 3 dice: 2 + 6 + 5 = 13 (seed 8841026633)\n"
      "             The space bar or Enter rolls again (\", roll 2\" and so on is added).\n"
      "  --seed N   roll from seed N (0 to 18446744073709551615), the same dice every time\n"
      "             and on every platform; implies --roll. Without it the seed is new each run.\n"
      "  --help     print this and exit\n"
      "\n"
      "The dice command installed on Linux takes a model's file too: 'dice FILE.3ds'\n"
      "shows it that way, 'dice --as-die FILE.3ds' draws it the way the die is drawn.\n"
      "GLUT's options (-display NAME, -geometry WxH+X+Y, -iconic, -direct, -indirect,\n"
      "-gldebug, -sync) are passed to GLUT.\n",
      stdout);
}
