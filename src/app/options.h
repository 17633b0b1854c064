// The program's own options, taken out of the command line before GLUT reads it:
// --view, --roll [N], --seed N and --help. GLUT's options, with their values, stay for glutInit,
// and so does anything else not starting with "--", as GLUT has always been given it; an unknown
// "--" option is refused with one line on stderr.
#ifndef APP_OPTIONS_H
#define APP_OPTIONS_H

#include <cstdint>

struct program_options {
  bool view;  // cube.3ds is a user's own model: shown whole, fitted, lit, turned by hand
  bool help;
  int roll;     // dice to roll, 1 ... 6; 0: no roll, the die thrown as always
  bool seeded;  // seed given; otherwise the system gives one
  uint64_t seed;
};

bool take_program_options(int* argc, char** argv, program_options* options);  // false: refused
void print_usage();                                                           // on stdout

#endif  // APP_OPTIONS_H
