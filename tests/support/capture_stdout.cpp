#include "capture_stdout.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

std::string capture_stdout(const std::function<void()>& body) {
  fflush(stdout);
  FILE* sink = tmpfile();
  int saved = dup(STDOUT_FILENO);
  if (sink == nullptr || saved < 0) throw std::runtime_error("cannot redirect stdout");
  dup2(fileno(sink), STDOUT_FILENO);
  body();
  fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);

  std::string text;
  rewind(sink);
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, sink)) > 0)
    text.append(buffer, got);
  fclose(sink);
  return text;
}
