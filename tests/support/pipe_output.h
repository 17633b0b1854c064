// Runs a piece of code with stdout sent to a pipe and fully buffered, as it is
// when the program's output is piped, and returns only what had reached the
// pipe when the code returned: what it printed but did not flush is left out.
#ifndef TESTS_SUPPORT_PIPE_OUTPUT_H
#define TESTS_SUPPORT_PIPE_OUTPUT_H

#include <functional>
#include <string>

std::string reached_pipe(const std::function<void()>& body);

#endif  // TESTS_SUPPORT_PIPE_OUTPUT_H
