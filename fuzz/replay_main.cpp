// Runs a harness over files instead of generated inputs: every regular file in
// the directories (not descending) or files named on the command line, in name
// order, hidden files and *.md notes skipped. Prints one line per input to
// stderr and a count at the end; exits 1 when an argument cannot be read or no
// input was found at all, and dies with the harness when an input breaks it.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_target.h"

static bool is_note(const std::string& name) {
  return name.empty() || name[0] == '.' ||
         (name.size() >= 3 && name.compare(name.size() - 3, 3, ".md") == 0);
}

static bool list_inputs(const char* argument, std::vector<std::string>* inputs) {
  struct stat status;
  if (stat(argument, &status) != 0) {
    fprintf(stderr, "replay: cannot read %s: %s\n", argument, strerror(errno));
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    inputs->push_back(argument);
    return true;
  }
  DIR* directory = opendir(argument);
  if (directory == nullptr) {
    fprintf(stderr, "replay: cannot list %s: %s\n", argument, strerror(errno));
    return false;
  }
  std::vector<std::string> found;
  while (dirent* entry = readdir(directory)) {
    std::string path = std::string(argument) + "/" + entry->d_name;
    if (is_note(entry->d_name) || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
      continue;
    found.push_back(path);
  }
  closedir(directory);
  std::sort(found.begin(), found.end());
  inputs->insert(inputs->end(), found.begin(), found.end());
  return true;
}

static bool read_input(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t buffer[1 << 16];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes->insert(bytes->end(), buffer, buffer + got);
  bool complete = ferror(file) == 0;
  fclose(file);
  return complete;
}

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  bool listed = true;
  for (int i = 1; i < argc; i++)
    listed = list_inputs(argv[i], &inputs) && listed;
  if (!listed) return 1;
  if (inputs.empty()) {
    fprintf(stderr, "replay: no inputs found\n");
    return 1;
  }
  for (const std::string& path : inputs) {
    std::vector<uint8_t> bytes;
    if (!read_input(path, &bytes)) {
      fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 1;
    }
    fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  fprintf(stderr, "replay: %zu inputs ran\n", inputs.size());
  return 0;
}
