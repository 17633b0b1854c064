// The number of file descriptors the process has open, counted in
// /proc/self/fd, for checks that code closes every file it opens.
#ifndef TESTS_SUPPORT_OPEN_DESCRIPTORS_H
#define TESTS_SUPPORT_OPEN_DESCRIPTORS_H

#include <filesystem>
#include <iterator>

inline long open_descriptors() {
  // The listing's own descriptor is counted every time alike.
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                       std::filesystem::directory_iterator());
}

#endif  // TESTS_SUPPORT_OPEN_DESCRIPTORS_H
