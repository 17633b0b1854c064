#include "pipe_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

static std::string drain(int descriptor) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(descriptor, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(got));
  return text;
}

std::string reached_pipe(const std::function<void()>& body) {
  fflush(stdout);
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error("cannot make a pipe");
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  int saved = dup(STDOUT_FILENO);
  dup2(ends[1], STDOUT_FILENO);
  // A terminal would make stdout line-buffered, and every newline a flush.
  setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);

  body();
  std::string sent = drain(ends[0]);

  fflush(stdout);  // what was held back goes nowhere
  drain(ends[0]);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(ends[1]);
  close(ends[0]);
  return sent;
}
