// Prints the reader's account of one 3DS file, for comparing against an
// independent formatter; exits 1 when the reader returns false.
#include <cstdio>
#include <memory>

#include "model/mesh_3ds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: dump_3ds file.3ds\n");
    return 2;
  }
  auto mesh = std::make_unique<mesh_object>();
  return read_3ds_mesh(mesh.get(), argv[1]) ? 0 : 1;
}
