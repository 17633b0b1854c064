// Runs a piece of code with file descriptor 1 (or 2) sent to a temporary file and
// returns every byte it wrote through stdio, for byte-for-byte comparison.
#ifndef TESTS_SUPPORT_CAPTURE_STDOUT_H
#define TESTS_SUPPORT_CAPTURE_STDOUT_H

#include <functional>
#include <string>

std::string capture_stdout(const std::function<void()>& body);
std::string capture_stderr(const std::function<void()>& body);

#endif  // TESTS_SUPPORT_CAPTURE_STDOUT_H
