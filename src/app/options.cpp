#include "app/options.h"

#include <cstdio>
#include <cstring>

bool take_program_options(int* argc, char** argv, program_options* options) {
  *options = program_options{false, false};
  int kept = 1;
  for (int i = 1; i < *argc; i++) {
    const char* arg = argv[i];
    if (strcmp(arg, "--view") == 0) {
      options->view = true;
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
  argv[kept] = nullptr;
  *argc = kept;
  return true;
}

void print_usage() {
  fputs(
      "Usage: dice [--view] [GLUT option...]\n"
      "Throws a die: reads the mesh in cube.3ds from the working folder, prints what it\n"
      "reads and every step of the die's path on standard output, and draws the die in a\n"
      "640 x 480 window titled \"3d DICE model\". A left click reads cube.3ds again.\n"
      "\n"
      "  --view   show cube.3ds as a model of one's own: the whole of it, fitted to the\n"
      "           die's size, lit, textured from the BMP files beside it, and thrown as\n"
      "           the die is; at rest a left drag or the arrow keys turn it, the wheel\n"
      "           or + and - bring it nearer, r puts it back, and a left click without\n"
      "           a drag reads it again. What it shows is said on standard error.\n"
      "  --help   print this and exit\n"
      "\n"
      "The dice command installed on Linux takes a model's file too: 'dice FILE.3ds'\n"
      "shows it that way, 'dice --as-die FILE.3ds' draws it the way the die is drawn.\n"
      "GLUT's options (-display NAME, -geometry WxH+X+Y, -iconic, -direct, -indirect,\n"
      "-gldebug, -sync) are passed to GLUT.\n",
      stdout);
}
