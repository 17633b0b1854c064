#include "capture_stdout.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

static std::string capture(FILE* stream, const std::function<void()>& body) {
  fflush(stream);
  FILE* sink = tmpfile();
  int descriptor = fileno(stream);
  int saved = dup(descriptor);
  if (sink == nullptr || saved < 0) throw std::runtime_error("cannot redirect a stream");
  dup2(fileno(sink), descriptor);
  body();
  fflush(stream);
  dup2(saved, descriptor);
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

std::string capture_stdout(const std::function<void()>& body) {
  return capture(stdout, body);
}

std::string capture_stderr(const std::function<void()>& body) {
  return capture(stderr, body);
}
